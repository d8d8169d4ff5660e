#include "platform/linux/sg_pass_through.h"

#include <algorithm>
#include <cstring>

namespace platform::linux_os {
namespace {

constexpr std::u16string_view kPhysicalDrive = u"\\\\.\\PHYSICALDRIVE";
// The driver status bit that says sense data came back; every other bit of the low four is a
// driver error. Older kernels set suggestion bits above them, which say nothing of the call.
constexpr unsigned kDriverSense = 0x08;
constexpr unsigned kDriverStatusMask = 0x0F;

ScsiPassThroughHeader HeaderOf(const std::uint8_t* request) {
    ScsiPassThroughHeader h;
    std::memcpy(&h, request, sizeof h);
    return h;
}

bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace

std::optional<std::string> DeviceNodePath(std::u16string_view path) {
    if (!path.empty() && path.front() == u'/') {
        std::string out;
        for (char16_t c : path) {
            if (c == 0 || c > 0x7F)
                return std::nullopt;  // device nodes have ASCII names
            out += static_cast<char>(c);
        }
        return out;
    }
    if (path.size() <= kPhysicalDrive.size() || path.size() > kPhysicalDrive.size() + 3 ||
        path.substr(0, kPhysicalDrive.size()) != kPhysicalDrive)
        return std::nullopt;
    int number = 0;
    for (char16_t c : path.substr(kPhysicalDrive.size())) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        number = number * 10 + (c - u'0');
    }
    std::string letters;
    for (int n = number; n >= 0; n = n / 26 - 1)
        letters.insert(letters.begin(), static_cast<char>('a' + n % 26));
    return "/dev/sd" + letters;
}

std::optional<int> ScsiDiskIndex(std::string_view name) {
    if (name.size() < 3 || name.size() > 5 || name.substr(0, 2) != "sd")
        return std::nullopt;
    int value = 0;
    for (char c : name.substr(2)) {
        if (c < 'a' || c > 'z')
            return std::nullopt;
        value = value * 26 + (c - 'a' + 1);
    }
    return value - 1;
}

std::optional<sg_io_hdr_t> SgRequestFor(std::uint8_t* request, std::uint32_t size,
                                        std::uint8_t* senseBuffer, std::uint8_t senseSize) {
    if (request == nullptr || size < sizeof(ScsiPassThroughHeader))
        return std::nullopt;
    const ScsiPassThroughHeader h = HeaderOf(request);
    if (h.Length != sizeof h || h.CdbLength == 0 || h.CdbLength > sizeof h.Cdb)
        return std::nullopt;
    if (h.DataIn != kScsiIoctlDataIn && h.DataTransferLength != 0)
        return std::nullopt;  // the system only ever reads
    if (!Fits(h.DataBufferOffset, h.DataTransferLength, size) ||
        !Fits(h.SenseInfoOffset, h.SenseInfoLength, size))
        return std::nullopt;

    sg_io_hdr_t sg{};
    sg.interface_id = 'S';
    sg.dxfer_direction = h.DataTransferLength == 0 ? SG_DXFER_NONE : SG_DXFER_FROM_DEV;
    sg.cmd_len = h.CdbLength;
    sg.cmdp = request + offsetof(ScsiPassThroughHeader, Cdb);
    sg.dxfer_len = h.DataTransferLength;
    sg.dxferp = request + h.DataBufferOffset;
    sg.mx_sb_len = std::min(h.SenseInfoLength, senseSize);
    sg.sbp = senseBuffer;
    sg.timeout = h.TimeOutValue * 1000u;
    return sg;
}

bool SgCompleted(const sg_io_hdr_t& done) {
    return done.host_status == 0 && (done.driver_status & kDriverStatusMask & ~kDriverSense) == 0;
}

std::uint32_t SgWriteBack(const sg_io_hdr_t& done, std::uint8_t* request,
                          const std::uint8_t* senseBuffer) {
    ScsiPassThroughHeader h = HeaderOf(request);
    const int resid = std::clamp(done.resid, 0, static_cast<int>(done.dxfer_len));
    const std::uint32_t transferred = done.dxfer_len - static_cast<std::uint32_t>(resid);
    const std::uint8_t sense = std::min<std::uint8_t>(done.sb_len_wr, done.mx_sb_len);
    std::memcpy(request + h.SenseInfoOffset, senseBuffer, sense);
    h.ScsiStatus = done.status;
    h.DataTransferLength = transferred;
    h.SenseInfoLength = sense;
    std::memcpy(request, &h, sizeof h);
    return static_cast<std::uint32_t>(h.DataBufferOffset) + transferred;
}

}  // namespace platform::linux_os
