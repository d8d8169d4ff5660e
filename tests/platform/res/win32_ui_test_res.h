// Resources of the Win32 class-library tests (win32_ui_test.rc).
#pragma once

#define IDD_W32_DIALOG 31001
#define IDX_W32_TICK 31101
#define IDL_W32_LIST 31102
#define IDE_W32_NAME 31103
#define IDC_W32_LANGUAGE 31104
#define IDS_W32_GREETING 31001
#define IDS_W32_ENGLISH_ONLY 31002
#define IDI_W32_ICON 31001
