#include "platform/linux/uevent.h"

namespace platform::linux_os {

std::optional<Uevent> ParseUevent(std::string_view message) {
    // Every field ends with a NUL; a message without one at its end was cut.
    if (message.empty() || message.back() != '\0' || message.starts_with("libudev"))
        return std::nullopt;
    message.remove_suffix(1);

    std::string_view header = message.substr(0, message.find('\0'));
    const std::size_t at = header.find('@');
    if (at == std::string_view::npos || at == 0 || header.size() < at + 2 || header[at + 1] != '/')
        return std::nullopt;
    const std::string_view action = header.substr(0, at), devpath = header.substr(at + 1);

    std::optional<std::string_view> actionKey, devpathKey, subsystemKey;
    for (std::size_t next = header.size(); next < message.size();) {
        const std::size_t begin = next + 1;
        std::size_t end = message.find('\0', begin);
        if (end == std::string_view::npos)
            end = message.size();
        const std::string_view field = message.substr(begin, end - begin);
        next = end;
        const std::size_t eq = field.find('=');
        if (eq == std::string_view::npos || eq == 0)
            return std::nullopt;
        const std::string_view key = field.substr(0, eq), value = field.substr(eq + 1);
        if (key == "ACTION")
            actionKey = value;
        else if (key == "DEVPATH")
            devpathKey = value;
        else if (key == "SUBSYSTEM")
            subsystemKey = value;
    }
    if (actionKey != action || devpathKey != devpath || !subsystemKey || subsystemKey->empty())
        return std::nullopt;
    return Uevent{std::string(action), std::string(devpath), std::string(*subsystemKey)};
}

bool MayChangeDisks(const Uevent& event) {
    const bool action =
        event.action == "add" || event.action == "remove" || event.action == "change";
    return action && (event.subsystem == "block" || event.subsystem == "usb");
}

}  // namespace platform::linux_os
