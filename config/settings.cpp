#include "config/settings.h"

#include "config/stored_path.h"
#include "platform/profile.h"

namespace config {

std::u16string SettingsPathOf(std::u16string_view modulePath) {
    const auto cut = modulePath.rfind(u'\\');
    std::u16string path(cut == std::u16string_view::npos ? std::u16string_view()
                                                         : modulePath.substr(0, cut + 1));
    return path + u"Tavrin.ini";
}

std::u16string ProgramDirectory() {
    return ProgramDirectoryOf(platform::ModuleFileName());
}

std::u16string SettingsPath() {
    return SettingsPathOf(platform::ModuleFileName());
}

std::u16string ReadStoredPath(std::u16string_view key, const std::u16string& settingsPath) {
    return ResolveStoredPath(
        platform::GetProfileString(kSettingSection, key, u"", kPathBuffer, settingsPath),
        ProgramDirectory());
}

bool WriteStoredPath(std::u16string_view key, std::u16string_view path,
                     const std::u16string& settingsPath) {
    return platform::WriteProfileString(kSettingSection, key,
                                        MakeStoredPath(path, ProgramDirectory()), settingsPath);
}

}  // namespace config
