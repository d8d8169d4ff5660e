// The device scan.
#include "qc/device_scan.h"

#include <optional>

#include "platform/device_io.h"
#include "qc/disk_offer.h"

namespace qc {

namespace {

constexpr std::uint32_t kDriveStringsBuffer = 200;

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

    const DiskTaker window{
        [this](char16_t letter) -> std::optional<bool> {
            bool listed = true;
            if (!Reach([&](ScanSink& sink) { listed = sink.IsDriveListed(letter); }))
                return std::nullopt;
            return listed;
        },
        [this](const usb::UsbDeviceEntry& entry) {
            return Reach([&](ScanSink& sink) { sink.AddDeviceRow(entry); });
        },
        {}};
    if (!OfferDisks(CopyDevices(ui::WaitServingSentMessages, &enumerator), window))
        return;

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
