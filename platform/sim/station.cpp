#include "platform/sim/station.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <thread>

#include "platform/scsi_pass_through.h"

namespace sim {
namespace {

constexpr std::uint8_t kVendorOpcode = 0xA1;

char16_t Upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i]))
            return false;
    }
    return true;
}

void WriteSense(std::uint8_t* sense, std::size_t room, const SenseData& data) {
    std::uint8_t bytes[18] = {};
    if (data.descriptorFormat) {
        bytes[0] = 0x72;
        bytes[1] = data.key & 0x0F;
        bytes[2] = data.asc;
        bytes[3] = data.ascq;
    } else {
        bytes[0] = 0x70;
        bytes[2] = data.key & 0x0F;
        bytes[7] = 10;
        bytes[12] = data.asc;
        bytes[13] = data.ascq;
    }
    std::memcpy(sense, bytes, std::min(room, sizeof bytes));
}

}  // namespace

void VirtualDisk::SetModel(std::string_view model) {
    std::fill(identification.begin(), identification.end(), std::uint8_t{0});
    std::copy_n(model.begin(), std::min(model.size(), identification.size()),
                identification.begin());
}

Station& Station::Get() {
    static Station station;
    return station;
}

void Station::Reset() {
    std::lock_guard lock(mutex_);
    disks_.clear();
    volumes_.clear();
    handles_.clear();
    debugLines_.clear();
    openedPaths_.clear();
    codePage_ = 1252;
}

VirtualDisk& Station::AddDisk(int driveNumber) {
    std::lock_guard lock(mutex_);
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
    volumes_[Upper(letter)] = Volume{driveNumber, freeBytes};
}

void Station::RemoveVolume(char16_t letter) {
    std::lock_guard lock(mutex_);
    volumes_.erase(Upper(letter));
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

std::size_t Station::OpenHandleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
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
    if (path == nullptr)
        return platform::kInvalidHandle;
    const std::u16string_view p(path);
    std::lock_guard lock(mutex_);
    openedPaths_.emplace_back(p);

    OpenDevice device;
    constexpr std::u16string_view kDrive = u"\\\\.\\PHYSICALDRIVE";
    constexpr std::u16string_view kPrefix = u"\\\\.\\";
    if (StartsWithNoCase(p, kDrive)) {
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
    } else if (p.size() == 6 && StartsWithNoCase(p, kPrefix) && p[5] == u':') {
        auto it = volumes_.find(Upper(p[4]));
        if (it == volumes_.end() || !disks_.count(it->second.driveNumber)) {
            return platform::kInvalidHandle;
        }
        device.isVolume = true;
        device.letter = Upper(p[4]);
    } else {
        return platform::kInvalidHandle;
    }
    const platform::Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = device;
    return handle;
}

bool Station::Close(platform::Handle handle) {
    std::lock_guard lock(mutex_);
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

bool Station::Control(platform::Handle handle, std::uint32_t code, void* in, std::uint32_t inSize,
                      void* out, std::uint32_t outSize, std::uint32_t* returned) {
    using platform::ScsiPassThroughHeader;
    Reply reply;
    {
        std::lock_guard lock(mutex_);
        auto h = handles_.find(handle);
        if (h == handles_.end())
            return false;  // ERROR_INVALID_HANDLE
        VirtualDisk* disk = DiskBehind(h->second);
        if (disk == nullptr)
            return false;  // ERROR_DEVICE_NOT_CONNECTED
        if (code != platform::kIoctlScsiPassThrough)
            return false;
        // METHOD_BUFFERED: the request lives in one system buffer of max(in, out) bytes.
        if (in == nullptr || inSize < sizeof(ScsiPassThroughHeader) || out != in)
            return false;

        ScsiPassThroughHeader header;
        std::memcpy(&header, in, sizeof header);
        PassThroughCall call;
        call.ioctl = code;
        call.inSize = inSize;
        call.outSize = outSize;
        call.length = header.Length;
        call.cdbLength = header.CdbLength;
        call.senseInfoLength = header.SenseInfoLength;
        call.dataIn = header.DataIn;
        call.dataTransferLength = header.DataTransferLength;
        call.timeout = header.TimeOutValue;
        call.dataBufferOffset = header.DataBufferOffset;
        call.senseInfoOffset = header.SenseInfoOffset;
        std::memcpy(call.cdb.data(), header.Cdb, sizeof header.Cdb);
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        const std::size_t bufferSize = std::max(inSize, outSize);
        if (header.SenseInfoOffset + std::size_t{header.SenseInfoLength} <= inSize) {
            call.senseAreaClear =
                std::all_of(bytes + header.SenseInfoOffset,
                            bytes + header.SenseInfoOffset + header.SenseInfoLength,
                            [](std::uint8_t b) { return b == 0; });
        }
        disk->calls.push_back(call);

        if (header.Length != sizeof(ScsiPassThroughHeader) || header.CdbLength > 16 ||
            header.DataBufferOffset + std::size_t{header.DataTransferLength} > bufferSize ||
            header.SenseInfoOffset + std::size_t{header.SenseInfoLength} > outSize) {
            return false;  // ERROR_INVALID_PARAMETER
        }
        if (!disk->script.empty()) {
            reply = disk->script.front();
            disk->script.pop_front();
        }
    }

    if (reply.delay.count() > 0)
        std::this_thread::sleep_for(reply.delay);
    if (reply.kind == Reply::Kind::TransportFailure)
        return false;

    std::lock_guard lock(mutex_);
    auto h = handles_.find(handle);
    VirtualDisk* disk = h == handles_.end() ? nullptr : DiskBehind(h->second);
    if (disk == nullptr)
        return false;  // gone while the command ran

    auto* buffer = static_cast<std::uint8_t*>(out);
    ScsiPassThroughHeader header;
    std::memcpy(&header, buffer, sizeof header);
    std::uint8_t* sense = buffer + header.SenseInfoOffset;
    std::uint8_t* data = buffer + header.DataBufferOffset;

    SenseData senseData = reply.sense;
    std::uint32_t transferred = 0;
    if (reply.kind == Reply::Kind::Answer) {
        const std::uint8_t* cdb = header.Cdb;
        const std::uint32_t asked = (std::uint32_t{cdb[3]} << 8) | cdb[4];
        std::span<const std::uint8_t> answer;
        if (header.CdbLength < 5 || cdb[0] != kVendorOpcode || header.DataIn != 1) {
            senseData = {0x05, 0x20, 0x00, false};  // ILLEGAL REQUEST, invalid command
        } else if (cdb[1] == 0) {
            answer = disk->identification;
        } else if (cdb[1] == 1) {
            answer = disk->block;
        } else {
            senseData = {0x05, 0x24, 0x00, false};  // invalid field in CDB
        }
        if (senseData.key == 0) {
            transferred = std::min<std::uint32_t>(
                {asked, header.DataTransferLength, static_cast<std::uint32_t>(answer.size())});
            std::memcpy(data, answer.data(), transferred);
        } else {
            reply.scsiStatus = 2;
        }
    }
    if (senseData.key != 0 || senseData.asc != 0 || senseData.ascq != 0) {
        WriteSense(sense, header.SenseInfoLength, senseData);
    }
    header.ScsiStatus = reply.scsiStatus;
    header.DataTransferLength = transferred;  // the residual, as the port driver reports it
    std::memcpy(buffer, &header, sizeof header);
    if (returned != nullptr) {
        *returned = reply.reportedBytes.value_or(
            static_cast<std::uint32_t>(header.DataBufferOffset + transferred));
    }
    return true;
}

bool Station::FreeBytes(const char16_t* root, std::uint64_t* available) {
    if (root == nullptr)
        return false;
    const std::u16string_view r(root);
    if (r.size() != 3 || r[1] != u':' || r[2] != u'\\')
        return false;
    std::lock_guard lock(mutex_);
    auto it = volumes_.find(Upper(r[0]));
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
