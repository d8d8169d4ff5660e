// Resource ids of the About dialog. Plain numbers only: windres reads this
// file as well as the compiler.
#pragma once

#define IDD_ABOUT 100
