#include "platform/linux/sysfs_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace platform::linux_os {

namespace fs = std::filesystem;

std::optional<unsigned> ParseDecimal(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::optional<unsigned> ParseHex(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

std::string Under(const Tree& s, std::string_view path) {
    return s.root + std::string(path);
}

// One open, read and close: a disk's open and free space read a few attributes each, and a
// stream's set-up cost more than the reading.
std::optional<std::string> ReadAttribute(const Tree& s, const std::string& folder,
                                         std::string_view name) {
    const std::string path = Under(s, folder + "/" + std::string(name));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string value;
    char chunk[4096];
    // A short read is the end of a file: no read more for the end of a one-line attribute.
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        value.append(chunk, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof chunk)
            break;
    }
    close(fd);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\0'))
        value.pop_back();
    return value;
}

std::optional<unsigned> HexAttribute(const Tree& s, const std::string& folder,
                                     std::string_view name) {
    const auto text = ReadAttribute(s, folder, name);
    return text ? ParseHex(*text, 8) : std::nullopt;
}

std::optional<int> DecimalAttribute(const Tree& s, const std::string& folder,
                                    std::string_view name) {
    const auto text = ReadAttribute(s, folder, name);
    const auto value = text ? ParseDecimal(*text, 6) : std::nullopt;
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

// A sysfs link leads straight to a real folder: one readlink and the path made
// plain, where a full resolution looks up every component.
std::optional<std::string> Resolve(const Tree& s, std::string_view path) {
    const std::string full = Under(s, path);
    std::string text;
    char target[4096];
    const ssize_t n = readlink(full.c_str(), target, sizeof target);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
        const fs::path link(std::string(target, static_cast<std::size_t>(n)));
        text = (link.is_absolute() ? link : fs::path(full).parent_path() / link)
                   .lexically_normal()
                   .string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        if (access(text.c_str(), F_OK) != 0)
            return std::nullopt;
    } else {
        std::error_code error;
        const fs::path real = fs::canonical(full, error);
        if (error)
            return std::nullopt;
        text = real.string();
    }
    if (text.compare(0, s.root.size(), s.root) != 0 ||
        (text.size() > s.root.size() && text[s.root.size()] != '/'))
        return std::nullopt;
    return s.root.empty() ? text : text.substr(s.root.size());
}

bool IsFolder(const Tree& s, const std::string& folder) {
    std::error_code error;
    return fs::is_directory(Under(s, folder), error);
}

std::vector<std::string> Names(const Tree& s, std::string_view folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Under(s, folder), error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace platform::linux_os
