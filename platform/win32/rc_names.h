// The platform's names for our resource scripts (styles, languages, IDOK...): windres reads them
// from the platform headers in every build.
#pragma once

#include <windows.h>

#include <commctrl.h>
