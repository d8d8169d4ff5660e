#include "usb/usb_walk.h"

#include <algorithm>
#include <vector>

#include "platform/bytes.h"
#include "platform/text.h"

namespace usb {

using platform::ByteReader;
using platform::ByteWriter;

std::u16string HubEnumKey(std::u16string_view symbolicName) {
    std::u16string key(kEnumKeyPrefix);
    key += symbolicName;
    std::size_t last = std::u16string::npos;
    for (std::size_t i = kEnumKeyPrefix.size(); i < key.size(); ++i) {
        if (key[i] == u'#') {
            key[i] = u'\\';
            last = i;
        }
    }
    if (last != std::u16string::npos)
        key.resize(last);
    return key;
}

std::u16string ClassKey(std::u16string_view driverKey) {
    std::u16string key(kClassKeyPrefix);
    key += driverKey;
    return key;
}

std::u16string_view DescriptionAfterSemicolon(std::u16string_view value) {
    const std::size_t semicolon = value.find(u';');
    return semicolon == std::u16string_view::npos ? value : value.substr(semicolon + 1);
}

std::u16string RegistryText(std::span<const std::uint8_t> buffer, std::uint32_t length) {
    ByteReader reader(buffer.first(std::min<std::size_t>(buffer.size(), length)));
    return std::u16string(platform::UpToNul(reader.Utf16Le(reader.Remaining() / 2)));
}

bool CopyTerminated(std::span<char16_t> field, std::u16string_view text) {
    std::fill(field.begin(), field.end(), u'\0');
    if (text.size() >= field.size())
        return false;
    std::copy(text.begin(), text.end(), field.begin());
    return true;
}

namespace {

struct NameLayout {
    std::size_t fixedSize;
    std::size_t actualLengthOffset;
    std::size_t textOffset;
    bool hasConnectionIndex;
};

std::optional<std::u16string> FetchName(const Control& control, const NameLayout& layout,
                                        std::uint32_t connectionIndex) {
    std::vector<std::uint8_t> fixed(layout.fixedSize, 0);
    if (layout.hasConnectionIndex)
        ByteWriter(fixed).U32Le(connectionIndex);
    std::uint32_t returned = 0;
    if (!control(fixed, &returned))
        return std::nullopt;
    ByteReader head(fixed);
    const std::uint32_t actualLength = head.At(layout.actualLengthOffset).U32Le();
    // The length comes from the driver: nothing longer than a name can be is allocated.
    if (!head.Ok() || actualLength <= layout.fixedSize ||
        actualLength > layout.textOffset + (kMaxNameChars + 1) * 2)
        return std::nullopt;

    std::vector<std::uint8_t> full(actualLength, 0);
    if (layout.hasConnectionIndex)
        ByteWriter(full).U32Le(connectionIndex);
    if (!control(full, &returned))
        return std::nullopt;
    ByteReader text(full);
    text.At(layout.textOffset);
    std::u16string name(platform::UpToNul(text.Utf16Le(text.Remaining() / 2)));
    // A reply without terminator could hold one unit more than the longest name.
    if (name.size() > kMaxNameChars)
        return std::nullopt;
    return name;
}

}  // namespace

std::optional<std::u16string> FetchControllerName(const Control& control) {
    return FetchName(control,
                     {platform::kUsbNameFixedSize, platform::kUsbNameActualLengthOffset,
                      platform::kUsbNameTextOffset, false},
                     0);
}

std::optional<std::u16string> FetchConnectionName(const Control& control,
                                                  std::uint32_t connectionIndex) {
    return FetchName(
        control,
        {platform::kUsbConnectionNameFixedSize, platform::kUsbConnectionNameActualLengthOffset,
         platform::kUsbConnectionNameTextOffset, true},
        connectionIndex);
}

std::array<std::uint8_t, platform::kUsbNodeInformationSize> NodeInformationRequest() {
    return {};
}

int NumberOfPorts(std::span<const std::uint8_t> reply) {
    ByteReader reader(reply);
    return reader.At(platform::kUsbHubNumberOfPortsOffset).U8();
}

std::array<std::uint8_t, platform::kUsbNodeConnectionInformationSize> ConnectionInformationRequest(
    std::uint32_t port) {
    std::array<std::uint8_t, platform::kUsbNodeConnectionInformationSize> request{};
    ByteWriter(request).At(platform::kUsbConnectionIndexOffset).U32Le(port);
    return request;
}

ConnectionInformation ParseConnectionInformation(std::span<const std::uint8_t> reply) {
    ByteReader r(reply);
    ConnectionInformation info;
    info.vendorId = r.At(platform::kUsbIdVendorOffset).U16Le();
    info.productId = r.At(platform::kUsbIdProductOffset).U16Le();
    info.manufacturerIndex = r.At(platform::kUsbIManufacturerOffset).U8();
    info.productIndex = r.At(platform::kUsbIProductOffset).U8();
    info.serialNumberIndex = r.At(platform::kUsbISerialNumberOffset).U8();
    info.deviceIsHub = r.At(platform::kUsbDeviceIsHubOffset).U8() != 0;
    info.status = r.At(platform::kUsbConnectionStatusOffset).U32Le();
    // A reply too short for its fields tells nothing: the port counts as empty.
    return r.Ok() ? info : ConnectionInformation{};
}

DescriptorRequest StringDescriptorRequest(std::uint32_t port, std::uint8_t index,
                                          std::uint16_t langId) {
    DescriptorRequest request{};
    ByteWriter(request)
        .At(platform::kUsbDescriptorConnectionIndexOffset)
        .U32Le(port)
        .At(platform::kUsbSetupWValueOffset)
        .U16Le(static_cast<std::uint16_t>(platform::kUsbStringDescriptorType << 8 | index))
        .U16Le(langId)
        .U16Le(static_cast<std::uint16_t>(platform::kUsbDescriptorRequestSize -
                                          platform::kUsbDescriptorDataOffset));
    return request;
}

bool TakeStringDescriptor(const DescriptorRequest& reply, std::uint32_t returned,
                          std::span<std::uint8_t> destination) {
    if (returned < 2)
        return false;
    const std::size_t held = std::min<std::size_t>(returned, reply.size());
    ByteReader r(std::span<const std::uint8_t>(reply).first(held));
    const std::uint8_t bLength = r.At(platform::kUsbDescriptorDataOffset).U8();
    const std::uint8_t bDescriptorType = r.U8();
    if (!r.Ok() || bDescriptorType != platform::kUsbStringDescriptorType ||
        static_cast<std::int64_t>(bLength) != static_cast<std::int64_t>(returned) - 12 ||
        bLength % 2 != 0)
        return false;
    const std::span<const std::uint8_t> text = r.Bytes(std::min(destination.size(), r.Remaining()));
    std::fill(destination.begin(), destination.end(), std::uint8_t{0});
    std::copy(text.begin(), text.end(), destination.begin());
    return true;
}

std::optional<std::uint32_t> StorageDeviceNumber(std::span<const std::uint8_t> reply,
                                                 std::uint32_t returned) {
    if (returned < platform::kStorageDeviceNumberOffset + 4)
        return std::nullopt;
    ByteReader r(reply);
    const std::uint32_t number = r.At(platform::kStorageDeviceNumberOffset).U32Le();
    return r.Ok() ? std::optional(number) : std::nullopt;
}

}  // namespace usb
