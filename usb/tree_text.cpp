#include "usb/tree_text.h"

#include "platform/text.h"

namespace usb {

std::u16string HubItemText(const char16_t* description, bool parentHasParent) {
    std::u16string text = parentHasParent ? u"DeviceConnected: " : u"";
    if (description != nullptr)
        text += description;
    return text;
}

std::u16string PortItemText(int port, bool connected, const char16_t* description) {
    std::u16string text = u"[Port";
    text += platform::DecimalText(port);
    text += u']';
    if (!connected)
        return text + u"NoDeviceConnected";
    text += u"DeviceConnected: ";
    if (description != nullptr)
        text += description;
    return text;
}

}  // namespace usb
