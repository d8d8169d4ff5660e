#include "platform/linux/mount_table.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/linux/usb_sysfs.h"

namespace platform::linux_os {
namespace {

std::optional<std::string> ReadAll(int fd) {
    if (lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

// Whether the mount point shows the mount's own file system, as df decides it: on the machine by
// the device of the mount point itself; a built tree's folders are no mounts, so there by the
// order of the table.
bool Uncovered(const Tree& s, const std::vector<Mount>& table, std::size_t index,
               std::string* unreadable) {
    struct stat point {};
    if (!s.root.empty()) {
        // A built tree's point that is not there is a mount of its table all the same.
        if (stat(Under(s, table[index].point).c_str(), &point) != 0 && errno != ENOENT) {
            *unreadable = std::strerror(errno);
            return false;
        }
        return !CoveredByLater(table, index);
    }
    unsigned major = 0;
    unsigned minor = 0;
    char tail = 0;
    if (std::sscanf(table[index].device.c_str(), "%u:%u%c", &major, &minor, &tail) != 2)
        return false;
    if (stat(table[index].point.c_str(), &point) != 0) {
        *unreadable = std::strerror(errno);
        return false;
    }
    return point.st_dev == makedev(major, minor);
}

}  // namespace

std::vector<Mount> ParseMountInfo(std::string_view table) {
    // "id parent MAJ:MIN root point options [tags...] - type source options", separated by
    // spaces; a space, tab, newline or backslash inside a field is a three-digit octal escape.
    const auto unescape = [](std::string_view field) {
        std::string out;
        for (std::size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                const std::string_view code = field.substr(i + 1, 3);
                bool octal = true;
                for (char c : code)
                    octal = octal && c >= '0' && c <= '7';
                if (octal) {
                    out += static_cast<char>((code[0] - '0') * 64 + (code[1] - '0') * 8 +
                                             (code[2] - '0'));
                    i += 3;
                    continue;
                }
            }
            out += field[i];
        }
        return out;
    };
    std::vector<Mount> mounts;
    while (!table.empty()) {
        const std::size_t eol = table.find('\n');
        std::string_view line = table.substr(0, eol);
        table = eol == std::string_view::npos ? std::string_view() : table.substr(eol + 1);
        std::vector<std::string_view> fields;
        while (!line.empty()) {
            const std::size_t stop = line.find(' ');
            if (stop != 0)
                fields.push_back(line.substr(0, stop));
            line = stop == std::string_view::npos ? std::string_view() : line.substr(stop + 1);
        }
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (dash + 2 >= fields.size() || fields[2].find(':') == std::string_view::npos)
            continue;
        mounts.push_back({std::string(fields[2]), unescape(fields[dash + 2]), unescape(fields[4])});
    }
    return mounts;
}

bool CoveredByLater(const std::vector<Mount>& mounts, std::size_t index) {
    const std::string_view point = mounts[index].point;
    for (std::size_t later = index + 1; later < mounts.size(); ++later) {
        std::string_view above = mounts[later].point;
        while (above.size() > 1 && above.back() == '/')
            above.remove_suffix(1);
        if (point == above || above == "/" ||
            (point.starts_with(above) && point.size() > above.size() && point[above.size()] == '/'))
            return true;
    }
    return false;
}

MountTable::~MountTable() {
    Reset();
}

void MountTable::Reset() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    mounts_.clear();
    unreadable_.clear();
}

std::optional<std::string> MountTable::Changed(const Tree& s) {
    if (s.root.empty()) {
        if (fd_ >= 0) {
            pollfd changed{fd_, POLLPRI, 0};
            const int ready = poll(&changed, 1, 0);
            if (ready == 0 || (ready == 1 && (changed.revents & (POLLPRI | POLLERR)) == 0))
                return std::nullopt;
        } else {
            fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        }
        if (fd_ >= 0) {
            if (auto text = ReadAll(fd_))
                return text;
            close(fd_);
            fd_ = -1;
        }
    }
    // A built tree's files change without notice: read each time.
    std::ifstream in(Under(s, "/proc/self/mountinfo"), std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    return text.str();
}

const std::vector<LiveMount>& MountTable::Mounts(const Tree& s) {
    if (const auto text = Changed(s)) {
        mounts_.clear();
        unreadable_.clear();
        const std::vector<Mount> table = ParseMountInfo(*text);
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].device.starts_with("0:"))
                continue;  // no block device behind it
            const auto folder = Resolve(s, "/sys/dev/block/" + table[i].device);
            const std::string name = folder ? BaseName(*folder) : std::string();
            if (!folder || !VolumeLetter(name))
                continue;
            std::string unreadable;
            if (!Uncovered(s, table, i, &unreadable)) {
                if (!unreadable.empty())
                    unreadable_.emplace(name, unreadable);
                continue;
            }
            mounts_.push_back({table[i].device, name, table[i].point});
        }
    }
    return mounts_;
}

}  // namespace platform::linux_os
