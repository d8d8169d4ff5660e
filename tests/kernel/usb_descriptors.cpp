#include "tests/kernel/usb_descriptors.h"

#include <algorithm>
#include <cstdio>

#include "platform/bytes.h"

namespace kernel_test {
namespace {

constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kBulkOnlyReset = 0xFF;
constexpr std::uint8_t kGetMaxLun = 0xFE;

std::vector<std::uint8_t> DeviceDescriptor(const UsbDescriptors& d) {
    std::vector<std::uint8_t> out(18);
    platform::ByteWriter(out)
        .U8(18)
        .U8(0x01)
        .U16Le(0x0200)
        .U8(0)
        .U8(0)
        .U8(0)
        .U8(kMaxPacket)
        .U16Le(d.vendorId)
        .U16Le(d.productId)
        .U16Le(d.deviceVersion)
        .U8(1)
        .U8(2)
        .U8(3)
        .U8(1);
    return out;
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
    return {
        9,    0x02, 32,   0,    1,          1,    0,
        0x80, 50,  // one interface, bus powered, 100 mA
        9,    0x04, 0,    0,    2,          0x08, 0x06,
        0x50, 0,                                      // mass storage, SCSI, bulk-only
        7,    0x05, 0x81, 0x02, kMaxPacket, 0,    0,  // bulk IN
        7,    0x05, 0x02, 0x02, kMaxPacket, 0,    0,  // bulk OUT
    };
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

}  // namespace

UsbDescriptors DescriptorsFor(int diskNumber) {
    UsbDescriptors d;
    char serial[32];
    std::snprintf(serial, sizeof serial, "TAVRIN%06d", diskNumber);
    d.serial = serial;
    d.deviceVersion = static_cast<std::uint16_t>(0x0100 + (diskNumber & 0xFF));
    return d;
}

ControlAnswer AnswerControl(const UsbDescriptors& device, std::uint8_t requestType,
                            std::uint8_t request, std::uint16_t value,
                            std::uint16_t length) {
    ControlAnswer answer;
    const std::uint8_t kind = requestType & 0x60;
    if (kind == 0x20 && requestType == 0xA1 && request == kGetMaxLun) {
        answer.bytes = {0};  // one logical unit
    } else if (kind == 0x20 && requestType == 0x21 && request == kBulkOnlyReset) {
        answer.resetsTransport = true;
    } else if (kind != 0x00) {
        answer.stall = true;
    } else if (request == kGetDescriptor && requestType == 0x80) {
        const std::uint8_t type = value >> 8;
        const std::uint8_t which = value & 0xFF;
        if (type == 0x01 && which == 0) {
            answer.bytes = DeviceDescriptor(device);
        } else if (type == 0x02 && which == 0) {
            answer.bytes = ConfigurationDescriptor();
        } else if (type == 0x03 && which == 0) {
            answer.bytes = {4, 0x03, 0x09, 0x04};  // English (United States)
        } else if (type == 0x03 && which >= 1 && which <= 3) {
            const std::string* texts[] = {&device.manufacturer, &device.product, &device.serial};
            answer.bytes = StringDescriptor(*texts[which - 1]);
        } else {
            answer.stall = true;
        }
    } else if (request == kGetStatus) {
        answer.bytes = {0, 0};
    } else if (request != kClearFeature && request != kSetFeature) {
        answer.stall = true;
    }
    if (answer.bytes.size() > length)
        answer.bytes.resize(length);
    return answer;
}

}  // namespace kernel_test
