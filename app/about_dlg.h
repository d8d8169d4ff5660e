// The About box: icon, name and version, OK.
#pragma once

#include "platform/ui.h"

namespace app {

class CAboutDlg : public ui::CDialog {
  public:
    CAboutDlg();
};

}  // namespace app
