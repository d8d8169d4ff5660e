// The settings file's path rules on random texts: any text is taken without harm, and for the
// paths a user can pick (drive paths made of plain names) storing and resolving give the path
// back.
#include <cstdint>
#include <string>

#include "config/stored_path.h"
#include "fuzz_input.h"
#include "platform/text.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

constexpr std::u16string_view kAnyChars = u"aB.\\/: C\u00e9\u4e2d";
constexpr std::u16string_view kNameChars = u"aAbB1 .~\u00e9\u00c9\u4e2d";

// "X:\n1\n2..." with plain names (never "." or ".."); `components` of them.
std::u16string DrivePath(Input& in, char16_t drive, std::size_t components) {
    std::u16string path{drive, u':'};
    for (std::size_t i = 0; i < components; ++i) {
        std::u16string name = in.Text(kNameChars, 6);
        if (name.empty() || name == u"." || name == u"..")
            name = u"n";
        path += u'\\';
        path += name;
    }
    return path;
}

// The same text with random letters in the other case (the program directory as the user may
// have typed it).
std::u16string Recased(Input& in, std::u16string text) {
    for (auto& c : text) {
        if (in.Bool()) {
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - u'a' + u'A');
            else if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);

    // Any texts: no harm, and the marks and resolutions are stable.
    const std::u16string module = in.Text(kAnyChars, 40);
    const std::u16string dir = config::ProgramDirectoryOf(module);
    const std::u16string any = in.Text(kAnyChars, 40);
    const std::u16string marked = config::MarkRelativePath(any);
    if (config::MarkRelativePath(marked) != marked)
        Fail("marking a marked path changed it again");
    if (!any.empty() && marked.size() < any.size())
        Fail("marking lost characters");
    const std::u16string stored = config::MakeStoredPath(any, dir);
    const std::u16string resolved = config::ResolveStoredPath(stored, dir);
    const std::u16string resolvedMarked =
        config::ResolveStoredPath(config::MarkRelativePath(any), dir);
    (void)resolvedMarked;

    // A drive-path program directory: what resolves is a drive path, and resolves to itself.
    const char16_t drive = in.Bool() ? u'C' : u'D';
    const std::u16string programDir = DrivePath(in, u'C', 1 + in.Below(4));
    const std::u16string again = config::ResolveStoredPath(any, programDir);
    if (!again.empty()) {
        if (again.size() < 2 || again[1] != u':')
            Fail("a stored path resolved to something that is not a drive path");
        if (config::ResolveStoredPath(again, programDir) != again)
            Fail("a resolved path resolved again to something else");
    }
    (void)resolved;

    // A file below the program directory, or on another folder or drive.
    std::u16string path;
    const bool below = in.Bool();
    if (below) {
        path = Recased(in, programDir);
        const std::u16string rest = DrivePath(in, u'X', 1 + in.Below(3)).substr(2);
        path += rest;
    } else {
        path = DrivePath(in, drive, 1 + in.Below(4));
    }
    const std::u16string keep = config::MakeStoredPath(path, programDir);
    if (below && (keep.empty() || keep[0] == u'\\' || (keep.size() >= 2 && keep[1] == u':')))
        Fail("a path below the program directory was not stored relative to it");
    const std::u16string back = config::ResolveStoredPath(keep, programDir);
    if (!platform::EqualsNoCase(back, path))
        Fail("a stored path did not resolve back to the path");
    if (!platform::EqualsNoCase(
            config::ResolveStoredPath(config::MarkRelativePath(keep), programDir), path))
        Fail("a marked stored path did not resolve back to the path");
    return 0;
}
