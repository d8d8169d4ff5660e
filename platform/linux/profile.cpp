// The Linux backend of platform/profile.h: private-profile files on the real file system, with
// the INI semantics of platform::ini. Paths are the interface's UTF-16, in UTF-8 on the system.
#include "platform/profile.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/device_io.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace platform {
namespace {

// 8-bit files are UTF-8 here, as the backend's other 8-bit texts.
constexpr ini::CodePage kAnsi{AnsiToWide, ToUtf8};

// Windows looks for a bare name in the Windows directory; Linux has none, so a bare name, like
// any relative path, is a file below the current directory.
ini::HostPath HostFile(std::u16string_view file) {
    if (file.empty())
        return std::nullopt;
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(ToUtf8(file), ec);
    if (ec)
        return std::nullopt;
    return path;
}

}  // namespace

TAVRIN_BACKEND_BEGIN

int GetProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                  std::u16string_view file) {
    return static_cast<int>(
        ini::GetInt(ini::LoadFile(HostFile(file), kAnsi).text, section, key, fallback));
}

std::u16string GetProfileString(std::u16string_view section, std::u16string_view key,
                                std::u16string_view fallback, std::size_t bufferSize,
                                std::u16string_view file) {
    return ini::GetString(ini::LoadFile(HostFile(file), kAnsi).text, section, key, fallback,
                          bufferSize);
}

bool HasProfileSection(std::u16string_view section, std::u16string_view file) {
    return ini::HasSection(ini::LoadFile(HostFile(file), kAnsi).text, section);
}

bool WriteProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::u16string_view file) {
    return ini::StoreValue(HostFile(file), section, key, value, kAnsi);
}

bool CreateEmptyFile(std::u16string_view path) {
    return ini::MakeEmptyFile(HostFile(path));
}

// The whole path: Linux has no 260-character buffer to cut it to.
std::u16string ModuleFileName() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(n));
    return FromUtf8(path);
}

TAVRIN_BACKEND_END

}  // namespace platform
