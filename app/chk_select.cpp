#include "app/chk_select.h"

#include "app/check_items.h"
#include "app/res/resource.h"

namespace app {

using namespace ui;

CChkSelect::CChkSelect(CWnd* parent) : CDialog(IDD_CHECK_SELECT, parent) {}

BOOL CChkSelect::OnInitDialog() {
    const BOOL result = CDialog::OnInitDialog();
    for (const CheckItem& item : checkItems) {
        if (const HWND box = GetDlgItem(item.controlId); box != nullptr) {
            // Any non-zero flag enables the item, so any non-zero flag is a tick.
            ui::SendMessage(box, BM_SETCHECK, item.enabled != 0 ? BST_CHECKED : BST_UNCHECKED);
        }
    }
    return result;
}

void CChkSelect::OnOK() {
    for (CheckItem& item : checkItems) {
        if (const HWND box = GetDlgItem(item.controlId); box != nullptr) {
            item.enabled = ui::SendMessage(box, BM_GETCHECK) == BST_CHECKED ? 1 : 0;
        }
    }
    CDialog::OnOK();
}

}  // namespace app
