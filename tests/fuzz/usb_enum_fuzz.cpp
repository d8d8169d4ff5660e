// The USB walk over a fuzzed virtual station: a machine of controllers, hubs at any depth and
// devices built from the input, whose replies to every hub, controller and storage request the
// input then rewrites (failures, other byte counts, other bytes). The walk must end, keep every
// field terminated within its size and read no reply past its end.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "usb/enum_usb.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

constexpr std::u16string_view kTextChars = u"aZ09 ;#\\{}&@%\u00e9\u4e2d";

struct Builder {
    Input& in;
    int disks = 0;
    char16_t letter = u'E';

    std::optional<std::u16string> MaybeText(std::size_t max) {
        switch (in.Below(4)) {
            case 0:
                return std::nullopt;
            case 1:
                return in.AnyText(max);
            default:
                return in.Text(kTextChars, max);
        }
    }

    sim::UsbStringDescriptor String() {
        switch (in.Below(4)) {
            case 0:
                return sim::UsbStringDescriptor::Failing();
            case 1:
                return sim::UsbStringDescriptor::Raw(in.Bytes(40));
            default:
                return sim::UsbStringDescriptor::Text(in.Text(kTextChars, 30));
        }
    }

    sim::UsbDevice Device() {
        if (in.Below(5) == 0)
            return sim::Keyboard();
        sim::UsbDevice d = sim::FlashDisk(disks++, letter <= u'Z' ? letter++ : 0);
        d.vendorId = in.U16();
        d.iManufacturer = in.Byte() % 5;
        d.iProduct = in.Byte() % 5;
        d.iSerialNumber = in.Byte() % 5;
        for (std::uint8_t i = 0; i < 5; ++i)
            if (in.Bool())
                d.strings[i] = String();
        d.driverKeyFails = in.Below(8) == 0;
        d.classKeyPresent = in.Below(8) != 0;
        if (in.Bool())
            d.driverDesc = MaybeText(40);
        if (in.Below(4) == 0 && !d.disks.empty()) {
            sim::UsbDisk& disk = d.disks.front();
            disk.detailFails = in.Below(4) == 0;
            disk.numberFails = in.Below(4) == 0;
            disk.nodeDriverReadable = in.Bool();
            for (auto& v : disk.volumes) {
                v.numberFails = in.Below(4) == 0;
                v.driveType = in.Below(7);
                if (in.Bool())
                    v.deviceNumber = static_cast<int>(in.Below(6)) - 1;
            }
        }
        if (in.Below(4) == 0)
            d.auxInterfaces.push_back({u"", in.Below(4) == 0, in.Bool()});
        if (in.Below(6) == 0)
            d.cdromVolumes.push_back(sim::UsbVolume{});
        return d;
    }

    sim::UsbHub Hub(int depth) {
        sim::UsbHub hub = sim::Hub(static_cast<int>(in.Below(5)));
        hub.nameFails = in.Below(10) == 0;
        hub.enumKeyPresent = in.Below(8) != 0;
        if (in.Bool())
            hub.deviceDesc = MaybeText(60);
        hub.nodeInformationFails = in.Below(10) == 0;
        if (in.Below(6) == 0)
            hub.reportedPorts = in.Byte();
        for (auto& port : hub.ports) {
            switch (in.Below(4)) {
                case 0:
                    break;
                case 1:
                    if (depth < 6) {
                        port = sim::UsbPort::WithHub(Hub(depth + 1));
                        break;
                    }
                    [[fallthrough]];
                default:
                    port = sim::UsbPort::With(Device());
            }
            port.connectionFails = in.Below(12) == 0;
            if (in.Below(8) == 0)
                port.status = in.Below(8);
        }
        return hub;
    }

    sim::UsbMachine Machine() {
        sim::UsbMachine machine;
        const std::size_t controllers = in.Below(3) + 1;
        for (std::size_t i = 0; i < controllers; ++i) {
            sim::UsbController c = sim::Controller(0);
            c.detailFails = in.Below(10) == 0;
            c.opens = in.Below(10) != 0;
            c.driverKeyFails = in.Below(10) == 0;
            c.classKeyPresent = in.Below(8) != 0;
            if (in.Bool())
                c.driverDesc = MaybeText(60);
            c.rootHub = Hub(0);
            machine.controllers.push_back(std::move(c));
        }
        machine.langId = in.Bool() ? 0x0409 : in.U16();
        return machine;
    }
};

template <std::size_t N>
void CheckTerminated(const char16_t (&field)[N], const char* what) {
    if (std::find(field, field + N, u'\0') == field + N)
        Fail(what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    sim::Station& station = sim::Station::Get();
    station.Reset();
    Builder builder{in};
    station.Usb().SetMachine(builder.Machine());
    const int readStrings = in.Bool() ? 1 : 0;

    // What is left of the input rewrites the replies, one choice per request; when it runs
    // out the machine answers as it is.
    std::size_t requests = 0;
    station.Usb().SetReplyFilter(
        [&](std::uint32_t, std::span<std::uint8_t> output, std::uint32_t* returned, bool ok) {
            if (++requests > 100000)
                Fail("the walk does not end");
            if (in.Empty())
                return ok;
            const std::uint8_t choice = in.Byte();
            if (choice < 128)
                return ok;
            if (choice < 144)
                return false;
            if (!output.empty()) {
                const std::size_t n = in.Below(9);
                for (std::size_t i = 0; i < n; ++i)
                    output[in.U16() % output.size()] = in.Byte();
            }
            if (choice >= 200)
                *returned = in.Bool() ? in.Below(output.size() + 1) : in.U32();
            return true;
        });

    {
        usb::CEnumUSB::ListLock lock;
        usb::CEnumUSB walker;
        walker.Enumerate(readStrings);
        int listed = 0;
        for (usb::DevicePosition p = usb::CEnumUSB::GetFirstDevice(); p != nullptr;) {
            usb::UsbDeviceEntry entry;
            usb::CEnumUSB::GetNextDevice(&entry, &p);
            if (++listed > 100000)
                Fail("the device list does not end");
            CheckTerminated(entry.driverKey, "driver key not terminated");
            CheckTerminated(entry.driverDesc, "driver description not terminated");
            CheckTerminated(entry.diskInterfacePath, "disk interface path not terminated");
            CheckTerminated(entry.auxInterfacePath, "auxiliary interface path not terminated");
            CheckTerminated(entry.hubPath, "hub path not terminated");
            int volumes = 0;
            for (usb::VolumePosition v = entry.firstVolume; v != nullptr;) {
                usb::VolumeEntry volume;
                usb::CEnumUSB::GetNextVolume(&volume, &v);
                if (++volumes > 1000)
                    Fail("a volume list does not end");
                CheckTerminated(volume.volumePath, "volume path not terminated");
            }
        }
    }
    station.Reset();
    return 0;
}
