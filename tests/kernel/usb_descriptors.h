// The flash disk's side of the control endpoint: its descriptors (one configuration, one
// bulk-only mass-storage interface, two bulk endpoints) and the answers to the standard and
// class requests the emulator passes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kernel_test {

inline constexpr std::uint16_t kMaxPacket = 64;  // full speed: what a hub's port carries

struct UsbDescriptors {
    std::uint16_t vendorId = 0x1234;
    std::uint16_t productId = 0x7730;
    std::uint16_t deviceVersion = 0x0100;
    std::string manufacturer = "Tavrin";
    std::string product = "Test Flash Disk";
    std::string serial;
};

// Disk N of a station file: its serial number and device version tell the disks apart.
UsbDescriptors DescriptorsFor(int diskNumber);

struct ControlAnswer {
    bool stall = false;
    std::vector<std::uint8_t> bytes;  // of a request that reads, at most its length
    bool resetsTransport = false;     // the class's bulk-only reset
};

ControlAnswer AnswerControl(const UsbDescriptors& device, std::uint8_t requestType,
                            std::uint8_t request, std::uint16_t value,
                            std::uint16_t length);

}  // namespace kernel_test
