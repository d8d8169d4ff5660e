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
    const std::u16string text = u"[Port" + platform::DecimalText(port) + u"]";
    if (!connected)
        return text + u"NoDeviceConnected";
    return text + u"DeviceConnected: " + (description != nullptr ? description : u"");
}

}  // namespace usb
