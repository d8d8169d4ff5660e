#include "platform/sim/files.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace sim {
namespace {

constexpr std::u16string_view kDefaultCurrentDirectory = u"C:\\";
constexpr std::u16string_view kDefaultProgramPath = u"C:\\Tavrin\\Tavrin.exe";
constexpr std::u16string_view kDefaultWindowsDirectory = u"C:\\Windows";

bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Adds the parts of a backslash-separated path; ".." never climbs above the drive's root.
void AppendParts(std::vector<std::u16string>& parts, std::u16string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        const std::u16string_view part = path.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
}

}  // namespace

Files& Files::Get() {
    static Files files;
    return files;
}

Files::Files()
    : currentDirectory_(kDefaultCurrentDirectory),
      programPath_(kDefaultProgramPath),
      windowsDirectory_(kDefaultWindowsDirectory) {}

void Files::Reset() {
    std::lock_guard lock(mutex_);
    root_.clear();
    currentDirectory_ = kDefaultCurrentDirectory;
    programPath_ = kDefaultProgramPath;
    windowsDirectory_ = kDefaultWindowsDirectory;
}

void Files::SetRoot(std::filesystem::path root) {
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
}

std::filesystem::path Files::Root() const {
    std::lock_guard lock(mutex_);
    return root_;
}

bool Files::SetCurrentDirectory(std::u16string_view path) {
    std::lock_guard lock(mutex_);
    std::u16string full = FullPathLocked(path);
    if (full.empty())
        return false;
    currentDirectory_ = std::move(full);
    return true;
}

std::u16string Files::CurrentDirectory() const {
    std::lock_guard lock(mutex_);
    return currentDirectory_;
}

void Files::SetProgramPath(std::u16string_view path) {
    std::lock_guard lock(mutex_);
    programPath_ = path;
}

std::u16string Files::ProgramPath() const {
    std::lock_guard lock(mutex_);
    return programPath_;
}

bool Files::SetWindowsDirectory(std::u16string_view path) {
    std::lock_guard lock(mutex_);
    std::u16string full = FullPathLocked(path);
    if (full.empty())
        return false;
    windowsDirectory_ = std::move(full);
    return true;
}

std::u16string Files::WindowsDirectory() const {
    std::lock_guard lock(mutex_);
    return windowsDirectory_;
}

std::u16string Files::FullPath(std::u16string_view path) const {
    std::lock_guard lock(mutex_);
    return FullPathLocked(path);
}

std::u16string Files::FullPathLocked(std::u16string_view raw) const {
    std::u16string path(raw);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    if (path.empty() || path.starts_with(u"\\\\"))
        return {};

    const std::u16string_view current = currentDirectory_;  // always "X:\..."
    const char16_t currentDrive = current[0];
    std::u16string_view rest = path;
    char16_t drive = currentDrive;
    std::vector<std::u16string> parts;
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == u':') {
        drive = platform::AsciiUpper(path[0]);
        rest = rest.substr(2);
        // "X:name" is relative to the current directory when that is on drive X.
        if (!rest.starts_with(u'\\') && drive == currentDrive)
            AppendParts(parts, current.substr(2));
    } else if (!rest.starts_with(u'\\')) {
        AppendParts(parts, current.substr(2));
    }
    AppendParts(parts, rest);

    std::u16string full{drive, u':', u'\\'};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            full += u'\\';
        full += parts[i];
    }
    return full;
}

std::optional<std::filesystem::path> Files::HostPath(std::u16string_view path) const {
    std::lock_guard lock(mutex_);
    if (root_.empty())
        return std::nullopt;
    const std::u16string full = FullPathLocked(path);
    if (full.empty())
        return std::nullopt;
    std::filesystem::path host = root_ / std::string(1, static_cast<char>(full[0]));
    std::vector<std::u16string> parts;
    AppendParts(parts, std::u16string_view(full).substr(3));
    for (const auto& part : parts) {
        const std::string utf8 = platform::ToUtf8(part);
        host /= std::u8string(utf8.begin(), utf8.end());
    }
    return host;
}

bool Files::IsReadOnly(std::u16string_view path) const {
    const auto host = HostPath(path);
    std::error_code ec;
    const auto status = host ? std::filesystem::status(*host, ec) : std::filesystem::file_status{};
    return !ec && std::filesystem::is_regular_file(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) ==
               std::filesystem::perms::none;
}

bool Files::FolderWritable(std::u16string_view path) const {
    const auto host = HostPath(path);
    std::error_code ec;
    const auto status =
        host ? std::filesystem::status(host->parent_path(), ec) : std::filesystem::file_status{};
    return !ec && std::filesystem::is_directory(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) !=
               std::filesystem::perms::none;
}

bool Files::MoveReplacing(std::u16string_view from, std::u16string_view to) const {
    const auto source = HostPath(from);
    const auto target = HostPath(to);
    std::error_code ec;
    if (!source || !target || !std::filesystem::is_regular_file(*source, ec))
        return false;
    const auto status = std::filesystem::status(*target, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return false;
    // The host would replace a file that cannot be written; Windows refuses it.
    if (IsReadOnly(to) || !FolderWritable(from) || !FolderWritable(to))
        return false;
    std::filesystem::rename(*source, *target, ec);
    return !ec;
}

bool Files::Remove(std::u16string_view path) const {
    const auto host = HostPath(path);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec) || IsReadOnly(path) ||
        !FolderWritable(path))
        return false;
    return std::filesystem::remove(*host, ec) && !ec;
}

}  // namespace sim
