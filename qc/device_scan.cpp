// The device scan: a worker that keeps the result list in step with the disks plugged in. It
// changes the window only through synchronous messages, one scan at a time (scanLock).
#include <memory>

#include "app/tavrin_dlg.h"
#include "qc/messages.h"

namespace app {

using namespace ui;

namespace {

// Ends the scan's share of the window's state however the scan leaves.
struct RunningScan {
    std::shared_ptr<ScanShared> shared;
    ~RunningScan() { --shared->running; }
};

void ScanDevices(ScanShared& shared) {
    const CCriticalSectionLock lock(shared.scanLock);
    if (!shared.closing) {
        // The rows this scan adds are checked against what the controls show now.
        ui::SendMessage(shared.window, qc::kMsgCollectCheckValues);
    }
}

UINT ScanThreadProc(void* parameter) {
    const std::unique_ptr<RunningScan> scan(static_cast<RunningScan*>(parameter));
    ScanDevices(*scan->shared);
    return 0;
}

}  // namespace

void CTavrinDlg::StartScan() {
    ++scan->running;
    auto* running = new RunningScan{scan};
    if (AfxBeginThread(ScanThreadProc, running) == nullptr)
        delete running;
}

}  // namespace app
