// The check selection dialog: one tick box per check item, found by the item's control id.
#pragma once

#include "platform/ui.h"

namespace app {

class CChkSelect : public ui::CDialog {
  public:
    explicit CChkSelect(ui::CWnd* parent = nullptr);
    ui::BOOL OnInitDialog() override;
    void OnOK() override;
};

}  // namespace app
