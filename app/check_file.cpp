// The main window and the check file: loading, collecting, saving, and the title.
#include <string>

#include "app/check_items.h"
#include "app/res/resource.h"
#include "app/tavrin_dlg.h"
#include "app/version.h"
#include "config/settings.h"
#include "qc/check_file.h"

namespace app {

using namespace ui;

namespace {

constexpr DWORD kFileDialogFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
constexpr char16_t kCheckExtension[] = u"chk";

}  // namespace

void CTavrinDlg::UpdateWindowTitle() {
    std::u16string title = LoadString(IDS_TITLE) +
                           u" ("
                           u"" TAVRIN_VERSION_TEXT u")";
    if (!checkFilePath.empty())
        title += u" - " + checkFilePath;
    SetWindowText(title);
}

void CTavrinDlg::LoadCheckFile() {
    setup_.reset();
    const qc::StoredCheck stored = qc::ReadCheckFile(checkFilePath);
    for (std::size_t i = 0; i < kItemCount; ++i) {
        CheckItem& item = checkItems[i];
        item.enabled = stored.enabled[i];
        const HWND control = GetDlgItem(item.controlId);
        if (control == nullptr)
            continue;
        CBorrowed<>(control).EnableWindow(item.enabled != 0);
        if (IsListItem(i)) {
            // An entry beyond the list selects none; the control itself would keep the last.
            CBorrowed<CComboBox> combo(control);
            if (combo.SetCurSel(stored.entry[i]) == CB_ERR)
                combo.SetCurSel(-1);
        } else {
            item.value = stored.text[i];
            CBorrowed<>(control).SetWindowText(item.value);
        }
    }
}

void CTavrinDlg::CollectCheckValues() {
    setup_.reset();
    UpdateData(true);
    for (std::size_t i = 0; i < kItemCount; ++i) {
        CheckItem& item = checkItems[i];
        const HWND control = GetDlgItem(item.controlId);
        if (control == nullptr)
            continue;
        if (IsListItem(i)) {
            CBorrowed<CComboBox> list(control);
            const int selected = list.GetCurSel();
            item.value = selected < 0 ? std::u16string() : list.GetLBText(selected);
        } else {
            item.value = CBorrowed<>(control).GetWindowText();
        }
    }
}

void CTavrinDlg::SaveCheckFile() {
    CFileDialog dialog(false, kCheckExtension, checkFilePath, kFileDialogFlags,
                       LoadString(IDS_CHECK_FILTER), this);
    if (dialog.DoModal() != IDOK)
        return;
    checkFilePath = dialog.GetPathName();
    setup_.reset();  // its records name the file now in use
    UpdateWindowTitle();

    const qc::CheckSetup setup = CheckSetupNow();
    qc::WriteCheckFile(checkFilePath, setup.enabled, setup.expected, setup.lists);
    config::WriteSetting(&config::Settings::checkFile, checkFilePath, settingsPath);
}

void CTavrinDlg::OnSave() {
    CollectCheckValues();
    // The file in use becomes the start-up check file even if the dialog is then cancelled.
    config::WriteSetting(&config::Settings::checkFile, checkFilePath, settingsPath);
    SaveCheckFile();
}

void CTavrinDlg::OnLoad() {
    CFileDialog dialog(true, kCheckExtension, u"", kFileDialogFlags, LoadString(IDS_CHECK_FILTER),
                       this);
    if (dialog.DoModal() != IDOK)
        return;
    checkFilePath = dialog.GetPathName();
    UpdateWindowTitle();
    LoadCheckFile();
    // The loaded flags may show other items: the columns and the rows' cells follow them, so
    // that no value stands under another item's heading.
    results.RebuildItemColumns(ItemColumnsNow());
    for (int row = 0; row < resultList.GetItemCount(); ++row)
        results.FillRowValues(row);
}

}  // namespace app
