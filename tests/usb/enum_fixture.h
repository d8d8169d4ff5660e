// An enumerator that records its callbacks, and the shared list read back as copies.
#pragma once

#include <string>
#include <vector>

#include "../device/station_fixture.h"
#include "platform/sim/usb_side.h"
#include "platform/text.h"
#include "tests/support/listed_devices.h"
#include "usb/enum_usb.h"

namespace tavrin_test {

// Each call as one line: "C <description> =h", "H <description> <parent =h",
// "P<port> <connected> <description or -> <parent".
class RecordingEnum : public usb::CEnumUSB {
  public:
    std::vector<std::string> calls;

    usb::NodeHandle OnHostController(const char16_t* description) override {
        calls.push_back("C " + platform::ToUtf8(description) + " =" + std::to_string(next_));
        return next_++;
    }
    usb::NodeHandle OnHub(const char16_t* description, usb::NodeHandle parent) override {
        calls.push_back("H " + platform::ToUtf8(description) + " <" + std::to_string(parent) +
                        " =" + std::to_string(next_));
        return next_++;
    }
    usb::NodeHandle OnPort(int port, int connected, const char16_t* description,
                           usb::NodeHandle parent) override {
        calls.push_back("P" + std::to_string(port) + " " + std::to_string(connected) + " " +
                        (description ? platform::ToUtf8(description) : "-") + " <" +
                        std::to_string(parent));
        return 0;
    }

  private:
    usb::NodeHandle next_ = 1;
};

struct DeviceCopy {
    usb::UsbDeviceEntry entry;
    std::vector<usb::VolumeEntry> volumes;  // walked from the copy's firstVolume
};

// The shared list as a reader sees it, under the list lock.
inline std::vector<DeviceCopy> ListedDevices() {
    usb::CEnumUSB::ListLock lock;
    std::vector<DeviceCopy> devices;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        DeviceCopy copy;
        usb::CEnumUSB::GetNextDevice(&copy.entry, &position);
        for (usb::VolumePosition v = copy.entry.firstVolume; v != nullptr;) {
            usb::VolumeEntry volume;
            usb::CEnumUSB::GetNextVolume(&volume, &v);
            copy.volumes.push_back(volume);
        }
        devices.push_back(copy);
    }
    return devices;
}

class EnumTest : public StationTest {
  protected:
    static sim::UsbSide& usbSide() { return station().Usb(); }
    // A machine of one host controller.
    static void SetController(const sim::UsbController& controller) {
        sim::UsbMachine machine;
        machine.controllers.push_back(controller);
        usbSide().SetMachine(machine);
    }
};

}  // namespace tavrin_test
