// The device scan: a worker that keeps the result list in step with the disks plugged in. It
// enumerates the USB tree, offers every supported disk not yet listed to the window and asks
// the window to clear the rows whose drive letter is gone. It changes nothing in the window
// itself: it reaches it through a sink, which the main window implements with synchronous
// messages. Scans run one after another (scanLock).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ui.h"
#include "usb/enum_usb.h"

namespace qc {

// What a scan asks of the window. Every call returns when the window has handled it.
class ScanSink {
  public:
    // Take the expected values from the window's controls.
    virtual void CollectCheckValues() = 0;
    // Add or fill the row of a supported disk; `entry` is valid during the call only.
    virtual void AddDeviceRow(const usb::UsbDeviceEntry& entry) = 0;
    // Clears the row if it still shows `letter` (0: none), the letter the scan read from it.
    virtual void ClearRow(int row, char16_t letter) = 0;
    // Reads of the list: its row count, the "Vol" cell of a row into a buffer of
    // `bufferSize` characters, whether a letter is listed.
    virtual int RowCount() = 0;
    virtual std::u16string VolCell(int row, int bufferSize) = 0;
    virtual bool IsDriveListed(char16_t letter) = 0;

  protected:
    ~ScanSink() = default;
};

// The "Vol" cell as the scan and the window read it: into a buffer of 4 characters, enough for
// the first letter.
inline constexpr int kVolCellBuffer = 4;

// What scan workers share with the window, kept alive by the last of them: the lock that
// serialises scans, the enumerator whose list they walk, and the way to the window. A window
// that closes detaches first; a scan then ends at its next step without reaching the window.
class ScanShared : public std::enable_shared_from_this<ScanShared> {
  public:
    explicit ScanShared(ScanSink& sink) : sink_(&sink) {}
    ScanShared(const ScanShared&) = delete;
    ScanShared& operator=(const ScanShared&) = delete;

    // Starts a scan on a thread of its own; the thread is never joined.
    void StartScan();
    // The scan itself, on the calling thread.
    void ScanDevices();

    // From the window's thread, before the window goes: no call reaches the sink once this
    // returns. A call in progress is served meanwhile, so this never waits on a scan's device
    // work.
    void Detach();
    bool detached() const;
    // Scans started and not yet ended.
    int running() const;
    void EndRun();

    ui::CCriticalSection scanLock;
    usb::CEnumUSB enumerator{ui::WaitServingSentMessages};

  private:
    // Runs `call` on the sink unless detached; false when detached.
    template <class Call>
    bool Reach(Call&& call);

    mutable std::mutex mutex_;
    ScanSink* sink_;
    bool detached_ = false;
    int inFlight_ = 0;
    int running_ = 0;
};

}  // namespace qc
