// One backend's functions as a table, for a program that carries two backends and chooses one
// when it starts (platform/dispatch.cpp). backend_table.cpp, compiled into each backend built
// with TAVRIN_BACKEND_NS, fills the table of that backend: platform::<name>::BackendFunctions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/device_io.h"
#include "platform/log_file.h"
#include "platform/usb_io.h"

namespace platform {

struct BackendTable {
    // platform/device_io.h
    Handle (*openDeviceFile)(const char16_t* path);
    bool (*closeDevice)(Handle handle);
    DeviceError (*lastDeviceError)();
    void (*setLastDeviceError)(const DeviceError& error);
    bool (*deviceControl)(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize,
                          void* out, std::uint32_t outSize, std::uint32_t* returned);
    bool (*diskFreeBytesAvailable)(const char16_t* root, std::uint64_t* available);
    std::uint32_t (*logicalDriveStrings)(std::uint32_t length, char16_t* buffer);
    void (*charUpperText)(char16_t* text);
    void (*debugOutput)(const char16_t* text);
    std::u16string (*ansiToWide)(std::string_view bytes);

    // platform/usb_io.h
    UsbCalls& (*usbSystem)();

    // platform/profile.h
    int (*getProfileInt)(std::u16string_view section, std::u16string_view key, int fallback,
                         std::u16string_view file);
    std::u16string (*getProfileString)(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view fallback, std::size_t bufferSize,
                                       std::u16string_view file);
    bool (*hasProfileSection)(std::u16string_view section, std::u16string_view file);
    bool (*writeProfileString)(std::u16string_view section, std::u16string_view key,
                               std::u16string_view value, std::u16string_view file);
    bool (*createEmptyFile)(std::u16string_view path);
    bool (*flushProfileFile)(std::u16string_view file);
    bool (*moveFileReplacing)(std::u16string_view from, std::u16string_view to);
    bool (*removeFile)(std::u16string_view path);
    std::u16string (*moduleFileName)();

    // platform/log_file.h
    LogPathKind (*lookAtLogPath)(std::u16string_view path);
    LogFile (*openLogFile)(std::u16string_view path, std::uint64_t* length, bool* held);
    bool (*logFileLength)(LogFile file, std::uint64_t* length);
    bool (*writeLogFile)(LogFile file, std::string_view bytes);
    bool (*flushLogFile)(LogFile file);
    bool (*readLogFileAt)(LogFile file, std::uint64_t offset, std::span<char> buffer,
                          std::size_t* read);
    bool (*cutLogFile)(LogFile file, std::uint64_t length);
    void (*closeLogFile)(LogFile file);
    std::u16string (*lastLogError)();
    LocalTime (*currentLocalTime)();
    std::u16string (*computerName)();

    // platform/device_watch.h: the backend's watch, held opaquely. watchWait answers the
    // DeviceWatch::Wake value as its number (the enumerators are the same in every backend).
    void* (*watchCreate)();
    void (*watchDestroy)(void* watch);
    bool (*watchListening)(const void* watch);
    int (*watchWait)(void* watch, std::uint32_t timeoutMs);
    void (*watchStop)(void* watch);
};

}  // namespace platform
