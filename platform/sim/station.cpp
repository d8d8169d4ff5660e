#include "platform/sim/station.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <thread>
#include <utility>

#include "platform/bytes.h"
#include "platform/scsi_pass_through.h"
#include "platform/sim/faults.h"
#include "platform/text.h"
#include "platform/usb_requests.h"

namespace sim {
namespace {

constexpr std::uint8_t kVendorOpcode = 0xA1;
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

// Fixed format (response code 0x70) or descriptor format (0x72), cut to the room given.
void WriteSense(std::span<std::uint8_t> sense, const SenseData& data) {
    std::uint8_t bytes[18] = {};
    platform::ByteWriter w(bytes);
    if (data.descriptorFormat)
        w.U8(0x72).U8(data.key & 0x0F).U8(data.asc).U8(data.ascq);
    else
        w.U8(0x70).At(2).U8(data.key & 0x0F).At(7).U8(10).At(12).U8(data.asc).U8(data.ascq);
    std::copy_n(bytes, std::min(sense.size(), sizeof bytes), sense.begin());
}

// METHOD_BUFFERED: the request lives in one system buffer of max(in, out) bytes, which starts
// with the pass-through header.
bool IsPassThroughBuffer(std::uint32_t code, const void* in, std::uint32_t inSize,
                         const void* out) {
    return code == platform::kIoctlScsiPassThrough && in != nullptr && out == in &&
           inSize >= sizeof(platform::ScsiPassThroughHeader);
}

// Whether every byte is zero, a page at a time against a page of zeros: it runs on every
// command a virtual disk takes, over buffers of tens of kilobytes.
bool AllZero(std::span<const std::uint8_t> bytes) {
    static constexpr std::array<std::uint8_t, 4096> kZeros{};
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kZeros.size());
        if (std::memcmp(bytes.data(), kZeros.data(), n) != 0)
            return false;
        bytes = bytes.subspan(n);
    }
    return true;
}

PassThroughCall Recorded(std::uint32_t code, const platform::ScsiPassThroughHeader& header,
                         std::span<const std::uint8_t> in, std::uint32_t outSize) {
    PassThroughCall call;
    call.ioctl = code;
    call.inSize = static_cast<std::uint32_t>(in.size());
    call.outSize = outSize;
    call.length = header.Length;
    call.cdbLength = header.CdbLength;
    call.senseInfoLength = header.SenseInfoLength;
    call.dataIn = header.DataIn;
    call.dataTransferLength = header.DataTransferLength;
    call.timeout = header.TimeOutValue;
    call.dataBufferOffset = header.DataBufferOffset;
    call.senseInfoOffset = header.SenseInfoOffset;
    std::copy(std::begin(header.Cdb), std::end(header.Cdb), call.cdb.begin());
    if (in.size() >= sizeof header)
        call.restClear = AllZero(in.subspan(sizeof header));
    if (header.SenseInfoOffset + std::size_t{header.SenseInfoLength} <= in.size()) {
        const auto area = in.subspan(header.SenseInfoOffset, header.SenseInfoLength);
        call.senseAreaClear = AllZero(area);
    }
    return call;
}

// What the port driver refuses with ERROR_INVALID_PARAMETER: a header of another size, a CDB
// longer than its field, a data or sense area beyond the buffer.
bool FitsItsBuffer(const platform::ScsiPassThroughHeader& header, std::uint32_t inSize,
                   std::uint32_t outSize) {
    const std::size_t bufferSize = std::max(inSize, outSize);
    return header.Length == sizeof(platform::ScsiPassThroughHeader) && header.CdbLength <= 16 &&
           header.DataBufferOffset + std::size_t{header.DataTransferLength} <= bufferSize &&
           header.SenseInfoOffset + std::size_t{header.SenseInfoLength} <= outSize;
}

// What the controller makes of a command: the bytes it returns, or the sense it reports.
struct Outcome {
    std::span<const std::uint8_t> data;
    SenseData sense;
};

Outcome Execute(const VirtualDisk& disk, const platform::ScsiPassThroughHeader& header) {
    const std::span<const std::uint8_t> cdb(header.Cdb);
    if (header.CdbLength < 5 || cdb[0] != kVendorOpcode || header.DataIn != 1)
        return {{}, {0x05, 0x20, 0x00, false}};  // ILLEGAL REQUEST, invalid command
    const std::uint16_t asked = platform::ByteReader(cdb).At(3).U16Be();
    std::span<const std::uint8_t> answer;
    if (cdb[1] == 0)
        answer = disk.identification;
    else if (cdb[1] == 1)
        answer = disk.block;
    else
        return {{}, {0x05, 0x24, 0x00, false}};  // invalid field in CDB
    const std::size_t transferred =
        std::min({std::size_t{asked}, std::size_t{header.DataTransferLength}, answer.size()});
    return {answer.first(transferred), {}};
}

}  // namespace

void VirtualDisk::SetModel(std::string_view model) {
    std::fill(identification.begin(), identification.end(), std::uint8_t{0});
    std::copy_n(model.begin(), std::min(model.size(), identification.size()),
                identification.begin());
}

// Never destroyed: a scan thread may still be asking a slow disk while the program ends.
Station& Station::Get() {
    static Station& station = *new Station;
    return station;
}

Station::Station() : usb_(new UsbSide(*this)) {}

Station::~Station() = default;

void Station::Reset() {
    std::lock_guard lock(mutex_);
    disks_.clear();
    volumes_.clear();
    handles_.clear();
    debugLines_.clear();
    openedPaths_.clear();
    opens_.clear();
    codePage_ = 1252;
    latency_ = {};
    deviceTime_ = {};
    logicalDrivesFail_ = false;
    deniedPaths_.clear();
    openHook_.reset();
    mostCommandsAtOnce_ = commandsInProgress_;
    usb_->ResetLocked();
    Faults::Reset();
}

void Station::SetOpenHook(OpenHook hook) {
    std::lock_guard lock(mutex_);
    openHook_ = hook ? std::make_shared<const OpenHook>(std::move(hook)) : nullptr;
}

void Station::BeforeOpen(std::u16string_view path) {
    std::shared_ptr<const OpenHook> hook;
    {
        std::lock_guard lock(mutex_);
        hook = openHook_;
    }
    if (hook)
        (*hook)(path);
}

void Station::DenyOpen(std::u16string path) {
    std::lock_guard lock(mutex_);
    deniedPaths_.push_back(std::move(path));
}

void Station::AllowOpen(std::u16string_view path) {
    std::lock_guard lock(mutex_);
    std::erase_if(deniedPaths_,
                  [&](const std::u16string& p) { return platform::EqualsNoCase(p, path); });
}

bool Station::OpenDenied(std::u16string_view path) const {
    std::lock_guard lock(mutex_);
    return std::any_of(deniedPaths_.begin(), deniedPaths_.end(),
                       [&](const std::u16string& p) { return platform::EqualsNoCase(p, path); });
}

void Station::SetCommandLatency(std::chrono::microseconds latency) {
    std::lock_guard lock(mutex_);
    latency_ = latency;
}

int Station::MostCommandsAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostCommandsAtOnce_;
}

std::chrono::microseconds Station::CommandLatency() const {
    std::lock_guard lock(mutex_);
    return latency_;
}

std::chrono::nanoseconds Station::TakeDeviceTime() {
    std::lock_guard lock(mutex_);
    return std::exchange(deviceTime_, {});
}

UsbSide& Station::Usb() {
    return *usb_;
}

VirtualDisk& Station::AddDisk(int driveNumber) {
    std::lock_guard lock(mutex_);
    return AddDiskLocked(driveNumber);
}

VirtualDisk& Station::AddDiskLocked(int driveNumber) {
    auto& slot = disks_[driveNumber];
    slot = std::make_unique<VirtualDisk>();
    slot->SetModel("RV7730");
    return *slot;
}

void Station::RemoveDisk(int driveNumber) {
    std::lock_guard lock(mutex_);
    disks_.erase(driveNumber);
}

VirtualDisk* Station::Disk(int driveNumber) {
    std::lock_guard lock(mutex_);
    auto it = disks_.find(driveNumber);
    return it == disks_.end() ? nullptr : it->second.get();
}

void Station::AddVolume(char16_t letter, int driveNumber, std::uint64_t freeBytes) {
    std::lock_guard lock(mutex_);
    volumes_[platform::AsciiUpper(letter)] = Volume{driveNumber, freeBytes};
}

void Station::RemoveVolume(char16_t letter) {
    std::lock_guard lock(mutex_);
    volumes_.erase(platform::AsciiUpper(letter));
}

std::u16string Station::DriveLetters() const {
    std::lock_guard lock(mutex_);
    std::u16string letters;
    for (const auto& [letter, volume] : volumes_)
        letters += letter;
    return letters;
}

void Station::SetLogicalDrivesFail(bool fail) {
    std::lock_guard lock(mutex_);
    logicalDrivesFail_ = fail;
}

bool Station::LogicalDrivesFail() const {
    std::lock_guard lock(mutex_);
    return logicalDrivesFail_;
}

std::vector<std::u16string> Station::DebugLines() const {
    std::lock_guard lock(mutex_);
    return debugLines_;
}

void Station::ClearDebugLines() {
    std::lock_guard lock(mutex_);
    debugLines_.clear();
}

std::vector<std::u16string> Station::OpenedPaths() const {
    std::lock_guard lock(mutex_);
    return openedPaths_;
}

std::vector<OpenCall> Station::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

std::size_t Station::OpenHandleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size() + usb_->host().HandleCountLocked();
}

std::vector<std::u16string> Station::OpenHandlePaths() const {
    std::lock_guard lock(mutex_);
    std::vector<std::u16string> paths;
    for (const auto& [handle, device] : handles_)
        paths.push_back(device.path);
    for (std::u16string& path : usb_->host().HandlePathsLocked())
        paths.push_back(std::move(path));
    return paths;
}

void Station::SetAnsiCodePage(unsigned codePage) {
    std::lock_guard lock(mutex_);
    codePage_ = codePage;
}

unsigned Station::AnsiCodePage() const {
    std::lock_guard lock(mutex_);
    return codePage_;
}

platform::Handle Station::Open(const char16_t* path) {
    return Open(path, kGenericRead | kGenericWrite, platform::kShareRead | platform::kShareWrite);
}

platform::Handle Station::Open(const char16_t* path, std::uint32_t access, std::uint32_t share) {
    if (path == nullptr)
        return platform::kInvalidHandle;
    const std::u16string_view p(path);
    std::lock_guard lock(mutex_);
    openedPaths_.emplace_back(p);
    opens_.push_back({std::u16string(p), access, share, false});

    OpenDevice device;
    device.access = access;
    device.path = p;
    constexpr std::u16string_view kDrive = u"\\\\.\\PHYSICALDRIVE";
    constexpr std::u16string_view kPrefix = u"\\\\.\\";
    if (platform::StartsWithNoCase(p, kDrive)) {
        const std::u16string_view digits = p.substr(kDrive.size());
        if (digits.empty() || digits.size() > 9)
            return platform::kInvalidHandle;
        int number = 0;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9')
                return platform::kInvalidHandle;
            number = number * 10 + (c - u'0');
        }
        if (!disks_.count(number))
            return platform::kInvalidHandle;
        device.driveNumber = number;
    } else if (p.size() == 6 && platform::StartsWithNoCase(p, kPrefix) && p[5] == u':') {
        auto it = volumes_.find(platform::AsciiUpper(p[4]));
        if (it == volumes_.end() || !disks_.count(it->second.driveNumber)) {
            return platform::kInvalidHandle;
        }
        device.isVolume = true;
        device.letter = platform::AsciiUpper(p[4]);
    } else {
        // A device of the USB side: its handles are the wrapper's.
        const platform::Handle handle = usb_->host().OpenLocked(p);
        opens_.back().opened = handle != platform::kInvalidHandle;
        return handle;
    }
    opens_.back().opened = true;
    const platform::Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = device;
    return handle;
}

bool Station::Close(platform::Handle handle) {
    std::lock_guard lock(mutex_);
    if (platform::usb_model::Host::Owns(handle))
        return usb_->host().CloseLocked(handle);
    return handles_.erase(handle) == 1;
}

VirtualDisk* Station::DiskBehind(const OpenDevice& device) {
    int number = device.driveNumber;
    if (device.isVolume) {
        auto v = volumes_.find(device.letter);
        if (v == volumes_.end())
            return nullptr;
        number = v->second.driveNumber;
    }
    auto d = disks_.find(number);
    return d == disks_.end() ? nullptr : d->second.get();
}

VirtualDisk* Station::DiskOf(platform::Handle handle) {
    auto h = handles_.find(handle);
    return h == handles_.end() ? nullptr : DiskBehind(h->second);
}

bool Station::Control(platform::Handle handle, std::uint32_t code, void* in, std::uint32_t inSize,
                      void* out, std::uint32_t outSize, std::uint32_t* returned) {
    Reply reply;
    std::chrono::microseconds latency{0};
    {
        std::lock_guard lock(mutex_);
        if (platform::usb_model::Host::Owns(handle))
            return usb_->host().ControlLocked(handle, code, in, inSize, out, outSize, returned);
        const auto h = handles_.find(handle);
        if (h != handles_.end() && code == platform::kIoctlStorageGetDeviceNumber)
            return DeviceNumberReply(h->second, out, outSize, returned);
        // The pass-through needs read and write access.
        if (h != handles_.end() &&
            (h->second.access & (kGenericRead | kGenericWrite)) != (kGenericRead | kGenericWrite))
            return false;  // ERROR_ACCESS_DENIED
        VirtualDisk* disk = DiskOf(handle);
        // ERROR_INVALID_HANDLE, ERROR_DEVICE_NOT_CONNECTED, or a request no disk takes.
        if (disk == nullptr || !IsPassThroughBuffer(code, in, inSize, out))
            return false;
        const std::span<const std::uint8_t> request(static_cast<const std::uint8_t*>(in), inSize);
        platform::ScsiPassThroughHeader header;
        std::memcpy(&header, request.data(), sizeof header);
        disk->calls.push_back(Recorded(code, header, request, outSize));
        if (!FitsItsBuffer(header, inSize, outSize))
            return false;  // ERROR_INVALID_PARAMETER
        if (disk->timesOut) {
            reply = Reply::Transport();
            reply.delay = std::chrono::duration_cast<std::chrono::milliseconds>(
                header.TimeOutValue * *disk->timesOut);
        } else {
            reply = NextReply(*disk);
        }
        latency = latency_;
        mostCommandsAtOnce_ = std::max(mostCommandsAtOnce_, ++commandsInProgress_);
    }
    const bool performed = Perform(reply, latency);
    std::lock_guard lock(mutex_);
    --commandsInProgress_;
    if (!performed)
        return false;
    VirtualDisk* disk = DiskOf(handle);
    if (disk == nullptr)
        return false;  // gone while the command ran
    const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(out),
                                         std::max(inSize, outSize));
    const std::uint32_t written = Answer(*disk, reply, buffer);
    if (returned != nullptr)
        *returned = reply.reportedBytes.value_or(written);
    return true;
}

bool Station::DeviceNumberReply(const OpenDevice& device, void* out, std::uint32_t outSize,
                                std::uint32_t* returned) {
    if (out == nullptr || outSize < platform::kStorageDeviceNumberSize || !DiskBehind(device))
        return false;
    int number = device.driveNumber;
    if (device.isVolume)
        number = volumes_.at(device.letter).driveNumber;
    platform::ByteWriter(std::span(static_cast<std::uint8_t*>(out), outSize))
        .U32Le(platform::kFileDeviceDisk)
        .U32Le(static_cast<std::uint32_t>(number))
        .U32Le(device.isVolume ? 1 : 0);
    if (returned != nullptr)
        *returned = platform::kStorageDeviceNumberSize;
    return true;
}

Reply Station::NextReply(VirtualDisk& disk) {
    if (disk.script.empty())
        return Reply::Answer();
    Reply reply = disk.script.front();
    disk.script.pop_front();
    return reply;
}

bool Station::Perform(const Reply& reply, std::chrono::microseconds latency) {
    const auto time = latency + reply.delay;
    if (time.count() > 0) {
        // Asleep until just before the deadline, then yielding up to it: a sleep overruns
        // by tens of microseconds, which would add to every command's time.
        constexpr std::chrono::microseconds kSpin{200};
        const auto start = std::chrono::steady_clock::now();
        const auto until = start + time;
        if (time > kSpin)
            std::this_thread::sleep_until(until - kSpin);
        auto now = std::chrono::steady_clock::now();
        while (now < until) {
            std::this_thread::yield();
            now = std::chrono::steady_clock::now();
        }
        std::lock_guard lock(mutex_);
        deviceTime_ += now - start;
    }
    return reply.kind != Reply::Kind::TransportFailure;
}

std::uint32_t Station::Answer(const VirtualDisk& disk, Reply reply,
                              std::span<std::uint8_t> buffer) {
    platform::ScsiPassThroughHeader header;
    std::memcpy(&header, buffer.data(), sizeof header);
    SenseData sense = reply.sense;
    std::span<const std::uint8_t> data;
    if (reply.kind == Reply::Kind::Answer) {
        const Outcome outcome = Execute(disk, header);
        if (outcome.sense.key != 0)
            sense = outcome.sense;
        if (sense.key == 0)
            data = outcome.data.first(
                std::min<std::size_t>(outcome.data.size(), reply.transferred.value_or(~0u)));
        else
            reply.scsiStatus = 2;  // CHECK CONDITION
    }
    std::copy(data.begin(), data.end(), buffer.subspan(header.DataBufferOffset).begin());
    if (sense.key != 0 || sense.asc != 0 || sense.ascq != 0)
        WriteSense(buffer.subspan(header.SenseInfoOffset, header.SenseInfoLength), sense);
    header.ScsiStatus = reply.scsiStatus;
    // The residual, as the port driver reports it.
    header.DataTransferLength = static_cast<std::uint32_t>(data.size());
    std::memcpy(buffer.data(), &header, sizeof header);
    return static_cast<std::uint32_t>(header.DataBufferOffset + data.size());
}

bool Station::FreeBytes(const char16_t* root, std::uint64_t* available) {
    if (root == nullptr)
        return false;
    const std::u16string_view r(root);
    if (r.size() != 3 || r[1] != u':' || r[2] != u'\\')
        return false;
    std::lock_guard lock(mutex_);
    auto it = volumes_.find(platform::AsciiUpper(r[0]));
    if (it == volumes_.end())
        return false;
    if (available != nullptr)
        *available = it->second.freeBytes;
    return true;
}

void Station::Debug(const char16_t* text) {
    std::lock_guard lock(mutex_);
    debugLines_.emplace_back(text == nullptr ? u"" : text);
}

}  // namespace sim
