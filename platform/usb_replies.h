// The replies, in bytes, of the calls of platform/usb_io.h and the requests of
// platform/usb_requests.h, for the backends that answer them without Windows (the virtual
// station, Linux). Each function writes one reply into the caller's buffer by Windows' rules for
// a buffer too small, and holds no state: what to answer is the backend's, how it reads is here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_io.h"
#include "platform/usb_requests.h"

namespace platform::usb_reply {

// ---- Texts and registry values ----------------------------------------------------------------

// A zero-terminated text (a volume name); false when it and its terminator do not fit.
bool TerminatedText(std::u16string_view text, std::span<char16_t> out);

// A REG_SZ value or a driver property: UTF-16LE with its terminator, counted in *length, which
// gets the size needed even when the buffer is too small (ERROR_MORE_DATA, CR_BUFFER_SMALL).
bool StringValue(std::u16string_view text, std::span<std::uint8_t> buffer, std::uint32_t* length);

// Zero-terminated texts ended by an empty one (GetVolumePathNamesForVolumeNameW); *returned gets
// the units needed, also when they do not fit (ERROR_MORE_DATA).
bool MultiText(std::span<const std::u16string> texts, std::span<char16_t> out,
               std::uint32_t* returned);

// ---- The interface-class walk -----------------------------------------------------------------

// SP_DEVICE_INTERFACE_DATA of the interface at `index` of its set: cbSize, the class, Flags
// (active), and the index in Reserved.
void InterfaceData(const Guid& interfaceClass, std::uint32_t index, DeviceInterfaceData* data);
// The index InterfaceData put in; nullopt for data it did not fill.
std::optional<std::uint32_t> InterfaceIndex(const DeviceInterfaceData* data);
// The RequiredSize of SP_DEVICE_INTERFACE_DETAIL_DATA_W for a device path: cbSize, then the
// terminated path (DevicePath sits at 4 on x86 and x64 alike).
std::uint32_t InterfaceDetailSize(std::u16string_view devicePath);
// The second detail call: false when `detailSize` is below that size; else the path, cut to
// `out` and terminated (nothing for an empty `out`).
bool InterfaceDetail(std::u16string_view devicePath, std::uint32_t detailSize,
                     std::span<char16_t> out);

// ---- Hub and host-controller requests ---------------------------------------------------------

// USB_HCD_DRIVERKEY_NAME and USB_ROOT_HUB_NAME: ActualLength counts the whole structure with the
// terminated name; a buffer of the fixed part but too small for the name gets ActualLength alone
// and the call succeeds with the fixed part.
bool Name(std::u16string_view name, std::span<std::uint8_t> out, std::uint32_t* returned);
// USB_NODE_CONNECTION_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME, the same way, for a port.
bool ConnectionName(std::uint32_t port, std::u16string_view name, std::span<std::uint8_t> out,
                    std::uint32_t* returned);

// What USB_NODE_INFORMATION says of a hub.
struct HubNode {
    std::uint8_t ports = 0;
    std::uint16_t characteristics = 0;  // wHubCharacteristics
    std::uint8_t powerOnToPowerGood = 0;
    std::uint8_t controlCurrent = 0;
    bool busPowered = false;
};
bool NodeInformation(const HubNode& hub, std::span<std::uint8_t> out, std::uint32_t* returned);

// USB_DEVICE_DESCRIPTOR, as the connection information carries it.
struct DeviceDescriptor {
    std::uint16_t bcdUsb = 0;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t maxPacketSize0 = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::uint8_t iManufacturer = 0;
    std::uint8_t iProduct = 0;
    std::uint8_t iSerialNumber = 0;
    std::uint8_t numConfigurations = 0;
};

// One USB_PIPE_INFO: its endpoint descriptor and schedule offset 0.
struct Pipe {
    std::uint8_t endpointAddress = 0;
    std::uint8_t attributes = 0;
    std::uint16_t maxPacketSize = 0;
    std::uint8_t interval = 0;
};

// USB_NODE_CONNECTION_INFORMATION of a port: zeros but the port and its status when nothing is
// on it. The pipes are written as far as the buffer holds whole ones.
struct Connection {
    std::uint32_t port = 0;
    std::optional<DeviceDescriptor> device;
    std::uint8_t currentConfiguration = 0;
    bool lowSpeed = false;
    bool deviceIsHub = false;
    std::uint16_t address = 0;
    std::uint32_t openPipes = 0;
    std::uint32_t status = kUsbNoDeviceConnected;
    std::vector<Pipe> pipes;
};
bool ConnectionInformation(const Connection& connection, std::span<std::uint8_t> out,
                           std::uint32_t* returned);

// A string descriptor: bLength, type 3, the text in UTF-16LE, at most 126 units.
std::vector<std::uint8_t> StringDescriptor(std::u16string_view text);
// The string descriptor 0: the one language a device offers.
std::vector<std::uint8_t> LanguageDescriptor(std::uint16_t langId);
// The wValue asked for by a USB_DESCRIPTOR_REQUEST; nullopt when it is too short.
std::optional<std::uint16_t> DescriptorValue(std::span<const std::uint8_t> request);
// A USB_DESCRIPTOR_REQUEST answered: the request's fixed part as it came, then the descriptor
// cut to wLength and to the buffer.
bool Descriptor(std::span<const std::uint8_t> request, std::span<const std::uint8_t> descriptor,
                std::span<std::uint8_t> out, std::uint32_t* returned);

// ---- Storage requests -------------------------------------------------------------------------

// STORAGE_DEVICE_NUMBER.
bool DeviceNumber(std::uint32_t deviceType, std::uint32_t number, std::uint32_t partition,
                  std::span<std::uint8_t> out, std::uint32_t* returned);

}  // namespace platform::usb_reply
