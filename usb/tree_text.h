// The texts of the USB tree's items, as the port selection dialog shows them and the tree
// printer prints them.
#pragma once

#include <string>

namespace usb {

// A hub: its description, after "DeviceConnected: " when the hub hangs below another hub
// (its parent item has a parent itself). A null description adds nothing to the text.
std::u16string HubItemText(const char16_t* description, bool parentHasParent);

// A port without a hub behind it: "[Port<n>]" directly followed by "DeviceConnected: " and the
// device's description, or by "NoDeviceConnected".
std::u16string PortItemText(int port, bool connected, const char16_t* description);

}  // namespace usb
