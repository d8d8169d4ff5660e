// Resource ids of the check selection dialog (IDD_CHECK_SELECT): one check box per check item,
// with the id of the item's control in the main window. Plain numbers only: windres reads this
// file as well as the compiler.
#pragma once

#define IDD_CHECK_SELECT 130

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
