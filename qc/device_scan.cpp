// The device scan.
#include "qc/device_scan.h"

#include <vector>

#include "device/controller.h"
#include "device/drive.h"
#include "platform/device_io.h"

namespace qc {

namespace {

constexpr std::uint32_t kDriveStringsBuffer = 200;
constexpr int kVolCellBuffer = 4;

// A device entry with volumes of its own, so that no disk is opened while the shared list is
// held: a slow disk never keeps the port dialog waiting.
struct FoundDevice {
    usb::UsbDeviceEntry entry;
    std::vector<usb::VolumeEntry> volumes;
};

std::vector<FoundDevice> TakeDevices(usb::CEnumUSB& enumerator) {
    const usb::CEnumUSB::ListLock hold(ui::WaitServingSentMessages);
    enumerator.Enumerate(0);
    std::vector<FoundDevice> found;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        FoundDevice& device = found.emplace_back();
        usb::CEnumUSB::GetNextDevice(&device.entry, &position);
        usb::VolumePosition volume = device.entry.firstVolume;
        while (volume != nullptr)
            usb::CEnumUSB::GetNextVolume(&device.volumes.emplace_back(), &volume);
    }
    // Linked only now: the vectors do not move any more.
    for (FoundDevice& device : found) {
        for (std::size_t i = 0; i < device.volumes.size(); ++i)
            device.volumes[i].next =
                i + 1 < device.volumes.size() ? &device.volumes[i + 1] : nullptr;
        device.entry.firstVolume = device.volumes.empty() ? nullptr : &device.volumes[0];
    }
    return found;
}

// A started scan: counted from its start to its end, however it leaves.
struct RunningScan {
    std::shared_ptr<ScanShared> shared;
    ~RunningScan() { shared->EndRun(); }
};

ui::UINT ScanThreadProc(void* parameter) {
    const std::unique_ptr<RunningScan> scan(static_cast<RunningScan*>(parameter));
    scan->shared->ScanDevices();
    return 0;
}

}  // namespace

bool IsSupportedVolume(char16_t letter) {
    const platform::Handle handle = device::OpenVolume(letter);
    if (handle == platform::kInvalidHandle)
        return false;
    const bool supported = device::IsSupportedDisk(handle);
    device::CloseDrive(handle);
    return supported;
}

template <class Call>
bool ScanShared::Reach(Call&& call) {
    ScanSink* sink = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (detached_)
            return false;
        ++inFlight_;
        sink = sink_;
    }
    call(*sink);
    const std::lock_guard lock(mutex_);
    --inFlight_;
    return !detached_;
}

void ScanShared::StartScan() {
    {
        const std::lock_guard lock(mutex_);
        ++running_;
    }
    auto* scan = new RunningScan{shared_from_this()};
    if (ui::AfxBeginThread(ScanThreadProc, scan) == nullptr) {
        delete scan;
        const std::lock_guard lock(mutex_);
        --running_;
    }
}

void ScanShared::ScanDevices() {
    const ui::CCriticalSectionLock lock(scanLock);
    if (!Reach([](ScanSink& sink) { sink.CollectCheckValues(); }))
        return;

    for (FoundDevice& device : TakeDevices(enumerator)) {
        const usb::VolumeEntry* volume = device.entry.firstVolume;
        if (volume == nullptr || volume->driveLetter == 0)
            continue;  // never listed without a mounted volume with a letter
        bool listed = true;
        if (!Reach([&](ScanSink& sink) { listed = sink.IsDriveListed(volume->driveLetter); }))
            return;
        if (listed)
            continue;
        if (IsSupportedVolume(volume->driveLetter) &&
            !Reach([&](ScanSink& sink) { sink.AddDeviceRow(device.entry); }))
            return;
    }

    char16_t drives[kDriveStringsBuffer] = {};
    const std::uint32_t written = platform::LogicalDriveStrings(kDriveStringsBuffer, drives);
    // Without the system's drives (the call failed, or they did not fit) every row would look
    // gone: the rows stay until a scan can tell.
    if (written == 0 || written >= kDriveStringsBuffer)
        return;
    for (int i = 0;; ++i) {
        int rows = 0;
        std::u16string cell;
        if (!Reach([&](ScanSink& sink) {
                rows = sink.RowCount();
                if (i < rows)
                    cell = sink.VolCell(i, kVolCellBuffer);
            }))
            return;
        if (i >= rows)
            break;
        const char16_t letter = cell.empty() ? u'\0' : cell[0];
        bool present = false;
        // Four characters a string ("X:\" and its terminator), up to the empty one.
        for (std::uint32_t at = 0; at + 4 <= kDriveStringsBuffer && drives[at] != u'\0'; at += 4) {
            platform::CharUpperText(&drives[at]);
            if (drives[at] == letter) {
                present = true;
                break;
            }
        }
        if (present)
            continue;
        int after = rows;
        if (!Reach([&](ScanSink& sink) {
                sink.ClearRow(i, letter);
                after = sink.RowCount();
            }))
            return;
        if (after < rows)
            --i;  // free mode: the row is gone and the next one moved up
    }
}

void ScanShared::Detach() {
    {
        const std::lock_guard lock(mutex_);
        detached_ = true;
    }
    // A call already on its way is served here; none starts after this.
    for (;;) {
        const bool idle = ui::WaitServingSentMessages(
            [this] {
                const std::lock_guard lock(mutex_);
                return inFlight_ == 0;
            },
            1000);
        if (idle)
            break;
    }
}

void ScanShared::EndRun() {
    const std::lock_guard lock(mutex_);
    --running_;
}

bool ScanShared::detached() const {
    const std::lock_guard lock(mutex_);
    return detached_;
}

int ScanShared::running() const {
    const std::lock_guard lock(mutex_);
    return running_;
}

}  // namespace qc
