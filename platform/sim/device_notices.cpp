#include "platform/sim/device_notices.h"

#include <mutex>
#include <string>
#include <utility>

#include "platform/sim/station.h"
#include "platform/ui.h"
#include "platform/ui_host.h"

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
// The station's hook that announces; 0 while off.
std::uint64_t& NoticeHook() {
    static std::uint64_t id = 0;
    return id;
}

void SendToTopLevelWindows(ui::UINT event, const DeviceBroadcastVolume* volume) {
    for (ui::HWND window : ui::TopLevelWindows()) {
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
    std::lock_guard lock(NoticeMutex());
    Station::Get().Usb().RemoveDeviceChangeHook(std::exchange(NoticeHook(), 0));
    if (!on)
        return;
    KnownLetters() = MaskOf(Station::Get().DriveLetters());
    NoticeHook() = Station::Get().Usb().AddDeviceChangeHook(
        [](UsbChange, const UsbPortAddress&) { Announce(); });
}

}  // namespace sim
