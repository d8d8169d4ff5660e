// The virtual station: what the platform's device functions reach when the system runs on the
// simulated OS backend. Tests build a station (disks with scripted controllers, volumes with
// drive letters and free space) and read back what the system did to it (pass-through calls,
// opened paths, open handles, debugger lines).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_io.h"
#include "platform/sim/usb_side.h"

namespace sim {

struct SenseData {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    bool descriptorFormat = false;  // response code 0x72 instead of 0x70
};

// How a controller answers one pass-through call.
struct Reply {
    enum class Kind { Answer, SenseError, TransportFailure };
    Kind kind = Kind::Answer;
    SenseData sense;
    std::uint8_t scsiStatus = 0;                 // reported in the header; GOOD (0) for an answer
    std::optional<std::uint32_t> reportedBytes;  // byte count the call claims, if not the true one
    std::optional<std::uint32_t> transferred;    // data bytes the device sends, if fewer
    std::chrono::milliseconds delay{0};

    static Reply Answer() { return {}; }
    static Reply Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                       bool descriptorFormat = false) {
        Reply r;
        r.kind = Kind::SenseError;
        r.sense = {key, asc, ascq, descriptorFormat};
        r.scsiStatus = 2;  // CHECK CONDITION
        return r;
    }
    static Reply Transport() {
        Reply r;
        r.kind = Kind::TransportFailure;
        return r;
    }
};

// One pass-through request as the device saw it.
struct PassThroughCall {
    std::uint32_t ioctl = 0;
    std::uint32_t inSize = 0;
    std::uint32_t outSize = 0;
    std::uint16_t length = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t dataTransferLength = 0;
    std::uint32_t timeout = 0;
    std::uintptr_t dataBufferOffset = 0;
    std::uint32_t senseInfoOffset = 0;
    std::array<std::uint8_t, 16> cdb{};
    bool senseAreaClear = false;  // the sense area was all zero when the call arrived
    bool restClear = false;       // so was every byte of the buffer past the header
};

// A disk whose controller answers the vendor command 0xA1: sub-code 0 with the identification,
// sub-code 1 with the information block. Other commands get ILLEGAL REQUEST.
struct VirtualDisk {
    std::array<std::uint8_t, 36> identification{};
    std::array<std::uint8_t, 1024> block{};
    std::deque<Reply> script;  // one reply per call, front first; when empty: Answer
    // Set: a controller that never answers. Every pass-through call takes the timeout the
    // request states, each of its seconds lasting this long (no test waits ten seconds per
    // attempt), and then fails as a timed-out request does; the script is not used.
    std::optional<std::chrono::microseconds> timesOut;
    std::vector<PassThroughCall> calls;

    void SetModel(std::string_view model);  // bytes 0.. of the identification
};

class Station {
  public:
    static Station& Get();

    // Back to an empty station: no disks, volumes, handles or lines, no USB machine; code
    // page 1252.
    void Reset();

    // The USB side: controllers, hubs, ports, devices and their device nodes, interfaces,
    // registry values and requests (platform/sim/usb_side.h).
    UsbSide& Usb();

    // Adds (or replaces) the disk behind \\.\PHYSICALDRIVE<number>. The reference stays valid
    // until the disk is removed or the station reset; change it only while no thread of the
    // system is using the station.
    VirtualDisk& AddDisk(int driveNumber);
    void RemoveDisk(int driveNumber);
    VirtualDisk* Disk(int driveNumber);

    // A volume of a disk with a drive letter; its free bytes available to the caller.
    void AddVolume(char16_t letter, int driveNumber, std::uint64_t freeBytes);
    void RemoveVolume(char16_t letter);
    // The letters of the volumes, in order: the system's logical drives.
    std::u16string DriveLetters() const;
    // GetLogicalDriveStringsW fails (answers 0) while set.
    void SetLogicalDrivesFail(bool fail);
    bool LogicalDrivesFail() const;
    // Opens of this path (without regard to case) fail with "access is denied", as for a user
    // who may not open the device.
    void DenyOpen(std::u16string path);
    void AllowOpen(std::u16string_view path);  // lifts DenyOpen
    bool OpenDenied(std::u16string_view path) const;

    // Called with each device path asked for, before it is opened and outside the station's
    // lock (empty: none): a test pulls or swaps a disk at that moment. Reset removes it.
    using OpenHook = std::function<void(std::u16string_view path)>;
    void SetOpenHook(OpenHook hook);
    void BeforeOpen(std::u16string_view path);

    std::vector<std::u16string> DebugLines() const;
    void ClearDebugLines();
    std::vector<std::u16string> OpenedPaths() const;  // every path asked for, in order
    std::vector<OpenCall> Opens() const;              // the same, with access and share modes
    std::size_t OpenHandleCount() const;
    std::vector<std::u16string> OpenHandlePaths() const;  // of the handles not closed yet

    // A device time every pass-through answer takes, on top of its reply's own delay: a
    // station of uniformly slow disks. Reset puts it back to zero.
    void SetCommandLatency(std::chrono::microseconds latency);
    std::chrono::microseconds CommandLatency() const;
    // The device time the pass-through answers have really taken (latency and reply delays,
    // as the clock saw them) since the last reset of it or of the station.
    std::chrono::nanoseconds TakeDeviceTime();
    // The most pass-through calls that were in progress at one time, on any disks, since the
    // station was reset.
    int MostCommandsAtOnce() const;

    // The ANSI code page of AnsiToWide: 1252, 28591 (Latin-1) or 65001 (UTF-8).
    void SetAnsiCodePage(unsigned codePage);
    unsigned AnsiCodePage() const;

    // The platform functions of the simulated backend.
    platform::Handle Open(const char16_t* path);  // read and write, shared for both
    platform::Handle Open(const char16_t* path, std::uint32_t access, std::uint32_t share);
    bool Close(platform::Handle handle);
    bool Control(platform::Handle handle, std::uint32_t code, void* in, std::uint32_t inSize,
                 void* out, std::uint32_t outSize, std::uint32_t* returned);
    bool FreeBytes(const char16_t* root, std::uint64_t* available);
    void Debug(const char16_t* text);

  private:
    friend class UsbSide;
    Station();
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    struct Volume {
        int driveNumber = 0;
        std::uint64_t freeBytes = 0;
    };
    struct OpenDevice {
        bool isVolume = false;
        int driveNumber = 0;
        char16_t letter = 0;
        std::uint32_t access = 0;
        std::u16string path;
    };
    VirtualDisk& AddDiskLocked(int driveNumber);
    bool DeviceNumberReply(const OpenDevice& device, void* out, std::uint32_t outSize,
                           std::uint32_t* returned);

    // Under mutex_: the disk a device or handle reaches, or null.
    VirtualDisk* DiskBehind(const OpenDevice& device);
    VirtualDisk* DiskOf(platform::Handle handle);

    // One request, in steps: the checks and the recording in Control, then the scripted reply
    // (taken under mutex_, performed outside it), then the answer written into the buffer.
    static Reply NextReply(VirtualDisk& disk);
    // False: the call itself fails. `latency` is the station's command latency.
    bool Perform(const Reply& reply, std::chrono::microseconds latency);
    // Writes the reply's data, sense and header; returns the bytes the call reports.
    static std::uint32_t Answer(const VirtualDisk& disk, Reply reply,
                                std::span<std::uint8_t> buffer);

    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<VirtualDisk>> disks_;
    std::map<char16_t, Volume> volumes_;
    std::map<platform::Handle, OpenDevice> handles_;
    platform::Handle nextHandle_ = 0x100;
    std::vector<std::u16string> debugLines_;
    std::vector<std::u16string> openedPaths_;
    std::vector<OpenCall> opens_;
    std::unique_ptr<UsbSide> usb_;
    unsigned codePage_ = 1252;
    std::chrono::microseconds latency_{0};
    std::chrono::nanoseconds deviceTime_{0};
    bool logicalDrivesFail_ = false;
    std::vector<std::u16string> deniedPaths_;
    std::shared_ptr<const OpenHook> openHook_;
    int commandsInProgress_ = 0;
    int mostCommandsAtOnce_ = 0;
};

// The reverse of platform::AnsiToWide in the station's code page (WideCharToMultiByte with
// CP_ACP): a character the code page cannot hold becomes '?'.
std::string WideToAnsi(std::u16string_view text);

}  // namespace sim
