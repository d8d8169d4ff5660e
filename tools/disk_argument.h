// A DISK argument of tavrin-check on Linux, resolved as the system resolves it: links followed
// (/dev/disk/by-id/...), a partition for its disk, a SCSI generic node for the disk behind it.
// Only the standard library's file system calls, over a system root that tests can build.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tools {

// The disk's node ("/dev/sdb") for a path the links have been followed of and what it is; nullopt
// with the reason when it is no disk. `sysRoot` holds sys/class/block and sys/class/scsi_generic.
std::optional<std::string> DiskOfNode(const std::filesystem::path& node,
                                      std::filesystem::file_type type,
                                      const std::filesystem::path& sysRoot, std::string* why);

// The same for an argument as typed: its links followed, then DiskOfNode.
std::optional<std::string> ResolveDiskArgument(const std::string& arg,
                                               const std::filesystem::path& sysRoot,
                                               std::string* why);

}  // namespace tools
