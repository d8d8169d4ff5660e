// The shared USB device list's length, walked the way the program walks it.
#pragma once

#include "usb/enum_usb.h"

namespace tavrin_test {

inline int ListedDeviceCount() {
    const usb::CEnumUSB::ListLock lock;
    int count = 0;
    for (usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice(); position != nullptr;
         ++count) {
        usb::UsbDeviceEntry copy;
        usb::CEnumUSB::GetNextDevice(&copy, &position);
    }
    return count;
}

}  // namespace tavrin_test
