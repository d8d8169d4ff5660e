// The mount table: its lines parsed (no system call), and the machine's table kept open and read
// again only when a mount came or went, with the mounts a volume may be used through.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sysfs_path.h"

namespace platform::linux_os {

struct Mount {
    std::string device;  // "MAJ:MIN" of the mounted device
    std::string source;  // as written, octal escapes undone
    std::string point;
};
// The lines of /proc/self/mountinfo, in its order; malformed lines are left out.
std::vector<Mount> ParseMountInfo(std::string_view table);
// Whether a later mount point of the table hides `point`: the same point, or a folder above it.
bool CoveredByLater(const std::vector<Mount>& mounts, std::size_t index);

// A usable line of the mount table: its device is there and its mount point not covered.
struct LiveMount {
    std::string device;  // "MAJ:MIN"
    std::string name;    // the device's kernel name when the table was read
    std::string point;
};

class MountTable {
  public:
    MountTable() = default;
    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

    // Forgets the table read and closes the machine's.
    void Reset();
    // Each volume's letter, disk and free space asks the mount table; a walk asks it for every
    // volume. Read again, its devices looked up again, only when it changed. Kept: the mounts of
    // disks and CD-ROMs whose device is in sysfs and whose mount point is not covered.
    const std::vector<LiveMount>& Mounts(const Tree& tree);
    // The volumes mounted where the user may not look, by kernel name: why the point could not
    // be looked at. Not usable, and not to be taken for volumes without a mount.
    const std::map<std::string, std::string, std::less<>>& Unreadable() const {
        return unreadable_;
    }

  private:
    // The table's text; nullopt when it is unchanged since the last call.
    std::optional<std::string> Changed(const Tree& tree);

    // The machine's own table, kept open: its poll says whether a mount came or went since the
    // table was last read.
    int fd_ = -1;
    std::vector<LiveMount> mounts_;
    std::map<std::string, std::string, std::less<>> unreadable_;
};

}  // namespace platform::linux_os
