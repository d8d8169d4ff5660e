// The platform's names for our resource scripts, read by windres from the platform headers.
// tavrin-rcgen leaves system headers out and knows the names from platform/resource_names.h.
#pragma once

#include <windows.h>

#include <commctrl.h>
