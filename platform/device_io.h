// Device I/O that the system asks of the operating system: opening a device path, the one
// control request the system sends, free space of a volume, and the debugger line.
// Win32: platform/win32/device_io.cpp. Elsewhere: the virtual station, platform/sim/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/backend.h"

namespace platform {

// An open device, as the platform's HANDLE value.
using Handle = std::uintptr_t;
inline constexpr Handle kNullHandle = 0;
inline constexpr Handle kInvalidHandle = ~Handle{0};  // INVALID_HANDLE_VALUE: all bits set

// IOCTL_SCSI_PASS_THROUGH: buffered, read and write access.
inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;

TAVRIN_BACKEND_BEGIN
// CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
// OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr). kInvalidHandle on failure.
Handle OpenDeviceFile(const char16_t* path);

// CloseHandle.
bool CloseDevice(Handle handle);

TAVRIN_BACKEND_END

// Why this thread's last failed OpenDeviceFile or DeviceControl failed, as the system said it:
// its error number (GetLastError on Windows, errno on Linux; 0 when it said nothing) and its
// text. Kept from the failure itself, so that closing or logging after it does not lose it.
struct DeviceError {
    int code = 0;
    std::u16string text;
};
// The code of a device call that a stop request cut short (Linux: EINTR): it is not tried again.
// Windows finishes the call in hand.
#ifdef _WIN32
inline constexpr int kDeviceCallStopped = -1;
#else
inline constexpr int kDeviceCallStopped = 4;
#endif
// The code of a device call whose disk went during it (Windows: ERROR_DEVICE_NOT_CONNECTED;
// Linux: ENODEV): the disk was pulled, not read wrongly.
#ifdef _WIN32
inline constexpr int kDeviceGone = 1167;
#else
inline constexpr int kDeviceGone = 19;
#endif
TAVRIN_BACKEND_BEGIN
DeviceError LastDeviceError();

// Records a reason the caller found in a call the system answered as a success (a SCSI status
// without sense data, a short transfer): LastDeviceError answers it until the next failure.
void SetLastDeviceError(const DeviceError& error);

// DeviceIoControl without an overlapped structure; *returned receives the byte count.
bool DeviceControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, std::uint32_t* returned);

// GetDiskFreeSpaceExW(root, &available, nullptr, nullptr): the free bytes available to the
// calling user.
bool DiskFreeBytesAvailable(const char16_t* root, std::uint64_t* available);

// GetLogicalDriveStringsW(length, buffer): one "X:\\" string per drive, each with its
// terminator, then an empty one. Returns the characters written without the last terminator,
// or the length needed (writing nothing) when the buffer is too small.
std::uint32_t LogicalDriveStrings(std::uint32_t length, char16_t* buffer);

// CharUpperW over a terminated text, in place.
void CharUpperText(char16_t* text);

// OutputDebugStringW.
void DebugOutput(const char16_t* text);

// MultiByteToWideChar(CP_THREAD_ACP, 0, ...) over exactly these bytes.
std::u16string AnsiToWide(std::string_view bytes);

TAVRIN_BACKEND_END

}  // namespace platform
