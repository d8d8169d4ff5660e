#include "tools/usbtree.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/text.h"
#include "platform/usb_io.h"
#include "tools/block_line.h"
#include "usb/enum_usb.h"
#include "usb/tree_text.h"

namespace tools {
namespace {

struct Node {
    std::size_t parent;  // index + 1 of the parent node, 0 for a top-level item
    int depth;
    std::u16string text;
    int ordinal;  // of a port item, else 0
};

// Collects the items the dialog would insert, in the same order, with the same texts.
class TreeRecorder : public usb::CEnumUSB {
  public:
    std::vector<Node> nodes;

    usb::NodeHandle OnHostController(const char16_t* description) override {
        return Add(0, description != nullptr ? description : u"", 0);
    }
    usb::NodeHandle OnHub(const char16_t* description, usb::NodeHandle parent) override {
        const bool parentHasParent = parent != 0 && nodes[parent - 1].parent != 0;
        return Add(parent, usb::HubItemText(description, parentHasParent), 0);
    }
    usb::NodeHandle OnPort(int port, int connected, const char16_t* description,
                           usb::NodeHandle parent) override {
        ++ports_;
        return Add(parent, usb::PortItemText(port, connected == 1, description), ports_);
    }

  private:
    usb::NodeHandle Add(usb::NodeHandle parent, std::u16string text, int ordinal) {
        const int depth = parent == 0 ? 0 : nodes[parent - 1].depth + 1;
        nodes.push_back({parent, depth, std::move(text), ordinal});
        return nodes.size();
    }
    int ports_ = 0;
};

// Between quotes, with the quote, the backslash and control characters escaped, so that a
// line always stays one line.
std::string Quoted(std::u16string_view text) {
    std::string out = "\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x" + platform::ToUtf8(platform::HexText(c, 2));
        } else {
            out += platform::ToUtf8(std::u16string_view(&c, 1));
        }
    }
    return out + "\"";
}

std::string Hex4(std::uint16_t value) {
    return platform::ToUtf8(platform::HexText(value, 4));
}

std::string VolumeText(const UsbTreeSystem& system, char16_t letter) {
    if (letter == 0)
        return "-";
    std::string name = system.volumeName ? system.volumeName(letter) : std::string();
    return name.empty() ? platform::ToUtf8(std::u16string_view(&letter, 1)) : name;
}

std::string DeviceLine(const usb::UsbDeviceEntry& e, bool strings, const UsbTreeSystem& system) {
    std::string line = std::to_string(e.portOrdinal) + " ";
    line += PortPathText(e.portPath);
    line += " vid=" + Hex4(e.vendorId) + " pid=" + Hex4(e.productId);
    // Driver keys are the system's own names: no spaces or quotes, printed as they are.
    const std::u16string_view key = platform::UpToNul(e.driverKey);
    line += " key=" + (key.empty() ? std::string("-") : platform::ToUtf8(key));
    line += " desc=" + Quoted(platform::UpToNul(e.driverDesc));
    if (strings) {
        line += " manufacturer=" + Quoted(platform::UpToNul(e.manufacturer));
        line += " product=" + Quoted(platform::UpToNul(e.product));
        line += " serial=" + Quoted(platform::UpToNul(e.serialNumber));
    }
    std::string disks;
    for (std::int32_t n : e.diskNumbers) {
        if (n != -1)
            disks += (disks.empty() ? "" : ",") + std::to_string(n);
    }
    line += " disks=" + (disks.empty() ? std::string("-") : disks);
    std::string volumes;
    usb::VolumePosition position = e.firstVolume;
    while (position != nullptr) {
        usb::VolumeEntry v;
        usb::CEnumUSB::GetNextVolume(&v, &position);
        volumes += (volumes.empty() ? "" : ",") + VolumeText(system, v.driveLetter) + ":" +
                   std::to_string(v.driveType) + ":" + std::to_string(v.diskNumber);
    }
    line += " volumes=" + (volumes.empty() ? std::string("-") : volumes);
    return line;
}

int Usage(std::ostream& err, std::string_view why) {
    err << "tavrin-usbtree: " << why << "\n"
        << "usage: tavrin-usbtree [--strings] [--station FILE]\n";
    return 2;
}

// Why a walk met no host controller: the system's own word where it has one, else what its
// list of controllers says when asked again.
std::string WhyNoController(const UsbTreeSystem& system) {
    if (system.whyNoController) {
        std::string why = system.whyNoController();
        if (!why.empty())
            return why;
    }
    const platform::Guid& controllers = platform::kGuidUsbHostController;
    const platform::DeviceInfoSet set = platform::GetClassDevices(controllers);
    if (set == platform::kInvalidHandle)
        return "the system refused the list of host controllers";
    std::uint32_t listed = 0;
    platform::DeviceInterfaceData data{};
    while (platform::EnumDeviceInterface(set, controllers, listed, &data))
        ++listed;
    platform::DestroyDeviceInfoList(set);
    if (listed == 0)
        return "the system lists none";
    return std::to_string(listed) + " listed, none answered the walk";
}

}  // namespace

int RunUsbTree(const std::vector<std::string>& args, const UsbTreeSystem& system, std::ostream& out,
               std::ostream& err) {
    const StationLoader& loadStation = system.loadStation;
    bool strings = false;
    std::string station;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--strings") {
            strings = true;
        } else if (args[i] == "--station" && i + 1 < args.size() && station.empty()) {
            station = args[++i];
        } else {
            return Usage(err, "unexpected argument " + args[i]);
        }
    }
    if (!station.empty() && !loadStation)
        return Usage(err, "--station: this build walks the real machine");
    if (station.empty() && loadStation)
        return Usage(err, "--station FILE is needed: this build has no real machine to walk");
    if (!station.empty()) {
        std::string error;
        if (!loadStation(station, &error)) {
            err << "tavrin-usbtree: " << station << ": " << error << "\n";
            return 2;
        }
    }

    TreeRecorder walk;
    // The list stays ours from the walk to the last line printed.
    const usb::CEnumUSB::ListLock lock;
    walk.Enumerate(strings ? 1 : 0);
    // No controller at all is a walk that could not look, not a machine without USB devices.
    if (std::none_of(walk.nodes.begin(), walk.nodes.end(),
                     [](const Node& node) { return node.parent == 0; })) {
        err << "tavrin-usbtree: no USB host controller found (" << WhyNoController(system) << ")\n";
        return 1;
    }
    for (const Node& node : walk.nodes) {
        out << std::string(2 * static_cast<std::size_t>(node.depth), ' ')
            << platform::ToUtf8(node.text);
        if (node.ordinal != 0)
            out << " #" << node.ordinal;
        out << "\n";
    }
    out << "\n";
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        usb::UsbDeviceEntry entry;
        usb::CEnumUSB::GetNextDevice(&entry, &position);
        out << DeviceLine(entry, strings, system) << "\n";
    }
    return 0;
}

}  // namespace tools
