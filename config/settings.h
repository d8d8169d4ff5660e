// The settings file, Tavrin.ini beside the program, and the paths it keeps: where each is, and
// how a stored path is read and written. The port dialog and the main window both use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace config {

// The buffer every path setting is read into, in characters.
inline constexpr std::size_t kPathBuffer = 260;
// The settings file's section of the station's settings; a port map file has one too.
inline constexpr char16_t kSettingSection[] = u"Setting";

// "Tavrin.ini" in the folder of the executable at `modulePath` (up to its last backslash).
std::u16string SettingsPathOf(std::u16string_view modulePath);

// The running program's folder and its settings file.
std::u16string ProgramDirectory();
std::u16string SettingsPath();

// The path stored under `key` in the settings file, resolved against the program folder: never
// against the current folder, which the file dialogs move. Empty when none is stored.
std::u16string ReadStoredPath(std::u16string_view key, const std::u16string& settingsPath);

// Stores `path` under `key`, relative to the program folder where it lies below it.
bool WriteStoredPath(std::u16string_view key, std::u16string_view path,
                     const std::u16string& settingsPath);

}  // namespace config
