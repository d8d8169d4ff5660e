// Resource ids of the program: its icon and strings here, each dialog's ids in a header of its
// own (included below). Named by kind: IDD_ dialog, IDS_ string, IDI_ icon, IDE_ edit box, IDX_
// check box, IDB_ button, IDC_ drop-down list, IDL_ list view, IDT_ tree view. The numbers are
// fixed by the check items, the check and port map files and the message tables. Plain numbers
// only: windres reads these files as well as the compiler.
//
// Drop-down entries: a dialog template cannot hold them, so each dialog with drop-down lists has a
// resource of type LISTENTRIES with the dialog's id, in each language of the dialog, laid out as
// platform/res_format.h describes.
#pragma once

// Each dialog's own ids
#include "app/res/about.h"
#include "app/res/check_select.h"
#include "app/res/main_window.h"
#include "usb/res/port_select.h"

// Icon
#define IDI_APP 128

// Strings
#define IDS_ABOUT 101
#define IDS_TITLE 102
#define IDS_VID 104
#define IDS_PID 105
#define IDS_VERSION 106
#define IDS_VENDOR_NAME 107
#define IDS_PRODUCT_NAME 108
#define IDS_RFREQ 109
#define IDS_WFREQ 110
#define IDS_IDLE_MODE 111
#define IDS_BLINK_MODE 112
#define IDS_MULTI_PLANE 113
#define IDS_INTERLEAVE 114
#define IDS_CACHE_PROGRAM 115
#define IDS_DUAL_MODE 116
#define IDS_RANDOMIZE 117
#define IDS_CAPACITY 118
#define IDS_MP_VERSION 119
#define IDS_FW_VERSION 120
#define IDS_CHECK_FILTER 121
#define IDS_DISK_TYPE 123
#define IDS_PARTITION_MODE 124
#define IDS_EFS 125
#define IDS_MASTER 126
#define IDS_SLEEP_MODE 127
#define IDS_LOG_NOT_WRITTEN 128
