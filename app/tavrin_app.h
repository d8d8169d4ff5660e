// The application: registers the common controls, runs the main window modally, and ends
// when it closes.
#pragma once

#include "platform/ui.h"

namespace app {

class CTavrinApp : public ui::CWinApp {
  public:
    ui::BOOL InitInstance() override;
};

}  // namespace app
