#include "platform/sim/device_notices.h"

#include <mutex>
#include <string>

#include "platform/sim/station.h"
#include "platform/ui.h"
#include "platform/ui_testing.h"

namespace sim {
namespace {

std::uint32_t MaskOf(const std::u16string& letters) {
    std::uint32_t mask = 0;
    for (char16_t l : letters) {
        if (l >= u'A' && l <= u'Z')
            mask |= 1u << (l - u'A');
    }
    return mask;
}

// The letters announced so far. Held only to take the difference, never while sending: a
// window's thread may change a port itself while another thread's notice waits for it.
std::mutex& NoticeMutex() {
    static std::mutex mutex;
    return mutex;
}
std::uint32_t& KnownLetters() {
    static std::uint32_t letters = 0;
    return letters;
}

void SendToTopLevelWindows(ui::UINT event, const DeviceBroadcastVolume* volume) {
    for (ui::HWND window : ui::testing::TopLevelWindows()) {
        ui::SendMessage(window, ui::WM_DEVICECHANGE, event, reinterpret_cast<ui::LPARAM>(volume));
    }
}

void Announce() {
    std::uint32_t came = 0, went = 0;
    {
        std::lock_guard lock(NoticeMutex());
        const std::uint32_t now = MaskOf(Station::Get().DriveLetters());
        came = now & ~KnownLetters();
        went = KnownLetters() & ~now;
        KnownLetters() = now;
    }
    SendToTopLevelWindows(kDevNodesChanged, nullptr);
    if (went != 0) {
        DeviceBroadcastVolume volume;
        volume.unitMask = went;
        SendToTopLevelWindows(ui::DBT_DEVICEREMOVECOMPLETE, &volume);
    }
    if (came != 0) {
        DeviceBroadcastVolume volume;
        volume.unitMask = came;
        SendToTopLevelWindows(ui::DBT_DEVICEARRIVAL, &volume);
    }
}

}  // namespace

void SendDeviceNotices(bool on) {
    if (!on) {
        Station::Get().Usb().SetDeviceChangeHook({});
        return;
    }
    {
        std::lock_guard lock(NoticeMutex());
        KnownLetters() = MaskOf(Station::Get().DriveLetters());
    }
    Station::Get().Usb().SetDeviceChangeHook([](UsbChange, const UsbPortAddress&) { Announce(); });
}

}  // namespace sim
