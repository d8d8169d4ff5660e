#include "usb/port_map.h"

#include "config/settings.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace usb {

namespace {

constexpr char16_t kPortMap[] = u"PortMap";
constexpr char16_t kEnablePort[] = u"ENABLE_PORT";

}  // namespace

std::u16string PortMapKey(long long portOrdinal) {
    return u"usb" + platform::DecimalText(portOrdinal, 2);
}

int StationPortOf(std::u16string_view portFile, long long portOrdinal) {
    return platform::GetProfileInt(kPortMap, PortMapKey(portOrdinal), 0, portFile);
}

bool WriteStationPort(std::u16string_view portFile, long long portOrdinal, int stationPort) {
    return platform::WriteProfileString(kPortMap, PortMapKey(portOrdinal),
                                        platform::DecimalText(stationPort), portFile);
}

bool HasPortMap(std::u16string_view portFile) {
    return platform::HasProfileSection(kPortMap, portFile);
}

int EnablePortOf(std::u16string_view portFile) {
    if (portFile.empty())
        return 0;
    return platform::GetProfileInt(config::kSettingSection, kEnablePort, 0, portFile);
}

bool WriteEnablePort(std::u16string_view portFile, int enablePort) {
    return platform::WriteProfileString(config::kSettingSection, kEnablePort,
                                        platform::DecimalText(enablePort), portFile);
}

std::u16string ReadPortFileSetting(const std::u16string& settingsPath) {
    return config::ReadSetting(&config::Settings::portFile, settingsPath);
}

bool WritePortFileSetting(const std::u16string& settingsPath, std::u16string_view portFile) {
    return config::WriteSetting(&config::Settings::portFile, portFile, settingsPath);
}

}  // namespace usb
