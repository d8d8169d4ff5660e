// The plain parts of the USB walk: registry keys built from names, descriptions taken from
// registry values, and every hub, controller and storage request built and parsed in bytes.
// Nothing here talks to the machine; the walk in enum_usb.cpp does, through these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/usb_io.h"
#include "platform/usb_requests.h"
#include "usb/enum_usb.h"

namespace usb {

// ---- Limits of what the walk keeps ----------------------------------------------------------

inline constexpr std::size_t kDescriptionBytes = 520;  // "DeviceDesc", controller "DriverDesc"
inline constexpr std::size_t kDeviceDriverDescBytes = 60;
// A node's driver property is compared with driver keys: room for the longest, terminated.
inline constexpr std::size_t kDriverPropertyBytes = (kMaxNameChars + 1) * 2;
inline constexpr std::size_t kPathUnits = 260;

using platform::kClassKeyPrefix;
using platform::kEnumKeyPrefix;
inline constexpr std::u16string_view kDevicePathPrefix = u"\\\\.\\";
static_assert(kDevicePathPrefix.size() == kDevicePathPrefixChars);

// ---- Registry keys and values --------------------------------------------------------------

// The Enum key of a hub from its symbolic name: every "#" becomes "\" and the key ends where
// the last one was, dropping the interface class behind it. A name without "#" stays whole.
std::u16string HubEnumKey(std::u16string_view symbolicName);

// The class key of a driver key name.
std::u16string ClassKey(std::u16string_view driverKey);

// The text after the first ";", or the whole value without one.
std::u16string_view DescriptionAfterSemicolon(std::u16string_view value);

// A string value as the registry returned it: the UTF-16LE units of the first `length` bytes
// (bounded by the buffer), up to the first NUL. A value without terminator ends with its bytes.
std::u16string RegistryText(std::span<const std::uint8_t> buffer, std::uint32_t length);

// Copies `text` with its terminator into `field`, zero-filling the rest; false (and the field
// left empty) when it does not fit.
bool CopyTerminated(std::span<char16_t> field, std::u16string_view text);

// ---- Requests ------------------------------------------------------------------------------

// Sends a request whose buffer is both input and output; *returned receives the byte count.
using Control = std::function<bool(std::span<std::uint8_t> buffer, std::uint32_t* returned)>;

// The two-call fetch of a variable-length name: the fixed structure alone first, for its
// ActualLength; then a buffer of that many bytes. Nothing when either call fails, the length
// is no greater than the fixed structure, or the name would be longer than kMaxNameChars.
// `connectionIndex`: for the two per-port names.
std::optional<std::u16string> FetchControllerName(const Control& control);
std::optional<std::u16string> FetchConnectionName(const Control& control,
                                                  std::uint32_t connectionIndex);

// USB_NODE_INFORMATION: the request is all zero; the reply gives bNumberOfPorts.
std::array<std::uint8_t, platform::kUsbNodeInformationSize> NodeInformationRequest();
int NumberOfPorts(std::span<const std::uint8_t> reply);

struct ConnectionInformation {
    std::uint32_t status = platform::kUsbNoDeviceConnected;
    bool deviceIsHub = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t manufacturerIndex = 0;
    std::uint8_t productIndex = 0;
    std::uint8_t serialNumberIndex = 0;
};

std::array<std::uint8_t, platform::kUsbNodeConnectionInformationSize> ConnectionInformationRequest(
    std::uint32_t port);
ConnectionInformation ParseConnectionInformation(std::span<const std::uint8_t> reply);

// USB_DESCRIPTOR_REQUEST for string descriptor `index` in language `langId`.
using DescriptorRequest = std::array<std::uint8_t, platform::kUsbDescriptorRequestSize>;
DescriptorRequest StringDescriptorRequest(std::uint32_t port, std::uint8_t index,
                                          std::uint16_t langId);

// Takes the string descriptor from a reply of `returned` bytes into `destination` (its whole
// size in bytes, the descriptor's text and then zeros), when the reply holds a well-formed
// string descriptor; false (destination untouched) otherwise. Bytes past what the reply
// returned count as zero.
bool TakeStringDescriptor(const DescriptorRequest& reply, std::uint32_t returned,
                          std::span<std::uint8_t> destination);

// STORAGE_DEVICE_NUMBER: DeviceNumber, when the reply is whole.
std::optional<std::uint32_t> StorageDeviceNumber(std::span<const std::uint8_t> reply,
                                                 std::uint32_t returned);

}  // namespace usb
