#include "platform/usb_replies.h"

#include <algorithm>

#include "platform/bytes.h"
#include "platform/usb_requests.h"

namespace platform::usb_reply {
namespace {

// SP_DEVICE_INTERFACE_DATA as the 64-bit layout has it: cbSize, the class, Flags, and the
// Reserved pointer, which holds the interface's index in its set plus one (0 is no interface).
constexpr std::size_t kInterfaceFlagsOffset = 20;
constexpr std::size_t kInterfaceReservedOffset = 24;
constexpr std::uint32_t kInterfaceActive = 1;  // SPINT_ACTIVE
constexpr std::size_t kDetailPathOffset = 4;

bool NameAt(std::u16string_view name, std::size_t fixed, std::size_t lengthOffset,
            std::size_t textOffset, std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (out.size() < fixed)
        return false;  // ERROR_INVALID_PARAMETER
    const std::size_t actual = textOffset + (name.size() + 1) * 2;
    ByteWriter w(out);
    w.At(lengthOffset).U32Le(static_cast<std::uint32_t>(actual));
    std::size_t written = fixed;
    if (out.size() >= actual) {
        w.At(textOffset).Utf16Le(name).U16Le(0);
        written = actual;
    }
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(written);
    return true;
}

}  // namespace

bool TerminatedText(std::u16string_view text, std::span<char16_t> out) {
    if (out.size() < text.size() + 1)
        return false;  // ERROR_FILENAME_EXCED_RANGE
    std::copy(text.begin(), text.end(), out.begin());
    out[text.size()] = u'\0';
    return true;
}

bool StringValue(std::u16string_view text, std::span<std::uint8_t> buffer, std::uint32_t* length) {
    const std::size_t needed = (text.size() + 1) * 2;
    if (length != nullptr)
        *length = static_cast<std::uint32_t>(needed);
    if (buffer.size() < needed)
        return false;
    ByteWriter(buffer).Utf16Le(text).U16Le(0);
    return true;
}

bool MultiText(std::span<const std::u16string> texts, std::span<char16_t> out,
               std::uint32_t* returned) {
    std::u16string list;
    for (const std::u16string& text : texts) {
        list += text;
        list += u'\0';
    }
    list += u'\0';
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(list.size());
    if (out.size() < list.size())
        return false;
    std::copy(list.begin(), list.end(), out.begin());
    return true;
}

void InterfaceData(const Guid& interfaceClass, std::uint32_t index, DeviceInterfaceData* data) {
    std::fill(std::begin(data->bytes), std::end(data->bytes), std::uint8_t{0});
    ByteWriter w(data->bytes);
    w.U32Le(sizeof data->bytes)
        .U32Le(interfaceClass.data1)
        .U16Le(interfaceClass.data2)
        .U16Le(interfaceClass.data3)
        .Bytes(interfaceClass.data4);
    w.At(kInterfaceFlagsOffset).U32Le(kInterfaceActive);
    w.At(kInterfaceReservedOffset).U32Le(index + 1).U32Le(0);
}

std::optional<std::uint32_t> InterfaceIndex(const DeviceInterfaceData* data) {
    if (data == nullptr)
        return std::nullopt;
    ByteReader r(data->bytes);
    if (r.U32Le() != sizeof data->bytes)
        return std::nullopt;
    const std::uint64_t index = r.At(kInterfaceReservedOffset).U64Le();
    if (index == 0 || index > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<std::uint32_t>(index - 1);
}

std::uint32_t InterfaceDetailSize(std::u16string_view devicePath) {
    return static_cast<std::uint32_t>(kDetailPathOffset + (devicePath.size() + 1) * 2);
}

bool InterfaceDetail(std::u16string_view devicePath, std::uint32_t detailSize,
                     std::span<char16_t> out) {
    if (detailSize < InterfaceDetailSize(devicePath))
        return false;  // ERROR_INSUFFICIENT_BUFFER
    if (!out.empty()) {
        const std::size_t n = std::min(devicePath.size(), out.size() - 1);
        std::copy_n(devicePath.begin(), n, out.begin());
        out[n] = u'\0';
    }
    return true;
}

bool Name(std::u16string_view name, std::span<std::uint8_t> out, std::uint32_t* returned) {
    return NameAt(name, kUsbNameFixedSize, kUsbNameActualLengthOffset, kUsbNameTextOffset, out,
                  returned);
}

bool ConnectionName(std::uint32_t port, std::u16string_view name, std::span<std::uint8_t> out,
                    std::uint32_t* returned) {
    if (!NameAt(name, kUsbConnectionNameFixedSize, kUsbConnectionNameActualLengthOffset,
                kUsbConnectionNameTextOffset, out, returned))
        return false;
    ByteWriter(out).At(kUsbConnectionNameIndexOffset).U32Le(port);
    return true;
}

bool NodeInformation(const HubNode& hub, std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (out.size() < kUsbNodeInformationSize)
        return false;
    std::fill_n(out.begin(), kUsbNodeInformationSize, std::uint8_t{0});
    ByteWriter w(out);
    w.At(kUsbNodeTypeOffset)
        .U32Le(kUsbHubNode)
        .U8(9)     // bDescriptorLength
        .U8(0x29)  // hub descriptor
        .U8(hub.ports)
        .U16Le(hub.characteristics)
        .U8(hub.powerOnToPowerGood)
        .U8(hub.controlCurrent);
    w.At(kUsbHubIsBusPoweredOffset).U8(hub.busPowered ? 1 : 0);
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(kUsbNodeInformationSize);
    return true;
}

bool ConnectionInformation(const Connection& c, std::span<std::uint8_t> out,
                           std::uint32_t* returned) {
    if (out.size() < kUsbPipeListOffset)
        return false;
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    ByteWriter w(out);
    w.At(kUsbConnectionIndexOffset).U32Le(c.port);
    if (c.device) {
        const DeviceDescriptor& d = *c.device;
        w.U8(static_cast<std::uint8_t>(kUsbDeviceDescriptorSize))
            .U8(1)  // device descriptor
            .U16Le(d.bcdUsb)
            .U8(d.deviceClass)
            .U8(d.deviceSubClass)
            .U8(d.deviceProtocol)
            .U8(d.maxPacketSize0)
            .U16Le(d.vendorId)
            .U16Le(d.productId)
            .U16Le(d.bcdDevice)
            .U8(d.iManufacturer)
            .U8(d.iProduct)
            .U8(d.iSerialNumber)
            .U8(d.numConfigurations);
    }
    w.At(kUsbCurrentConfigurationOffset)
        .U8(c.currentConfiguration)
        .U8(c.lowSpeed ? 1 : 0)
        .U8(c.deviceIsHub ? 1 : 0)
        .U16Le(c.address)
        .U32Le(c.openPipes)
        .U32Le(c.status);
    const std::size_t pipes =
        std::min(c.pipes.size(), (out.size() - kUsbPipeListOffset) / kUsbPipeInfoSize);
    for (std::size_t p = 0; p < pipes; ++p) {
        const Pipe& pipe = c.pipes[p];
        w.At(kUsbPipeListOffset + p * kUsbPipeInfoSize)
            .U8(7)  // bLength
            .U8(5)  // endpoint descriptor
            .U8(pipe.endpointAddress)
            .U8(pipe.attributes)
            .U16Le(pipe.maxPacketSize)
            .U8(pipe.interval)
            .U32Le(0);
    }
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(kUsbPipeListOffset + pipes * kUsbPipeInfoSize);
    return true;
}

std::vector<std::uint8_t> StringDescriptor(std::u16string_view text) {
    const std::size_t units = std::min<std::size_t>(text.size(), 126);
    std::vector<std::uint8_t> bytes(2 + units * 2);
    ByteWriter(bytes)
        .U8(static_cast<std::uint8_t>(bytes.size()))
        .U8(kUsbStringDescriptorType)
        .Utf16Le(text.substr(0, units));
    return bytes;
}

std::vector<std::uint8_t> LanguageDescriptor(std::uint16_t langId) {
    return {4, kUsbStringDescriptorType, static_cast<std::uint8_t>(langId & 0xFF),
            static_cast<std::uint8_t>(langId >> 8)};
}

std::optional<std::uint16_t> DescriptorValue(std::span<const std::uint8_t> request) {
    if (request.size() < kUsbDescriptorDataOffset)
        return std::nullopt;
    return ByteReader(request).At(kUsbSetupWValueOffset).U16Le();
}

bool Descriptor(std::span<const std::uint8_t> request, std::span<const std::uint8_t> descriptor,
                std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (request.size() < kUsbDescriptorDataOffset || out.size() < kUsbDescriptorDataOffset)
        return false;
    const std::uint16_t wLength = ByteReader(request).At(kUsbSetupWLengthOffset).U16Le();
    const std::size_t n =
        std::min({descriptor.size(), std::size_t{wLength}, out.size() - kUsbDescriptorDataOffset});
    // The request may be the buffer itself, which then holds it already.
    if (request.data() != out.data())
        std::copy_n(request.begin(), kUsbDescriptorDataOffset, out.begin());
    std::copy_n(descriptor.begin(), n, out.begin() + kUsbDescriptorDataOffset);
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(kUsbDescriptorDataOffset + n);
    return true;
}

bool DeviceNumber(std::uint32_t deviceType, std::uint32_t number, std::uint32_t partition,
                  std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (out.size() < kStorageDeviceNumberSize)
        return false;
    ByteWriter(out).At(kStorageDeviceTypeOffset).U32Le(deviceType).U32Le(number).U32Le(partition);
    if (returned != nullptr)
        *returned = static_cast<std::uint32_t>(kStorageDeviceNumberSize);
    return true;
}

}  // namespace platform::usb_reply
