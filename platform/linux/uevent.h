// The kernel's uevents as they come over NETLINK_KOBJECT_UEVENT: "ACTION@DEVPATH", then
// "KEY=VALUE" fields, each ended by a NUL. Pure functions, no system call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::linux_os {

struct Uevent {
    std::string action;  // add, remove, change, bind, ...
    std::string devpath;
    std::string subsystem;
};

// nullopt for what is not a whole kernel uevent: udev's own messages (they start with
// "libudev"), a message cut short, a field that is no KEY=VALUE, or fields that disagree with
// the header.
std::optional<Uevent> ParseUevent(std::string_view message);

// Whether a uevent may have brought or taken a disk: a block or USB device added, removed or
// changed. Binding drivers follows an add that already woke the watch.
bool MayChangeDisks(const Uevent& event);

}  // namespace platform::linux_os
