// The Linux backend of platform/profile.h: private-profile files on the real file system, with
// the INI semantics of platform::ini. Paths are the interface's UTF-16, in UTF-8 on the system.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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

bool FlushProfileFile(std::u16string_view file) {
    const ini::HostPath path = HostFile(file);
    if (!path)
        return false;
    const int fd = open(path->c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = fsync(fd) == 0;
    return close(fd) == 0 && flushed;
}

// rename: one step, as MoveFileExW. The folder is flushed after it, as MOVEFILE_WRITE_THROUGH
// would; by then the file is replaced whatever that answers.
bool MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    const ini::HostPath source = HostFile(from);
    const ini::HostPath target = HostFile(to);
    if (!source || !target)
        return false;
    // A file its owner may not write is not replaced either, as on Windows.
    struct stat status {};
    if (stat(target->c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        (status.st_mode & S_IWUSR) == 0)
        return false;
    if (std::rename(source->c_str(), target->c_str()) != 0)
        return false;
    const int folder = open(target->parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

bool RemoveFile(std::u16string_view path) {
    const ini::HostPath host = HostFile(path);
    return host && unlink(host->c_str()) == 0;
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
