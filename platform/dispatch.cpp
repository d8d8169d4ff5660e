// The platform functions of a program that carries two backends: each forwards to the table of
// the backend chosen when the program started (platform/backend_table.cpp).
#include "platform/dispatch.h"

#include <atomic>

#include "platform/backend_table.h"
#include "platform/device_watch.h"
#include "platform/profile.h"

namespace platform {

// The backends' tables, by the names their libraries are built with.
namespace machine_os {
const BackendTable& BackendFunctions();
}  // namespace machine_os
namespace station_os {
const BackendTable& BackendFunctions();
}  // namespace station_os

namespace {

// Chosen before the threads start, so a plain load would do; atomic because DeviceWatch::Stop
// reads it in a signal handler.
std::atomic<Backend> chosen{Backend::Machine};
static_assert(std::atomic<Backend>::is_always_lock_free, "read in a signal handler");

const BackendTable& Table() {
    return chosen.load(std::memory_order_relaxed) == Backend::Station
               ? station_os::BackendFunctions()
               : machine_os::BackendFunctions();
}

}  // namespace

void UseBackend(Backend which) {
    chosen.store(which, std::memory_order_relaxed);
}

Backend ChosenBackend() {
    return chosen.load(std::memory_order_relaxed);
}

// ---- platform/device_io.h ---------------------------------------------------------------------

Handle OpenDeviceFile(const char16_t* path) {
    return Table().openDeviceFile(path);
}

bool CloseDevice(Handle handle) {
    return Table().closeDevice(handle);
}

DeviceError LastDeviceError() {
    return Table().lastDeviceError();
}

void SetLastDeviceError(const DeviceError& error) {
    Table().setLastDeviceError(error);
}

bool DeviceControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, std::uint32_t* returned) {
    return Table().deviceControl(handle, code, in, inSize, out, outSize, returned);
}

bool DiskFreeBytesAvailable(const char16_t* root, std::uint64_t* available) {
    return Table().diskFreeBytesAvailable(root, available);
}

std::uint32_t LogicalDriveStrings(std::uint32_t length, char16_t* buffer) {
    return Table().logicalDriveStrings(length, buffer);
}

void CharUpperText(char16_t* text) {
    Table().charUpperText(text);
}

void DebugOutput(const char16_t* text) {
    Table().debugOutput(text);
}

std::u16string AnsiToWide(std::string_view bytes) {
    return Table().ansiToWide(bytes);
}

// ---- platform/usb_io.h ------------------------------------------------------------------------

UsbCalls& UsbSystem() {
    return Table().usbSystem();
}

// ---- platform/profile.h -----------------------------------------------------------------------

int GetProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                  std::u16string_view file) {
    return Table().getProfileInt(section, key, fallback, file);
}

std::u16string GetProfileString(std::u16string_view section, std::u16string_view key,
                                std::u16string_view fallback, std::size_t bufferSize,
                                std::u16string_view file) {
    return Table().getProfileString(section, key, fallback, bufferSize, file);
}

bool HasProfileSection(std::u16string_view section, std::u16string_view file) {
    return Table().hasProfileSection(section, file);
}

bool WriteProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::u16string_view file) {
    return Table().writeProfileString(section, key, value, file);
}

bool CreateEmptyFile(std::u16string_view path) {
    return Table().createEmptyFile(path);
}

bool FlushProfileFile(std::u16string_view file) {
    return Table().flushProfileFile(file);
}

bool MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    return Table().moveFileReplacing(from, to);
}

bool RemoveFile(std::u16string_view path) {
    return Table().removeFile(path);
}

std::u16string ModuleFileName() {
    return Table().moduleFileName();
}

// ---- platform/log_file.h ----------------------------------------------------------------------

LogPathKind LookAtLogPath(std::u16string_view path) {
    return Table().lookAtLogPath(path);
}

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length, bool* held) {
    return Table().openLogFile(path, length, held);
}

bool LogFileLength(LogFile file, std::uint64_t* length) {
    return Table().logFileLength(file, length);
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    return Table().writeLogFile(file, bytes);
}

bool FlushLogFile(LogFile file) {
    return Table().flushLogFile(file);
}

bool ReadLogFileAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read) {
    return Table().readLogFileAt(file, offset, buffer, read);
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    return Table().cutLogFile(file, length);
}

void CloseLogFile(LogFile file) {
    Table().closeLogFile(file);
}

std::u16string LastLogError() {
    return Table().lastLogError();
}

LocalTime CurrentLocalTime() {
    return Table().currentLocalTime();
}

std::u16string ComputerName() {
    return Table().computerName();
}

// ---- platform/device_watch.h ------------------------------------------------------------------

// The backend's watch and the table it was made with: the backend that made it ends it.
struct DeviceWatch::State {
    const BackendTable& table = Table();
    void* watch = table.watchCreate();
};

DeviceWatch::DeviceWatch() : state_(std::make_unique<State>()) {}

DeviceWatch::~DeviceWatch() {
    state_->table.watchDestroy(state_->watch);
}

bool DeviceWatch::listening() const {
    return state_->table.watchListening(state_->watch);
}

DeviceWatch::Wake DeviceWatch::Wait(std::uint32_t timeoutMs) {
    return static_cast<Wake>(state_->table.watchWait(state_->watch, timeoutMs));
}

void DeviceWatch::Stop() {
    state_->table.watchStop(state_->watch);
}

}  // namespace platform
