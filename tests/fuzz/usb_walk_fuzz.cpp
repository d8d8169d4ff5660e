// The plain parsers of the USB walk on replies of any bytes and any length (each in a buffer of
// exactly its size, so the sanitizer sees a read past it), and the name fetch against a device
// that answers anything.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "usb/usb_walk.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

void FetchName(Input& in, bool connection) {
    // Each call: fails, or writes some bytes and reports some count.
    int calls = 0;
    const usb::Control control = [&](std::span<std::uint8_t> buffer, std::uint32_t* returned) {
        if (++calls > 2)
            Fail("a name took more than two requests");
        if (in.Byte() < 16)
            return false;
        for (std::uint8_t b : in.Bytes(buffer.size()))
            buffer[in.Below(buffer.size())] = b;
        if (buffer.size() >= 4 && in.Bool()) {
            // An ActualLength near the buffer's, the interesting case.
            const std::uint32_t length =
                static_cast<std::uint32_t>(buffer.size()) + in.Byte() - 128;
            std::copy_n(reinterpret_cast<const std::uint8_t*>(&length), 4,
                        buffer.begin() + (connection ? 4 : 0));
        }
        *returned = in.U32();
        return true;
    };
    const auto name = connection ? usb::FetchConnectionName(control, in.U32())
                                 : usb::FetchControllerName(control);
    if (name && name->find(u'\0') != std::u16string::npos)
        Fail("a fetched name holds a NUL");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    switch (in.Byte() % 8) {
        case 0: {
            const std::vector<std::uint8_t> reply = in.Rest();
            const int ports = usb::NumberOfPorts(reply);
            if (ports < 0 || ports > 255)
                Fail("a port count outside a byte");
            break;
        }
        case 1: {
            const std::vector<std::uint8_t> reply = in.Rest();
            (void)usb::ParseConnectionInformation(reply);
            break;
        }
        case 2: {
            // The reply buffer is the request's; `returned` may say anything.
            usb::DescriptorRequest reply{};
            const std::uint32_t returned = in.Bool() ? in.Below(280) : in.U32();
            const std::vector<std::uint8_t> bytes = in.Bytes(reply.size());
            std::copy(bytes.begin(), bytes.end(), reply.begin());
            std::vector<std::uint8_t> destination(in.Below(300), 0xA5);
            const std::vector<std::uint8_t> before = destination;
            const bool taken = usb::TakeStringDescriptor(reply, returned, destination);
            if (!taken && destination != before)
                Fail("a refused descriptor changed the destination");
            break;
        }
        case 3: {
            const std::uint32_t returned = in.Bool() ? in.Below(16) : in.U32();
            const std::vector<std::uint8_t> reply = in.Rest();
            const auto number = usb::StorageDeviceNumber(reply, returned);
            // DeviceNumber follows DeviceType: its four bytes must be there and returned.
            if (number.has_value() != (reply.size() >= 8 && returned >= 8))
                Fail("a device number from a reply without one, or none from a reply with one");
            if (number && *number != (reply[4] | reply[5] << 8 | reply[6] << 16 |
                                      static_cast<std::uint32_t>(reply[7]) << 24))
                Fail("a device number other than the reply's");
            break;
        }
        case 4: {
            const std::uint32_t length = in.Bool() ? in.Below(64) : in.U32();
            const std::vector<std::uint8_t> buffer = in.Rest();
            const std::u16string text = usb::RegistryText(buffer, length);
            if (text.size() * 2 > std::min<std::size_t>(buffer.size(), length))
                Fail("registry text longer than its bytes");
            if (text.find(u'\0') != std::u16string::npos)
                Fail("registry text holds a NUL");
            break;
        }
        case 5: {
            const std::u16string text = in.AnyText(300);
            std::vector<char16_t> field(in.Below(120), u'x');
            const bool fits = usb::CopyTerminated(field, text);
            if (fits != (text.size() < field.size()))
                Fail("CopyTerminated fits the wrong lengths");
            if (fits && !std::equal(text.begin(), text.end(), field.begin()))
                Fail("CopyTerminated copied something else");
            if (std::any_of(field.begin() + (fits ? text.size() : 0), field.end(),
                            [](char16_t c) { return c != 0; }))
                Fail("CopyTerminated left the rest of the field unfilled");
            break;
        }
        case 6: {
            const std::u16string text = in.AnyText(200);
            const std::u16string key = usb::HubEnumKey(text);
            if (key.size() > usb::kEnumKeyPrefix.size() + text.size())
                Fail("an Enum key longer than the hub name");
            (void)usb::ClassKey(text);
            const std::u16string_view after = usb::DescriptionAfterSemicolon(text);
            if (after.size() > text.size())
                Fail("a description longer than its value");
            break;
        }
        case 7:
            FetchName(in, in.Bool());
            break;
    }
    return 0;
}
