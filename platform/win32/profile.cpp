// The Win32 backend of platform/profile.h: the real functions, through win32api (which keeps
// windows.h and its GetProfileInt/GetProfileString macros out of this file).
#include "platform/profile.h"

#include "platform/text.h"
#include "platform/win32/profile_api.h"

namespace platform {

int GetProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                  std::u16string_view file) {
    return static_cast<int>(win32api::ReadProfileInt(section, key, fallback, file));
}

std::u16string GetProfileString(std::u16string_view section, std::u16string_view key,
                                std::u16string_view fallback, std::size_t bufferSize,
                                std::u16string_view file) {
    return win32api::ReadProfileString(section, key, fallback, bufferSize, file);
}

bool HasProfileSection(std::u16string_view section, std::u16string_view file) {
    for (const std::u16string& name : win32api::ReadSectionNames(file)) {
        if (EqualsNoCase(name, section))
            return true;
    }
    return false;
}

bool WriteProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::u16string_view file) {
    return win32api::WriteProfileValue(section, key, value, file);
}

bool CreateEmptyFile(std::u16string_view path) {
    return win32api::CreateEmptyFile(path);
}

bool FlushProfileFile(std::u16string_view file) {
    return win32api::FlushProfileFile(file);
}

bool MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    return win32api::MoveFileReplacing(from, to);
}

bool RemoveFile(std::u16string_view path) {
    return win32api::RemoveFile(path);
}

std::u16string ModuleFileName() {
    return win32api::ExecutablePath();
}

}  // namespace platform
