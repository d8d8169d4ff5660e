#include "app/about_dlg.h"

#include "app/res/resource.h"

namespace app {

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}

}  // namespace app
