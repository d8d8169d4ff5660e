// The QC run as the main window drives it: the result list's host, the scan's messages, the
// device notices, Run, Refresh, USB Port Select and the list's notifications.
#include "app/check_items.h"
#include "app/res/resource.h"
#include "app/tavrin_dlg.h"
#include "device/controller.h"
#include "device/drive.h"
#include "usb/port_map.h"
#include "usb/usb_port.h"

namespace app {

using namespace ui;

// ---- The result list's host

qc::EnabledFlags CTavrinDlg::Enabled() const {
    qc::EnabledFlags flags{};
    for (std::size_t i = 0; i < kItemCount; ++i)
        flags[i] = checkItems[i].enabled;
    return flags;
}

std::u16string CTavrinDlg::Expected(std::size_t item) const {
    return item < kItemCount ? checkItems[item].value : std::u16string();
}

std::u16string CTavrinDlg::Caption(std::size_t item) const {
    return item < kItemCount ? LoadString(checkItems[item].captionId) : std::u16string();
}

int CTavrinDlg::ColumnWidth(std::size_t item) const {
    return item < kItemCount ? checkItems[item].columnWidth : 0;
}

int CTavrinDlg::EfsSelection() const {
    const HWND efs = GetDlgItem(IDC_EFS);
    return efs == nullptr ? -1 : CBorrowed<CComboBox>(efs).GetCurSel();
}

int CTavrinDlg::EfsEntryCount() const {
    const HWND efs = GetDlgItem(IDC_EFS);
    return efs == nullptr ? 0 : CBorrowed<CComboBox>(efs).GetCount();
}

device::SelectionLists CTavrinDlg::SelectionLists() const {
    return SelectionListsFromControls();
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
    return results.AddDeviceRow(entry);
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
    for (int row = 0; row < resultList.GetItemCount(); ++row)
        results.CheckRow(row);
}

void CTavrinDlg::OnPortSelect() {
    usb::CUsbPort dialog(this);
    if (dialog.DoModal() != IDOK)
        return;
    // Against the program folder, as at start-up and in the dialog: a relative path would
    // follow the current folder, which the file dialogs move.
    portFilePath = usb::ReadPortFileSetting(settingsPath);
    results.ClearAllRows();
    results.SetPortMode(usb::EnablePortOf(portFilePath) == 1 ? 1 : 0);
    // From the list the dialog's enumeration left, before the dialog object (an enumerator,
    // which empties the list when it goes) is destroyed.
    RebuildRowsFromDeviceList();
}

void CTavrinDlg::RebuildRowsFromDeviceList() {
    // The list stays as it is while it is walked: a scan that wants it waits.
    const usb::CEnumUSB::ListLock hold(ui::WaitServingSentMessages);
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        usb::UsbDeviceEntry entry;
        usb::CEnumUSB::GetNextDevice(&entry, &position);
        const usb::VolumeEntry* volume = entry.firstVolume;
        if (volume == nullptr || volume->driveLetter == 0 ||
            results.IsDriveListed(volume->driveLetter))
            continue;
        if (qc::IsSupportedVolume(volume->driveLetter))
            results.AddDeviceRow(entry);
    }
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
