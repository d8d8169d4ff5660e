// A fault injector for the simulated OS backend (test builder side): every platform call of
// platform/device_io.h, usb_io.h, profile.h and log_file.h that can fail on Windows is counted
// here, across all kinds and threads, and the armed one fails as the real call would (invalid
// handle, false, 0, the fallback of a profile read). Calls that cannot fail (closing, the
// language, the clock, the program path) are not counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sim {

enum class FaultCall {
    Open,            // CreateFileW of a device, disk or volume
    PassThrough,     // DeviceIoControl with the SCSI pass-through
    DeviceRequest,   // any other DeviceIoControl (hub, controller, storage)
    FreeBytes,       // GetDiskFreeSpaceExW
    LogicalDrives,   // GetLogicalDriveStringsW
    ClassDevices,    // SetupDiGetClassDevsW
    EnumInterface,   // SetupDiEnumDeviceInterfaces
    DetailSize,      // the first SetupDiGetDeviceInterfaceDetailW
    Detail,          // the second one
    Parent,          // CM_Get_Parent
    DriverProperty,  // CM_Get_DevNode_Registry_PropertyW
    OpenKey,         // RegOpenKeyExW
    QueryValue,      // RegQueryValueExW
    VolumeName,      // GetVolumeNameForVolumeMountPointW
    PathNames,       // GetVolumePathNamesForVolumeNameW
    DriveType,       // GetDriveTypeW
    ProfileRead,     // GetPrivateProfileIntW / GetPrivateProfileStringW
    ProfileWrite,    // WritePrivateProfileStringW
    CreateFile,      // CreateFileW with CREATE_ALWAYS (an empty file)
    ProfileFlush,    // a profile file's flush to the disk (FlushFileBuffers)
    MoveFile,        // MoveFileExW replacing a file
    DeleteFile,      // DeleteFileW
    LogOpen,         // CreateFileW of the result log and its SetFilePointerEx to the end
    LogWrite,        // WriteFile to the result log: half of the bytes reach the file
    LogFlush,        // FlushFileBuffers of the result log: half of what waited reaches it
    LogCut,          // SetFilePointerEx and SetEndOfFile cutting the result log back
};

std::string_view FaultCallName(FaultCall call);

class Faults {
  public:
    // Counts back to zero, nothing armed, nothing failed.
    static void Reset();
    // The n-th counted call from now (1: the next one) fails; 0 disarms.
    static void Arm(std::uint64_t n);
    // Besides the armed one, the n-th counted call from now fails too; 0 disarms. For a failure
    // whose own repair fails.
    static void ArmAlso(std::uint64_t n);
    // Calls counted since the last reset.
    static std::uint64_t Calls();
    // The kind of the first call that was made to fail since the last reset.
    static std::optional<FaultCall> FirstFailed();

    // For the backend: counts one call of `call`; true when it is to fail.
    static bool Fail(FaultCall call);
};

}  // namespace sim
