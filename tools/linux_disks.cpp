#include "tools/linux_disks.h"

#include <atomic>
#include <cerrno>

#include "platform/console.h"
#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"
#include "tools/disk_argument.h"

namespace tools {
namespace {

std::string LinuxAdvice(int code) {
    if (code == EACCES || code == EPERM)
        return "needs read and write access to the disk's devices (the disk group, or root)";
    if (code == EBUSY)
        return "another program holds the disk";
    return "";
}

std::atomic<void (*)(int)> runStop{nullptr};

void OnStop(int exitStatus) {
    platform::linux_os::StopDeviceCalls();
    if (void (*stop)(int) = runStop.load())
        stop(exitStatus);
}

}  // namespace

void UseLinuxDisks(CheckSystem& system) {
    // The disk by its device, and the volume's own device where it is a partition.
    system.diskNames = [](char16_t letter) {
        std::vector<std::string> names;
        const auto volume = platform::linux_os::VolumeOfLetter(letter);
        const auto disk = volume ? platform::linux_os::WholeDiskOf(*volume) : std::nullopt;
        if (disk)
            names.push_back("/dev/" + *disk);
        if (volume && volume != disk)
            names.push_back("/dev/" + *volume);
        return names;
    };
    system.resolveDisk = [](const std::string& arg, std::string* why) {
        return ResolveDiskArgument(arg, "/", why);
    };
    system.adviceFor = LinuxAdvice;
    system.volumeName = [](char16_t letter) {
        const auto volume = platform::linux_os::VolumeOfLetter(letter);
        return volume ? platform::FromUtf8(*volume) : std::u16string();
    };
    // A disk is the one the walk saw, not whichever disk has its name now.
    system.diskIdentity = [](char16_t letter) {
        return platform::linux_os::DiskIdentity(letter).value_or("");
    };
    system.kernelMicroseconds = platform::linux_os::SgIoMicroseconds;
    // A disk without a usable mount by its device, as a DISK argument names it.
    system.unmountedDiskNames = [](int diskNumber) {
        const auto node = platform::linux_os::DeviceNodePath(u"\\\\.\\PHYSICALDRIVE" +
                                                             platform::DecimalText(diskNumber));
        return node ? std::vector<std::string>{*node} : std::vector<std::string>{};
    };
    system.unusableMount = [](int diskNumber) {
        const auto node = platform::linux_os::DeviceNodePath(u"\\\\.\\PHYSICALDRIVE" +
                                                             platform::DecimalText(diskNumber));
        const auto why =
            node ? platform::linux_os::UnreadableMountOf(node->substr(5)) : std::nullopt;
        return why ? "mount point not readable: " + *why : std::string();
    };
}

void UseLinuxTree(UsbTreeSystem& system) {
    // The letters are the backend's own making, no name anyone knows the volume by.
    system.volumeName = [](char16_t letter) {
        const auto volume = platform::linux_os::VolumeOfLetter(letter);
        return volume ? "/dev/" + *volume : std::string();
    };
    system.whyNoController = platform::linux_os::WhyNoRootHub;
}

void CatchStopsOnLinux(void (*stop)(int exitStatus)) {
    runStop.store(stop);
    platform::console::CatchStopRequests(OnStop);
}

}  // namespace tools
