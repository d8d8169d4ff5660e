// The Win32 backend of platform/device_io.h.
#include "platform/device_io.h"

// windows.h first, then winioctl.h: ntddscsi.h relies on both.
#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include <cstddef>

#include "platform/scsi_pass_through.h"
#include "platform/thread_own.h"

namespace platform {

// Our mirror of the request header must be the platform's, byte for byte, on every target.
static_assert(sizeof(ScsiPassThroughHeader) == sizeof(SCSI_PASS_THROUGH));
static_assert(offsetof(ScsiPassThroughHeader, DataTransferLength) ==
              offsetof(SCSI_PASS_THROUGH, DataTransferLength));
static_assert(offsetof(ScsiPassThroughHeader, TimeOutValue) ==
              offsetof(SCSI_PASS_THROUGH, TimeOutValue));
static_assert(offsetof(ScsiPassThroughHeader, DataBufferOffset) ==
              offsetof(SCSI_PASS_THROUGH, DataBufferOffset));
static_assert(offsetof(ScsiPassThroughHeader, SenseInfoOffset) ==
              offsetof(SCSI_PASS_THROUGH, SenseInfoOffset));
static_assert(offsetof(ScsiPassThroughHeader, Cdb) == offsetof(SCSI_PASS_THROUGH, Cdb));
static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH);
static_assert(kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN);
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {
const wchar_t* W(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* W(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
HANDLE H(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Taken at the failure: CloseHandle and OutputDebugStringW after it may change GetLastError.
thread_local DWORD lastError = 0;
// A reason the caller found in a call the system answered as a success; cleared by a failure.
// (Of the thread's own through ThreadOwn: it has a destructor.)
struct FoundErrorSlot {};
DeviceError& FoundError() {
    return platform::ThreadOwn<DeviceError, FoundErrorSlot>();
}
thread_local bool found = false;

void Failed() {
    lastError = GetLastError();
    found = false;
}
}  // namespace

void SetLastDeviceError(const DeviceError& error) {
    FoundError() = error;
    found = true;
}

DeviceError LastDeviceError() {
    if (found)
        return FoundError();
    DeviceError error{static_cast<int>(lastError), {}};
    if (lastError == 0)
        return error;
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, lastError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n > 0 && text != nullptr) {
        std::u16string message(reinterpret_cast<const char16_t*>(text), n);
        // The system's text ends with CR LF.
        while (!message.empty() &&
               (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' '))
            message.pop_back();
        error.text = std::move(message);
    }
    LocalFree(text);
    return error;
}

Handle OpenDeviceFile(const char16_t* path) {
    HANDLE h =
        CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        Failed();
    return reinterpret_cast<Handle>(h);
}

bool CloseDevice(Handle handle) {
    return CloseHandle(H(handle)) != FALSE;
}

bool DeviceControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, std::uint32_t* returned) {
    DWORD count = 0;
    const BOOL ok = DeviceIoControl(H(handle), code, in, inSize, out, outSize, &count, nullptr);
    if (ok == FALSE)
        Failed();
    if (returned != nullptr)
        *returned = count;
    return ok != FALSE;
}

bool DiskFreeBytesAvailable(const char16_t* root, std::uint64_t* available) {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(W(root), &free, nullptr, nullptr))
        return false;
    if (available != nullptr)
        *available = free.QuadPart;
    return true;
}

std::uint32_t LogicalDriveStrings(std::uint32_t length, char16_t* buffer) {
    return GetLogicalDriveStringsW(length, W(buffer));
}

void CharUpperText(char16_t* text) {
    if (text != nullptr)
        CharUpperW(W(text));
}

void DebugOutput(const char16_t* text) {
    OutputDebugStringW(W(text));
}

std::u16string AnsiToWide(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

}  // namespace platform
