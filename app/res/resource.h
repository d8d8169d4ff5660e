// Resource ids of the program, named by kind: IDD_ dialog, IDS_ string, IDI_ icon, IDE_ edit box,
// IDX_ check box, IDB_ button, IDC_ drop-down list, IDL_ list view, IDT_ tree view. The numbers
// are fixed by the check items, the check and port map files and the message tables. Plain
// numbers only: windres reads this file as well as the compiler.
//
// Drop-down entries: a dialog template cannot hold them, so each dialog with drop-down lists has a
// resource of type LISTENTRIES with the dialog's id, in each language of the dialog, laid out as
// platform/res_format.h describes.
#pragma once

// Dialogs
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PORT_SELECT 129
#define IDD_CHECK_SELECT 130

// Icon
#define IDI_APP 128

// Strings
#define IDS_ABOUT 101
#define IDS_TITLE 102
#define IDS_PORT_TITLE 103
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
#define IDS_PORT_FILTER 122
#define IDS_DISK_TYPE 123
#define IDS_PARTITION_MODE 124
#define IDS_EFS 125
#define IDS_MASTER 126
#define IDS_SLEEP_MODE 127

// Main window (IDD_MAIN)
#define IDL_RESULTS 1000
#define IDB_RUN 1001
#define IDB_STOP 1002
#define IDB_REFRESH 1003
#define IDB_PORT_SELECT 1004
#define IDB_LOAD 1007
#define IDB_SAVE 1008
#define IDE_VENDOR_NAME 1010
#define IDE_PRODUCT_NAME 1011
#define IDE_VID 1012
#define IDE_PID 1013
#define IDB_CHECK_SELECT 1015
#define IDX_INFO_CHECK 1020
#define IDE_REVISION 1022
#define IDX_TOPMOST 1023
#define IDE_MP_VERSION 1024
#define IDE_CAP_MIN 1026
#define IDE_CAP_MAX 1027
#define IDE_INTERLEAVE 1030
#define IDE_CACHE_PROGRAM 1031
#define IDE_DUAL_MODE 1032
#define IDE_MULTI_PLANE 1033
#define IDE_RANDOMIZE 1034
#define IDC_IDLE 1036
#define IDC_BLINK 1037
#define IDC_RFREQ 1043
#define IDC_WFREQ 1044
#define IDE_DISK_TYPE 1049
#define IDE_PARTITION 1050
#define IDX_AUTO_CHECK 1051
#define IDE_FW_VERSION 1052
#define IDC_EFS 1053
#define IDE_MASTER 1055
#define IDC_SLEEP 1056

// Port selection (IDD_PORT_SELECT); Load and Save are IDB_LOAD and IDB_SAVE
#define IDT_PORTS 1005
#define IDX_ENABLE_PORT 1006

// Check selection (IDD_CHECK_SELECT): one check box per check item, with the id of the item's
// control in the main window
#define IDX_VID 1012
#define IDX_PID 1013
#define IDX_REVISION 1022
#define IDX_VENDOR_NAME 1010
#define IDX_PRODUCT_NAME 1011
#define IDX_RFREQ 1043
#define IDX_WFREQ 1044
#define IDX_IDLE 1036
#define IDX_SLEEP 1056
#define IDX_BLINK 1037
#define IDX_DISK_TYPE 1049
#define IDX_MASTER 1055
#define IDX_EFS 1053
#define IDX_PARTITION 1050
#define IDX_MULTI_PLANE 1033
#define IDX_CACHE_PROGRAM 1031
#define IDX_INTERLEAVE 1030
#define IDX_DUAL_MODE 1032
#define IDX_RANDOMIZE 1034
#define IDX_CAP_MIN 1026
#define IDX_CAP_MAX 1027
#define IDX_MP_VERSION 1024
#define IDX_FW_VERSION 1052
