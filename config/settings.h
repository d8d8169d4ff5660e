// The settings file, Tavrin.ini beside the program: the one table of its keys, through which
// the main window and the port dialog read and write them, and how a stored path is read and
// written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace config {

// The buffer every path setting is read into, in characters.
inline constexpr std::size_t kPathBuffer = 260;
// The settings file's section of the station's settings; a port map file has one too.
inline constexpr char16_t kSettingSection[] = u"Setting";

// What Tavrin.ini keeps, once read. Paths are absolute, resolved against the program folder.
struct Settings {
    std::u16string portFile;
    std::u16string checkFile;
    std::u16string resultLog;
    std::int32_t topmost = 0;
    std::int32_t infoCheck = 0;
    std::int32_t autoCheck = 0;
};

// When the program writes a key; Tavrin.ini's keys are read all at start-up.
enum class Written {
    Never,         // set by hand: the program only reads it
    ByPortDialog,  // the port dialog's OK
    BySave,        // Save, before and after its dialog
    AtClosing,     // the main window's closing, in table order
};

// One key of [Setting]: a stored path (default "") or a decimal number (default `number`).
struct SettingField {
    std::u16string_view name;
    std::u16string Settings::*path;  // null for a number
    std::int32_t Settings::*number;  // null for a path
    std::int32_t defaultNumber;
    Written written;
};

// Every key of Tavrin.ini, in the order the window writes them at closing.
inline constexpr SettingField kSettingFields[] = {
    {u"PORT_FILE", &Settings::portFile, nullptr, 0, Written::ByPortDialog},
    {u"CHECK_FILE", &Settings::checkFile, nullptr, 0, Written::BySave},
    {u"RESULT_LOG", &Settings::resultLog, nullptr, 0, Written::Never},
    {u"Topmost", nullptr, &Settings::topmost, 0, Written::AtClosing},
    {u"InfoCheck", nullptr, &Settings::infoCheck, 0, Written::AtClosing},
    {u"AutoCheck", nullptr, &Settings::autoCheck, 0, Written::AtClosing},
};

// The field of a path member of Settings, for the places that read or write that key alone. A
// member without its row (or null) ends the program with a message: no other row stands in.
const SettingField& FieldOf(std::u16string Settings::*path);

// Every key, missing ones at their defaults.
Settings ReadSettings(const std::u16string& settingsPath);
// The keys written at `when`, in table order; false when one could not be written.
bool WriteSettings(const Settings& settings, Written when, const std::u16string& settingsPath);

// One path key alone, read again or written (relative to the program folder where it lies
// below it).
std::u16string ReadSetting(std::u16string Settings::*path, const std::u16string& settingsPath);
bool WriteSetting(std::u16string Settings::*path, std::u16string_view value,
                  const std::u16string& settingsPath);

// "Tavrin.ini" in the folder of the executable at `modulePath` (up to its last backslash).
std::u16string SettingsPathOf(std::u16string_view modulePath);

// The running program's folder and its settings file.
std::u16string ProgramDirectory();
std::u16string SettingsPath();

// The path stored under `key` of [Setting], resolved against the program folder: never against
// the current folder, which the file dialogs move. Empty when none is stored.
std::u16string ReadStoredPath(std::u16string_view key, const std::u16string& settingsPath);

// Stores `path` under `key`, relative to the program folder where it lies below it.
bool WriteStoredPath(std::u16string_view key, std::u16string_view path,
                     const std::u16string& settingsPath);

}  // namespace config
