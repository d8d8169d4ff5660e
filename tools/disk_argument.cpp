#include "tools/disk_argument.h"

namespace tools {

namespace fs = std::filesystem;

std::optional<std::string> DiskOfNode(const fs::path& node, fs::file_type type,
                                      const fs::path& sysRoot, std::string* why) {
    const std::string name = node.filename().string();
    std::error_code error;
    if (type == fs::file_type::character && name.rfind("sg", 0) == 0) {
        // The generic node's disk: the block device of the same SCSI device.
        const fs::path blocks = sysRoot / "sys/class/scsi_generic" / name / "device/block";
        for (const fs::directory_entry& disk : fs::directory_iterator(blocks, error))
            return "/dev/" + disk.path().filename().string();
        *why = "a SCSI generic node without a disk";
        return std::nullopt;
    }
    if (type != fs::file_type::block) {
        *why = "not a block device";
        return std::nullopt;
    }
    const fs::path block = sysRoot / "sys/class/block" / name;
    if (!fs::exists(block, error)) {
        *why = "a block device the system does not list";
        return std::nullopt;
    }
    // A partition lies in its disk's folder.
    if (fs::exists(block / "partition", error)) {
        const fs::path folder = fs::canonical(block, error).parent_path();
        if (error) {
            *why = "a partition whose disk is not found";
            return std::nullopt;
        }
        return "/dev/" + folder.filename().string();
    }
    return "/dev/" + name;
}

std::optional<std::string> ResolveDiskArgument(const std::string& arg, const fs::path& sysRoot,
                                               std::string* why) {
    std::error_code error;
    const fs::path node = fs::canonical(arg, error);
    if (error) {
        *why = error.message();
        return std::nullopt;
    }
    const fs::file_status status = fs::status(node, error);
    if (error) {
        *why = error.message();
        return std::nullopt;
    }
    return DiskOfNode(node, status.type(), sysRoot, why);
}

}  // namespace tools
