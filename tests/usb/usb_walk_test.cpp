#include "usb/usb_walk.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace {

using platform::ByteWriter;

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes(text.size() * 2);
    ByteWriter(bytes).Utf16Le(text);
    return bytes;
}

TEST(UsbWalkTest, RegistryKeysAndValuesFromNames) {
    EXPECT_EQ(usb::HubEnumKey(u"USB#ROOT_HUB30#4&1a2b&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"),
              u"SYSTEM\\CurrentControlSet\\Enum\\USB\\ROOT_HUB30\\4&1a2b&0");
    EXPECT_EQ(usb::HubEnumKey(u"USB#VID_05E3&PID_0608#5&2&0&3#{guid}"),
              u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_05E3&PID_0608\\5&2&0&3");
    EXPECT_EQ(usb::HubEnumKey(u"PLAIN"), u"SYSTEM\\CurrentControlSet\\Enum\\PLAIN");
    EXPECT_EQ(usb::ClassKey(u"{36fc9e60-c465-11cf-8056-444553540000}\\0012"),
              u"SYSTEM\\CurrentControlSet\\Control\\Class\\{36fc9e60-c465-11cf-8056-444553540000}"
              u"\\0012");

    EXPECT_EQ(usb::DescriptionAfterSemicolon(u"@usb.inf,%usb\\roothub%;USB Root Hub (USB 3.0)"),
              u"USB Root Hub (USB 3.0)");
    EXPECT_EQ(usb::DescriptionAfterSemicolon(u"a;b;c"), u"b;c");
    EXPECT_EQ(usb::DescriptionAfterSemicolon(u"Generic Hub"), u"Generic Hub");
    EXPECT_EQ(usb::DescriptionAfterSemicolon(u"ends;"), u"");

    // With its terminator, without one, an odd trailing byte, a length beyond the buffer.
    std::vector<std::uint8_t> value = Utf16Bytes(std::u16string(u"Disk\0junk", 9));
    EXPECT_EQ(usb::RegistryText(value, static_cast<std::uint32_t>(value.size())), u"Disk");
    value = Utf16Bytes(u"Full");
    EXPECT_EQ(usb::RegistryText(value, 8), u"Full");
    EXPECT_EQ(usb::RegistryText(value, 7), u"Ful");
    EXPECT_EQ(usb::RegistryText(value, 1000), u"Full");
    EXPECT_EQ(usb::RegistryText(value, 0), u"");

    std::array<char16_t, 4> field;
    field.fill(u'x');
    EXPECT_TRUE(usb::CopyTerminated(field, u"abc"));
    EXPECT_EQ(field, (std::array<char16_t, 4>{u'a', u'b', u'c', 0}));
    EXPECT_TRUE(usb::CopyTerminated(field, u"a"));
    EXPECT_EQ(field, (std::array<char16_t, 4>{u'a', 0, 0, 0}));
    EXPECT_FALSE(usb::CopyTerminated(field, u"abcd"));
    EXPECT_EQ(field, (std::array<char16_t, 4>{}));
}

// A device answering the name requests the way the platform does: a buffer of just the fixed
// structure gets ActualLength, a larger one the name.
struct NameDevice {
    std::size_t textOffset;
    std::u16string name;
    std::uint32_t actualLength;
    bool failFirst = false;
    bool failSecond = false;
    std::vector<std::size_t> sizes{};
    std::vector<std::uint32_t> indexes{};

    usb::Control control() {
        return [this](std::span<std::uint8_t> buffer, std::uint32_t* returned) {
            sizes.push_back(buffer.size());
            if (textOffset == platform::kUsbConnectionNameTextOffset)
                indexes.push_back(platform::ByteReader(buffer).U32Le());
            const bool first = sizes.size() == 1;
            if ((first && failFirst) || (!first && failSecond))
                return false;
            ByteWriter out(buffer);
            out.At(textOffset - 4).U32Le(actualLength);
            if (!first)
                out.Utf16Le(name.substr(0, (buffer.size() - textOffset) / 2));
            *returned = static_cast<std::uint32_t>(first ? buffer.size() : actualLength);
            return true;
        };
    }
};

TEST(UsbWalkTest, VariableLengthNamesTakeTwoCallsAndGiveUpOnEveryFailure) {
    NameDevice hcd{4, std::u16string(u"{36fc9e60}\\0003\0", 16), 4 + 16 * 2};
    EXPECT_EQ(usb::FetchControllerName(hcd.control()), u"{36fc9e60}\\0003");
    EXPECT_EQ(hcd.sizes, (std::vector<std::size_t>{6, 36}));

    NameDevice connection{8, std::u16string(u"USB#HUB#1#{g}\0", 14), 8 + 14 * 2};
    EXPECT_EQ(usb::FetchConnectionName(connection.control(), 3), u"USB#HUB#1#{g}");
    EXPECT_EQ(connection.sizes, (std::vector<std::size_t>{10, 36}));
    EXPECT_EQ(connection.indexes, (std::vector<std::uint32_t>{3, 3}));

    // ActualLength no greater than the fixed structure: no second call.
    NameDevice empty{8, u"", 10};
    EXPECT_FALSE(usb::FetchConnectionName(empty.control(), 1));
    EXPECT_EQ(empty.sizes.size(), 1u);
    NameDevice failsFirst{4, u"x", 8, true};
    EXPECT_FALSE(usb::FetchControllerName(failsFirst.control()));
    EXPECT_EQ(failsFirst.sizes.size(), 1u);
    NameDevice failsSecond{4, u"x", 8, false, true};
    EXPECT_FALSE(usb::FetchControllerName(failsSecond.control()));
    EXPECT_EQ(failsSecond.sizes.size(), 2u);
    // The longest name any registry key can take (two key names of 255 and their separator)
    // comes whole; a longer one is no name the system would give, and is not fetched.
    const std::u16string longest(511, u'k');
    NameDevice widest{8, longest + u'\0', 8 + 512 * 2};
    EXPECT_EQ(usb::FetchConnectionName(widest.control(), 2), longest);
    NameDevice wider{8, longest + u"k", 8 + 513 * 2};
    EXPECT_FALSE(usb::FetchConnectionName(wider.control(), 2));
    EXPECT_EQ(wider.sizes.size(), 1u);
    NameDevice unterminatedWider{8, longest + u"k", 8 + 512 * 2};
    EXPECT_FALSE(usb::FetchConnectionName(unterminatedWider.control(), 2));
    // A length the device made up is never allocated.
    NameDevice huge{4, u"x", 0xFFFFFFF0u};
    EXPECT_FALSE(usb::FetchControllerName(huge.control()));
    EXPECT_EQ(huge.sizes.size(), 1u);
    // A name without terminator ends with the buffer.
    NameDevice unterminated{4, u"ABC", 4 + 6};
    EXPECT_EQ(usb::FetchControllerName(unterminated.control()), u"ABC");
}

TEST(UsbWalkTest, HubRepliesParsedFromTheirBytes) {
    auto node = usb::NodeInformationRequest();
    EXPECT_EQ(node, (decltype(node){}));
    // bNumberOfPorts follows NodeType (4 bytes) and the hub descriptor's length and type bytes.
    node[6] = 4;
    EXPECT_EQ(usb::NumberOfPorts(node), 4);

    auto request = usb::ConnectionInformationRequest(0x01020304);
    EXPECT_EQ((std::vector<std::uint8_t>(request.begin(), request.begin() + 5)),
              (std::vector<std::uint8_t>{4, 3, 2, 1, 0}));

    // A recorded reply: a flash disk 0x1234:0xABCD with strings 1, 2, 3, connected.
    auto reply = request;
    ByteWriter(reply)
        .At(4)
        .Bytes(std::vector<std::uint8_t>{18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x34, 0x12, 0xCD, 0xAB,
                                         0x00, 0x01, 1, 2, 3, 1})
        .U8(1)      // CurrentConfigurationValue
        .U8(0)      // LowSpeed
        .U8(0)      // DeviceIsHub
        .U16Le(5)   // DeviceAddress
        .U32Le(2)   // NumberOfOpenPipes
        .U32Le(1);  // ConnectionStatus
    usb::ConnectionInformation info = usb::ParseConnectionInformation(reply);
    EXPECT_EQ(info.status, 1u);
    EXPECT_FALSE(info.deviceIsHub);
    EXPECT_EQ(info.vendorId, 0x1234);
    EXPECT_EQ(info.productId, 0xABCD);
    EXPECT_EQ(info.manufacturerIndex, 1);
    EXPECT_EQ(info.productIndex, 2);
    EXPECT_EQ(info.serialNumberIndex, 3);
    reply[24] = 1;  // DeviceIsHub
    reply[31] = 2;  // ConnectionStatus
    info = usb::ParseConnectionInformation(reply);
    EXPECT_TRUE(info.deviceIsHub);
    EXPECT_EQ(info.status, 2u);
    // Too short for its status: empty.
    EXPECT_EQ(usb::ParseConnectionInformation(std::span(reply).first(34)).status, 0u);

    std::array<std::uint8_t, 12> number{};
    ByteWriter(number).U32Le(7).U32Le(3).U32Le(0);
    EXPECT_EQ(usb::StorageDeviceNumber(number, 12), 3u);
    EXPECT_FALSE(usb::StorageDeviceNumber(number, 4));
}

TEST(UsbWalkTest, StringDescriptorRequestAndItsAcceptance) {
    const usb::DescriptorRequest request = usb::StringDescriptorRequest(2, 3, 0x0409);
    const std::vector<std::uint8_t> header(request.begin(), request.begin() + 12);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0, 3, 3, 0x09, 0x04, 255, 0}));
    EXPECT_TRUE(std::all_of(request.begin() + 12, request.end(), [](auto b) { return b == 0; }));

    // The reply echoes the header; the descriptor follows it.
    auto reply = [&](std::uint8_t bLength, std::uint8_t type, std::u16string_view text) {
        usb::DescriptorRequest r = request;
        ByteWriter(r).At(12).U8(bLength).U8(type).Utf16Le(text);
        return r;
    };
    std::array<std::uint8_t, 18> field{};  // manufacturer: 9 units
    auto units = [&] {
        std::u16string s(9, u'\0');
        platform::ByteReader r(field);
        for (auto& u : s)
            u = r.U16Le();
        return s;
    };

    const std::u16string nine = u"Kingstone";  // exactly 9: no terminator
    EXPECT_TRUE(usb::TakeStringDescriptor(reply(20, 3, nine), 32, field));
    EXPECT_EQ(units(), nine);
    EXPECT_TRUE(usb::TakeStringDescriptor(reply(2 + 34, 3, u"LongerThanNine..."), 12 + 36, field));
    EXPECT_EQ(units(), u"LongerTha");
    EXPECT_TRUE(usb::TakeStringDescriptor(reply(8, 3, u"ABC"), 20, field));
    EXPECT_EQ(units(), std::u16string(u"ABC\0\0\0\0\0\0", 9));

    // Rejected: the field keeps what it held.
    const std::u16string before = units();
    EXPECT_FALSE(usb::TakeStringDescriptor(reply(8, 2, u"XYZ"), 20, field));  // type
    EXPECT_FALSE(usb::TakeStringDescriptor(reply(8, 3, u"XYZ"), 22, field));  // bLength != n - 12
    EXPECT_FALSE(usb::TakeStringDescriptor(reply(7, 3, u"XYZ"), 19, field));  // odd bLength
    EXPECT_FALSE(usb::TakeStringDescriptor(reply(8, 3, u"XYZ"), 1, field));   // too little back
    EXPECT_FALSE(usb::TakeStringDescriptor(reply(0, 0, u""), 12, field));
    EXPECT_EQ(units(), before);
    // Bytes past what came back count as zero, whatever the buffer holds there.
    EXPECT_TRUE(usb::TakeStringDescriptor(reply(4, 3, u"QRS"), 16, field));
    EXPECT_EQ(units(), std::u16string(u"Q\0\0\0\0\0\0\0\0", 9));
}

}  // namespace
