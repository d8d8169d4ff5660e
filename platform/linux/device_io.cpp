// The Linux backend of platform/device_io.h: the pass-through as SG_IO on the disk's node, free
// space from statvfs. A volume's letter (platform/linux/usb_sysfs.h) opens its whole disk and
// answers the free space of its mount point; the walk's own handles go to the walk.
#include "platform/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"

namespace platform {
namespace {

// File descriptors start at 0, which is the null handle: handles are descriptors plus one.
int Descriptor(Handle handle) {
    return handle == kNullHandle || handle == kInvalidHandle ? -1 : static_cast<int>(handle - 1);
}

// Time inside SG_IO calls, for the command line's figures.
std::atomic<std::uint64_t> sgIoMicroseconds{0};

thread_local DeviceError lastError;

std::atomic<bool> callsStopped{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// What a disk pulled or swapped since the walk found it answers.
constexpr char16_t kChanged[] = u"the disk changed during the run";

// Records errno's number and text; false, for the caller to return.
bool Failed(int code) {
    lastError = {code, FromUtf8(std::strerror(code))};
    return false;
}

// Whether the device just opened for a disk of the last walk is still that disk; a file that
// is no device (a built tree's stand-in) has nothing to compare.
bool StillWalkDisk(int fd, const std::string& node) {
    struct stat opened {};
    if (fstat(fd, &opened) != 0)
        return false;
    if (!S_ISBLK(opened.st_mode) && !S_ISCHR(opened.st_mode))
        return true;
    return linux_os::StillWalkDiskNode(
        node,
        {S_ISCHR(opened.st_mode), major(opened.st_rdev), minor(opened.st_rdev),
         static_cast<std::uint64_t>(opened.st_dev), static_cast<std::uint64_t>(opened.st_ino)});
}

// After a command the host dropped: whether the device behind `fd` is going away. A disk
// pulled during its command fails it before the kernel has taken the disk down, so a pull looks
// like a broken transfer for a moment; the kernel takes it down soon after. Waits for that, a
// bounded time, and ends the wait on a stop request.
bool DeviceGoing(int fd) {
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode))
        return false;
    char folder[64];
    std::snprintf(folder, sizeof folder, "/sys/dev/char/%u:%u/device/state", major(opened.st_rdev),
                  minor(opened.st_rdev));
    // A few seconds cover the hub's turn on a busy machine; a disk still there after them is
    // one that answered wrongly.
    constexpr auto kSettle = std::chrono::seconds(3);
    constexpr auto kPause = std::chrono::milliseconds(20);
    const auto until = std::chrono::steady_clock::now() + kSettle;
    for (;;) {
        char state[32] = {};
        FILE* file = std::fopen(folder, "re");
        if (file == nullptr)
            return true;  // the device has left sysfs
        const bool got = std::fgets(state, sizeof state, file) != nullptr;
        std::fclose(file);
        if (got && std::strncmp(state, "running", 7) != 0 && std::strncmp(state, "blocked", 7) != 0)
            return true;  // offline, or being deleted
        if (callsStopped.load() || std::chrono::steady_clock::now() >= until)
            return false;
        usleep(static_cast<useconds_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(kPause).count()));
    }
}

}  // namespace

TAVRIN_BACKEND_BEGIN

DeviceError LastDeviceError() {
    return lastError;
}

void SetLastDeviceError(const DeviceError& error) {
    lastError = error;
}

TAVRIN_BACKEND_END

namespace linux_os {

std::uint64_t SgIoMicroseconds() {
    return sgIoMicroseconds.load();
}

void StopDeviceCalls() {
    callsStopped.store(true);
}

void ResumeDeviceCalls() {
    callsStopped.store(false);
}

}  // namespace linux_os

TAVRIN_BACKEND_BEGIN

Handle OpenDeviceFile(const char16_t* path) {
    if (path == nullptr)
        return kInvalidHandle;
    if (callsStopped.load()) {
        Failed(EINTR);
        return kInvalidHandle;
    }
    const std::u16string_view text(path);
    // "\\.\<letter>:": the volume's disk, which takes the pass-through; a drive number: the
    // disk below the system root; an absolute path: itself.
    const bool letter = text.size() == 6 && text.substr(0, 4) == u"\\\\.\\" && text[5] == u':';
    std::optional<std::string> node =
        letter ? linux_os::LetterDiskNode(text[4]) : linux_os::DriveNumberNode(text);
    const bool walked = node.has_value();
    // A disk of the last walk whose mount or node went since, or whose names another disk has
    // now: the kernel hands a pulled disk's names to the next disk at once.
    const auto changed = [] {
        lastError = {ESTALE, kChanged};
        return kInvalidHandle;
    };
    if (!node && letter && linux_os::DiskIdentity(text[4]))
        return changed();
    if (!node && !letter)
        node = linux_os::DeviceNodePath(path);
    if (!node) {
        Failed(ENOENT);
        return kInvalidHandle;
    }
    // Non-blocking: a reader without a medium must not hold the open.
    const int fd = open(linux_os::PassThroughNode(*node).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (walked && (error == ENOENT || error == ENXIO || error == ENODEV))
            return changed();
        Failed(error);
        return kInvalidHandle;
    }
    if (walked && !StillWalkDisk(fd, *node)) {
        close(fd);
        return changed();
    }
    return static_cast<Handle>(fd) + 1;
}

bool CloseDevice(Handle handle) {
    if (usb_model::Host::Owns(handle))
        return linux_os::UsbHost().Close(handle);
    const int fd = Descriptor(handle);
    return fd >= 0 && close(fd) == 0;
}

bool DeviceControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, std::uint32_t* returned) {
    if (usb_model::Host::Owns(handle))
        return linux_os::UsbHost().Control(handle, code, in, inSize, out, outSize, returned);
    if (returned != nullptr)
        *returned = 0;
    if (callsStopped.load())
        return Failed(EINTR);
    const int fd = Descriptor(handle);
    // One buffer in and out, as the system sends it.
    if (fd < 0 || code != kIoctlScsiPassThrough || in != out || inSize < outSize)
        return Failed(EINVAL);
    auto* request = static_cast<std::uint8_t*>(out);
    std::uint8_t sense[kScsiSenseAreaSize] = {};
    auto sg = linux_os::SgRequestFor(request, outSize, sense, sizeof sense);
    if (!sg)
        return Failed(EINVAL);
    const auto start = std::chrono::steady_clock::now();
    const int result = ioctl(fd, SG_IO, &*sg);
    sgIoMicroseconds +=
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
    if (result != 0) {
        const int error = errno;
        // The pass-through node of a disk being taken down refuses every command.
        if (error == ENODEV) {
            lastError = {ENODEV, kChanged};
            return false;
        }
        return Failed(error);
    }
    // The command came back without reaching the device, or the host dropped it: a disk being
    // pulled is told apart from one that failed its transfer.
    if (!linux_os::SgCompleted(*sg)) {
        if (DeviceGoing(fd)) {
            lastError = {ENODEV, kChanged};
            return false;
        }
        return Failed(callsStopped.load() ? EINTR : EIO);
    }
    const std::uint32_t count = linux_os::SgWriteBack(*sg, request, sense);
    if (returned != nullptr)
        *returned = count;
    return true;
}

bool DiskFreeBytesAvailable(const char16_t* root, std::uint64_t* available) {
    if (root == nullptr)
        return false;
    const auto point =
        root[0] == u'/' ? std::optional(ToUtf8(root)) : linux_os::LetterMountPoint(root);
    struct statvfs fs {};
    if (!point || statvfs(point->c_str(), &fs) != 0)
        return false;
    if (available != nullptr)
        *available = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    return true;
}

std::uint32_t LogicalDriveStrings(std::uint32_t length, char16_t* buffer) {
    return PackDriveStrings(linux_os::MountedLetters(), length, buffer);
}

void CharUpperText(char16_t* text) {
    for (; text != nullptr && *text != u'\0'; ++text)
        *text = AsciiUpper(*text);
}

void DebugOutput(const char16_t* text) {
    if (text == nullptr)
        return;
    const std::string line = ToUtf8(text);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// 8-bit texts in the encoding Linux systems use throughout.
std::u16string AnsiToWide(std::string_view bytes) {
    return FromUtf8(bytes);
}

TAVRIN_BACKEND_END

}  // namespace platform
