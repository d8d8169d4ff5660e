// Test builder: a sysfs and mount tree in a temporary folder, laid out as the kernel lays out its
// USB host controllers, hubs, devices, SCSI disks and CD-ROMs, for the Linux backend to read
// through platform::linux_os::SetSystemRoot. Not the backend: it only writes files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace linux_test {

namespace fs = std::filesystem;

struct UsbAttributes {
    std::string vendor = "1f75";
    std::string product = "0917";
    std::string deviceClass = "00";
    int ports = 0;  // maxchild: a hub's ports
    std::string manufacturerText;
    std::string productText;
    std::string serialText;
    std::string interfaceDriver;  // bound to interface 1.0; empty: none
};

class SysfsTree {
  public:
    SysfsTree() : folder_("sysfs"), root_(folder_.path().string()) {
        Dir("/sys/bus/usb/devices");
        Dir("/sys/class/block");
        Dir("/sys/dev/block");
        Dir("/sys/dev/char");
        Dir("/proc/self");
        Write("/proc/self/mountinfo", "");
    }
    const std::string& Root() const { return root_; }

    // A host controller on PCI (in slot `slot`, by default the bus number) with its root hub
    // usb<bus>; returns the root hub's folder.
    std::string Controller(int bus, int ports, const std::string& product, int slot = -1) {
        char pci[16];
        std::snprintf(pci, sizeof pci, "0000:00:%02x.0", slot < 0 ? bus : slot);
        const std::string folder =
            "/sys/devices/pci0000:00/" + std::string(pci) + "/usb" + std::to_string(bus);
        UsbAttributes hub;
        hub.vendor = "1d6b";
        hub.product = "0002";
        hub.deviceClass = "09";
        hub.ports = ports;
        hub.productText = product;
        hub.interfaceDriver = "hub";
        Device(folder, hub);
        return folder;
    }

    // A USB device (or hub) at `folder`, whose last part is its kernel name.
    std::string Device(const std::string& folder, const UsbAttributes& a) {
        const std::string name = fs::path(folder).filename().string();
        Dir(folder);
        Write(folder + "/devnum", std::to_string(++devices_) + "\n");
        Write(folder + "/idVendor", a.vendor + "\n");
        Write(folder + "/idProduct", a.product + "\n");
        Write(folder + "/bDeviceClass", a.deviceClass + "\n");
        if (a.ports > 0)
            Write(folder + "/maxchild", std::to_string(a.ports) + "\n");
        if (!a.manufacturerText.empty())
            Write(folder + "/manufacturer", a.manufacturerText + "\n");
        if (!a.productText.empty())
            Write(folder + "/product", a.productText + "\n");
        if (!a.serialText.empty())
            Write(folder + "/serial", a.serialText + "\n");
        const std::string interface = folder + "/" + name + ":1.0";
        Dir(interface);
        if (!a.interfaceDriver.empty()) {
            Dir("/sys/bus/usb/drivers/" + a.interfaceDriver);
            Link(interface + "/driver", "/sys/bus/usb/drivers/" + a.interfaceDriver);
        }
        Link("/sys/bus/usb/devices/" + name, folder);
        Link("/sys/bus/usb/devices/" + name + ":1.0", interface);
        return folder;
    }

    // The block folder of a SCSI device behind a USB device's storage interface (or any folder).
    std::string ScsiBlock(const std::string& parent, int host) {
        const std::string h = std::to_string(host);
        return parent + "/host" + h + "/target" + h + ":0:0/" + h + ":0:0:0/block";
    }

    // A disk below a block folder, with partitions 1..n; returns the disk's folder.
    std::string Disk(const std::string& block, const std::string& name, int partitions,
                     bool removable) {
        const std::string folder = block + "/" + name;
        BlockDevice(folder, "8:" + std::to_string(minor_));
        Write(folder + "/removable", removable ? "1\n" : "0\n");
        Write(folder + "/diskseq", std::to_string(++diskseq_) + "\n");
        for (int p = 1; p <= partitions; ++p) {
            const std::string part = folder + "/" + name + std::to_string(p);
            BlockDevice(part, "8:" + std::to_string(minor_ + p));
            Write(part + "/partition", std::to_string(p) + "\n");
        }
        minor_ += 16;
        return folder;
    }

    std::string Cdrom(const std::string& block, const std::string& name) {
        const std::string folder = block + "/" + name;
        BlockDevice(folder, "11:0");
        Write(folder + "/removable", "1\n");
        return folder;
    }

    // The SCSI generic node of the SCSI device above a disk's folder, and its /dev node;
    // returns its folder.
    std::string Generic(const std::string& disk, const std::string& name, int minor) {
        const std::string device = fs::path(disk).parent_path().parent_path().string();
        const std::string folder = device + "/scsi_generic/" + name;
        const std::string dev = "21:" + std::to_string(minor);
        Dir(folder);
        Write(folder + "/dev", dev + "\n");
        Link("/sys/dev/char/" + dev, folder);
        Link(disk + "/device", device);
        Dir("/dev");
        Write("/dev/" + name, "");
        return folder;
    }

    // A line of the mount table for a block device by its kernel name ("/dev/sdb1"), or
    // anything else ("proc"), its mount point made below the root.
    void Mount(const std::string& source, const std::string& point, const std::string& type) {
        const auto dev = devs_.find(fs::path(source).filename().string());
        MountDevice(dev != devs_.end() ? dev->second : "0:" + std::to_string(mounts_ + 20), source,
                    point, type);
    }
    // A line of the mount table with the device number given.
    void MountDevice(const std::string& dev, const std::string& source, const std::string& point,
                     const std::string& type) {
        Dir(point);
        ++mounts_;
        std::ofstream(root_ + "/proc/self/mountinfo", std::ios::app)
            << mounts_ + 20 << " 1 " << dev << " / " << point << " rw,relatime shared:" << mounts_
            << " - " << type << ' ' << source << " rw\n";
    }

    void Remove(const std::string& path) { fs::remove_all(root_ + path); }
    void Write(const std::string& path, const std::string& text) {
        std::ofstream(root_ + path, std::ios::binary) << text;
    }
    void Dir(const std::string& path) { fs::create_directories(root_ + path); }
    // A relative link, as the kernel makes them.
    void Link(const std::string& path, const std::string& target) {
        Dir(fs::path(path).parent_path().string());
        fs::create_directory_symlink(
            fs::path(target).lexically_relative(fs::path(path).parent_path()), root_ + path);
    }

  private:
    void BlockDevice(const std::string& folder, const std::string& dev) {
        const std::string name = fs::path(folder).filename().string();
        Dir(folder);
        Write(folder + "/dev", dev + "\n");
        Link("/sys/class/block/" + name, folder);
        Link("/sys/dev/block/" + dev, folder);
        devs_[name] = dev;
    }

    const testsupport::TempFolder folder_;
    const std::string root_;
    int devices_ = 0;
    int minor_ = 0;
    int diskseq_ = 0;
    int mounts_ = 0;
    std::map<std::string, std::string> devs_;
};

}  // namespace linux_test
