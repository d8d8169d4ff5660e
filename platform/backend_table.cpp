// The table of the backend this file is compiled into: platform::<TAVRIN_BACKEND_NS>.
#include "platform/backend_table.h"

#include "platform/device_watch.h"
#include "platform/profile.h"

#ifndef TAVRIN_BACKEND_NS
#error "the table names its backend: build it with TAVRIN_BACKEND_NS"
#endif

namespace platform {
TAVRIN_BACKEND_BEGIN
namespace {

void* WatchCreate() {
    return new DeviceWatch();
}

void WatchDestroy(void* watch) {
    delete static_cast<DeviceWatch*>(watch);
}

bool WatchListening(const void* watch) {
    return static_cast<const DeviceWatch*>(watch)->listening();
}

int WatchWait(void* watch, std::uint32_t timeoutMs) {
    return static_cast<int>(static_cast<DeviceWatch*>(watch)->Wait(timeoutMs));
}

void WatchStop(void* watch) {
    static_cast<DeviceWatch*>(watch)->Stop();
}

// Constant: filled before any code runs, so a signal handler may read it.
constexpr BackendTable kTable = {
    .openDeviceFile = &OpenDeviceFile,
    .closeDevice = &CloseDevice,
    .lastDeviceError = &LastDeviceError,
    .setLastDeviceError = &SetLastDeviceError,
    .deviceControl = &DeviceControl,
    .diskFreeBytesAvailable = &DiskFreeBytesAvailable,
    .logicalDriveStrings = &LogicalDriveStrings,
    .charUpperText = &CharUpperText,
    .debugOutput = &DebugOutput,
    .ansiToWide = &AnsiToWide,
    .usbSystem = &UsbSystem,
    .getProfileInt = &GetProfileInt,
    .getProfileString = &GetProfileString,
    .hasProfileSection = &HasProfileSection,
    .writeProfileString = &WriteProfileString,
    .createEmptyFile = &CreateEmptyFile,
    .flushProfileFile = &FlushProfileFile,
    .moveFileReplacing = &MoveFileReplacing,
    .removeFile = &RemoveFile,
    .moduleFileName = &ModuleFileName,
    .lookAtLogPath = &LookAtLogPath,
    .openLogFile = &OpenLogFile,
    .logFileLength = &LogFileLength,
    .writeLogFile = &WriteLogFile,
    .flushLogFile = &FlushLogFile,
    .readLogFileAt = &ReadLogFileAt,
    .cutLogFile = &CutLogFile,
    .closeLogFile = &CloseLogFile,
    .lastLogError = &LastLogError,
    .currentLocalTime = &CurrentLocalTime,
    .computerName = &ComputerName,
    .watchCreate = &WatchCreate,
    .watchDestroy = &WatchDestroy,
    .watchListening = &WatchListening,
    .watchWait = &WatchWait,
    .watchStop = &WatchStop,
};

}  // namespace

const BackendTable& BackendFunctions() {
    return kTable;
}

TAVRIN_BACKEND_END
}  // namespace platform
