// The QC run as the main window drives it: what the result list goes by, the scan's messages,
// the device notices, Run, Refresh, USB Port Select and the list's notifications.
#include <optional>

#include "app/check_items.h"
#include "app/res/resource.h"
#include "app/tavrin_dlg.h"
#include "config/settings.h"
#include "config/stored_path.h"
#include "qc/disk_offer.h"
#include "usb/port_map.h"
#include "usb/usb_port.h"

namespace app {

using namespace ui;

// ---- What the result list goes by

qc::CheckSetup CTavrinDlg::CheckSetupNow() const {
    qc::CheckSetup setup;
    for (std::size_t i = 0; i < kItemCount; ++i) {
        setup.enabled[i] = checkItems[i].enabled;
        setup.expected[i] = checkItems[i].value;
    }
    setup.efsSelection = EfsSelectionNow();
    setup.lists = SelectionListsFromControls();
    setup.portFile = portFilePath;
    setup.checkFile = config::MakeStoredPath(checkFilePath, config::ProgramDirectory());
    setup.autoCheck = autoCheck != 0;
    return setup;
}

// Read at the moment of the check, unlike the other expected values.
int CTavrinDlg::EfsSelectionNow() const {
    const HWND efs = GetDlgItem(IDC_EFS);
    return efs == nullptr ? -1 : CBorrowed<CComboBox>(efs).GetCurSel();
}

qc::CheckSetup CTavrinDlg::SetupForCheck() {
    if (setup_)
        setup_->efsSelection = EfsSelectionNow();
    else
        setup_ = CheckSetupNow();
    return *setup_;
}

qc::ItemColumns CTavrinDlg::ItemColumnsNow() const {
    qc::ItemColumns columns;
    for (std::size_t i = 0; i < kItemCount; ++i) {
        columns.enabled[i] = checkItems[i].enabled;
        columns.captions[i] = LoadString(checkItems[i].captionId);
        columns.widths[i] = checkItems[i].columnWidth;
    }
    return columns;
}

device::SelectionLists CTavrinDlg::SelectionListsFromControls() const {
    const auto entries = [this](int id) {
        std::vector<std::u16string> list;
        const HWND control = GetDlgItem(id);
        if (control == nullptr)
            return list;
        const CBorrowed<CComboBox> combo(control);
        for (int i = 0; i < combo.GetCount(); ++i)
            list.push_back(combo.GetLBText(i));
        return list;
    };
    return {entries(IDC_RFREQ), entries(IDC_WFREQ), entries(IDC_IDLE),
            entries(IDC_SLEEP), entries(IDC_BLINK), entries(IDC_EFS)};
}

// ---- The scan and its messages

void CTavrinDlg::StartScan() {
    if (scan != nullptr)
        scan->StartScan();
}

LRESULT CTavrinDlg::OnDeviceChange(WPARAM event, LPARAM) {
    if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE)
        StartScan();
    return TRUE;
}

// A scan's message that arrives while the window closes (served while it detaches) changes
// nothing.
bool CTavrinDlg::Closing() const {
    return scan == nullptr || scan->detached();
}

LRESULT CTavrinDlg::OnCollectCheckValues(WPARAM, LPARAM) {
    if (!Closing())
        CollectCheckValues();
    return 0;
}

LRESULT CTavrinDlg::OnAddDeviceRow(WPARAM wParam, LPARAM) {
    if (Closing() || wParam == 0)
        return -1;
    const auto& entry = *reinterpret_cast<const usb::UsbDeviceEntry*>(wParam);
    // The scan asked whether the disk is listed a message earlier; the window may have listed
    // it since (the rows rebuilt after the port dialog).
    if (entry.firstVolume != nullptr && results.IsDriveListed(entry.firstVolume->driveLetter))
        return -1;
    return results.AddDeviceRow(entry, SetupForCheck());
}

LRESULT CTavrinDlg::OnIsDriveListed(WPARAM wParam, LPARAM) {
    return results.IsDriveListed(static_cast<char16_t>(wParam)) ? 1 : 0;
}

// The scan read the row's letter a message earlier; the rows may have been rebuilt since (after
// the port dialog), and a disk placed there meanwhile stays.
LRESULT CTavrinDlg::OnClearRowMessage(WPARAM wParam, LPARAM lParam) {
    if (!Closing())
        results.ClearRowShowing(static_cast<int>(wParam), static_cast<char16_t>(lParam));
    return 0;
}

// ---- Buttons

void CTavrinDlg::OnRefresh() {
    results.ClearAllRows();
    StartScan();
}

void CTavrinDlg::OnRun() {
    CollectCheckValues();
    if (infoCheck == 0)
        return;
    const qc::CheckSetup setup = SetupForCheck();
    for (int row = 0; row < resultList.GetItemCount(); ++row)
        results.CheckRow(row, setup);
}

void CTavrinDlg::OnPortSelect() {
    usb::CUsbPort dialog(this);
    if (dialog.DoModal() != IDOK)
        return;
    // Against the program folder, as at start-up and in the dialog: a relative path would
    // follow the current folder, which the file dialogs move.
    portFilePath = usb::ReadPortFileSetting(settingsPath);
    setup_.reset();
    results.ClearAllRows();
    results.SetPortMode(usb::EnablePortOf(portFilePath) == 1 ? 1 : 0, ItemColumnsNow());
    // From the list the dialog's enumeration left, before the dialog object (an enumerator,
    // which empties the list when it goes) is destroyed.
    RebuildRowsFromDeviceList();
}

void CTavrinDlg::RebuildRowsFromDeviceList() {
    // Copied under the list's lock; a scan that wants the list meanwhile waits.
    const qc::DiskTaker window{
        [this](char16_t letter) -> std::optional<bool> { return results.IsDriveListed(letter); },
        [this](const usb::UsbDeviceEntry& entry) {
            results.AddDeviceRow(entry, SetupForCheck());
            return true;
        },
        {}};
    qc::OfferDisks(qc::CopyDevices(ui::WaitServingSentMessages, nullptr), window);
}

// ---- The list's drawing and selection, and the bars' clicks

LRESULT CTavrinDlg::OnBarClicked(WPARAM, LPARAM) {
    results.SelectRowUnderCursor();
    return 0;
}

void CTavrinDlg::OnListCustomDraw(NMHDR* header, LRESULT* result) {
    *result = results.OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(header));
}

void CTavrinDlg::OnListItemChanged(NMHDR* header, LRESULT* result) {
    results.OnItemChanged(*reinterpret_cast<const NMLISTVIEW*>(header));
    *result = 0;
}

void CTavrinDlg::OnListSetFocus(NMHDR*, LRESULT* result) {
    results.OnFocusChanged(true);
    *result = 0;
}

void CTavrinDlg::OnListKillFocus(NMHDR*, LRESULT* result) {
    results.OnFocusChanged(false);
    *result = 0;
}

}  // namespace app
