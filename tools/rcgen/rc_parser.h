// Reads the part of the resource-script language that our scripts use, the way windres reads it, so
// that the headless backend gets the same dialogs, strings, drop-down entries and icons as the
// Windows builds. Other resources (version block, manifest, ...) are checked for shape and skipped.
// Standard library only: this runs at build time on the build machine.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rcgen {

struct Control {
    std::u16string className;  // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox", or
                               // the name written in the script ("SysListView32")
    std::u16string text;       // an icon reference by number reads "#128"
    std::int32_t id = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

struct Dialog {
    std::uint16_t id = 0;
    std::uint16_t language = 0;
    std::u16string caption;
    std::u16string fontName;
    int pointSize = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<Control> controls;
};

struct String {
    std::uint16_t id = 0;
    std::uint16_t language = 0;
    std::u16string text;
};

// One entry of a drop-down list, from a LISTENTRIES resource (layout in app/res/resource.h).
struct ListEntry {
    std::uint16_t dialogId = 0;
    std::uint16_t language = 0;
    int controlId = 0;
    std::u16string text;
};

struct Icon {
    std::uint16_t id = 0;
    int width = 0;  // of the icon file's largest image
    int height = 0;
};

struct Resources {
    std::vector<Dialog> dialogs;
    std::vector<String> strings;
    std::vector<ListEntry> listEntries;
    std::vector<Icon> icons;
    std::vector<std::string> files;  // every file read, for the build's dependency tracking
};

// The bytes of a file, or nothing when it cannot be read.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

struct Options {
    std::vector<std::string> includeDirs;
    FileReader read;
};

struct Result {
    std::optional<Resources> resources;
    std::string error;  // "file:line: message" when there are no resources
};

// Reads the scripts as the resources of one executable: each script starts afresh (language,
// code page, macros), and the resources of all of them must not collide.
Result Parse(const std::vector<std::string>& scripts, const Options& options);

// A window-system name that scripts may use (platform/resource_names.h).
std::optional<std::uint32_t> LookupName(std::string_view name);

}  // namespace rcgen
