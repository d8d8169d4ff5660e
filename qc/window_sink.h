// The scan's way to the main window: the three messages, sent synchronously, and the list's
// cells read with list messages, which the window's thread carries out while the scan waits.
#pragma once

#include "platform/ui.h"
#include "qc/device_scan.h"
#include "qc/messages.h"
#include "qc/result_list.h"

namespace qc {

class WindowScanSink final : public ScanSink {
  public:
    WindowScanSink(ui::HWND window, ui::HWND list, const ResultList& results)
        : window_(window), list_(list), results_(results) {}

    void CollectCheckValues() override { ui::SendMessage(window_, kMsgCollectCheckValues); }
    void AddDeviceRow(const usb::UsbDeviceEntry& entry) override {
        ui::SendMessage(window_, kMsgAddDeviceRow, reinterpret_cast<ui::WPARAM>(&entry));
    }
    void ClearRow(int row, char16_t letter) override {
        ui::SendMessage(window_, kMsgClearRow, static_cast<ui::WPARAM>(row),
                        static_cast<ui::LPARAM>(letter));
    }
    int RowCount() override { return List().GetItemCount(); }
    std::u16string VolCell(int row, int bufferSize) override {
        return List().GetItemText(row, results_.portMode(), bufferSize);
    }
    bool IsDriveListed(char16_t letter) override {
        return ui::SendMessage(window_, kMsgIsDriveListed, static_cast<ui::WPARAM>(letter)) != 0;
    }

  private:
    ui::CBorrowed<ui::CListCtrl> List() const { return ui::CBorrowed<ui::CListCtrl>(list_); }

    ui::HWND window_;
    ui::HWND list_;
    const ResultList& results_;
};

}  // namespace qc
