// Resource ids of the main window (IDD_MAIN) and its controls. Plain numbers only: windres reads
// this file as well as the compiler.
#pragma once

// Load and Save (IDB_LOAD, IDB_SAVE) share the port dialog's ids.
#include "usb/res/port_select.h"

#define IDD_MAIN 102

#define IDL_RESULTS 1000
#define IDB_RUN 1001
#define IDB_STOP 1002
#define IDB_REFRESH 1003
#define IDB_PORT_SELECT 1004
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
