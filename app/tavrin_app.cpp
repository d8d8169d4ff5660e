#include "app/tavrin_app.h"

#include "app/tavrin_dlg.h"

namespace app {

ui::BOOL CTavrinApp::InitInstance() {
    ui::InitCommonControls(ui::ICC_WIN95_CLASSES);
    CWinApp::InitInstance();
    CTavrinDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return ui::FALSE;  // no message loop of our own: the program ends with its window
}

}  // namespace app
