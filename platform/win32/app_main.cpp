// The entry point of the Windows programs: the application object does the rest.
#include "platform/win32/win.h"

// GetCommandLineW serves whoever needs the arguments: the ANSI entry point needs no -municode.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return ui::RunApplication();
}
