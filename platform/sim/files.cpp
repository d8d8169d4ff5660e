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
    driveFolders_ = {};
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

void Files::SetDriveFolder(char16_t drive, std::filesystem::path folder) {
    if (!IsDriveLetter(drive))
        return;
    std::lock_guard lock(mutex_);
    driveFolders_[platform::AsciiUpper(drive) - u'A'] = std::move(folder);
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
    // A drive's file by its long name ("\\?\C:\a") is the drive's file.
    if ((path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) && path.size() >= 7 &&
        IsDriveLetter(path[4]) && path[5] == u':' && path[6] == u'\\')
        path.erase(0, 4);
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
    const std::u16string full = FullPathLocked(path);
    if (full.empty())
        return std::nullopt;
    const std::filesystem::path& own = driveFolders_[full[0] - u'A'];
    if (own.empty() && root_.empty())
        return std::nullopt;
    std::filesystem::path host =
        own.empty() ? root_ / std::string(1, static_cast<char>(full[0])) : own;
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

bool Files::NamesDevice(std::u16string_view raw) {
    std::u16string path(raw);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    const auto startsWith = [](std::u16string_view text, std::u16string_view start) {
        return text.size() >= start.size() &&
               std::equal(start.begin(), start.end(), text.begin(), [](char16_t a, char16_t b) {
                   return platform::AsciiUpper(a) == platform::AsciiUpper(b);
               });
    };
    std::u16string_view rest = path;
    if (rest.starts_with(u"\\\\.\\") || rest.starts_with(u"\\\\?\\")) {
        rest.remove_prefix(4);
        // A drive's or another machine's files by their long names; anything else is a device.
        const bool drive =
            rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == u':' && rest[2] == u'\\';
        if (drive)
            return false;
        if (!startsWith(rest, u"UNC\\"))
            return true;
        rest.remove_prefix(4);
    } else if (rest.starts_with(u"\\\\")) {
        rest.remove_prefix(2);
    } else {
        // The last name's part before its first dot, trailing spaces and a colon aside: a DOS
        // device's name is one in any folder of a drive.
        std::u16string_view last = rest;
        if (const std::size_t slash = last.rfind(u'\\'); slash != std::u16string_view::npos)
            last.remove_prefix(slash + 1);
        else if (last.size() >= 2 && IsDriveLetter(last[0]) && last[1] == u':')
            last.remove_prefix(2);
        last = last.substr(0, last.find(u'.'));
        while (!last.empty() && (last.back() == u' ' || last.back() == u':'))
            last.remove_suffix(1);
        for (const std::u16string_view name : {u"CON", u"PRN", u"AUX", u"NUL"}) {
            if (last.size() == name.size() && startsWith(name, last))
                return true;
        }
        return last.size() == 4 &&
               (startsWith(u"COM", last.substr(0, 3)) || startsWith(u"LPT", last.substr(0, 3))) &&
               last[3] >= u'1' && last[3] <= u'9';
    }
    // "server\pipe\x": another machine's pipe or mailslot.
    const std::size_t share = rest.find(u'\\');
    if (share == std::u16string_view::npos)
        return false;
    const std::u16string_view name = rest.substr(share + 1);
    return startsWith(name, u"PIPE\\") || startsWith(name, u"MAILSLOT\\");
}

}  // namespace sim
