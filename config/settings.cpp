#include "config/settings.h"

#include <cstdio>
#include <cstdlib>

#include "config/stored_path.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace config {

const SettingField& FieldOf(std::u16string Settings::*path) {
    for (const SettingField& field : kSettingFields) {
        if (path != nullptr && field.path == path)
            return field;
    }
    // A member without its row is a mistake in this file: another key would be read or written
    // in its place, so nothing goes on.
    std::fputs("config::FieldOf: no row of kSettingFields holds this path member\n", stderr);
    std::abort();
}

Settings ReadSettings(const std::u16string& settingsPath) {
    Settings settings;
    for (const SettingField& field : kSettingFields) {
        if (field.path != nullptr)
            settings.*field.path = ReadStoredPath(field.name, settingsPath);
        else
            settings.*field.number = platform::GetProfileInt(kSettingSection, field.name,
                                                             field.defaultNumber, settingsPath);
    }
    return settings;
}

bool WriteSettings(const Settings& settings, Written when, const std::u16string& settingsPath) {
    bool written = true;
    for (const SettingField& field : kSettingFields) {
        if (field.written != when || when == Written::Never)
            continue;
        const bool ok = field.path != nullptr
                            ? WriteStoredPath(field.name, settings.*field.path, settingsPath)
                            : platform::WriteProfileString(
                                  kSettingSection, field.name,
                                  platform::DecimalText(settings.*field.number), settingsPath);
        written = written && ok;
    }
    return written;
}

std::u16string ReadSetting(std::u16string Settings::*path, const std::u16string& settingsPath) {
    return ReadStoredPath(FieldOf(path).name, settingsPath);
}

bool WriteSetting(std::u16string Settings::*path, std::u16string_view value,
                  const std::u16string& settingsPath) {
    return WriteStoredPath(FieldOf(path).name, value, settingsPath);
}

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
