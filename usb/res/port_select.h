// Resource ids of the port selection dialog (IDD_PORT_SELECT), its title, its file filter and
// the messages of a map it could not save.
// The program's resource scripts hold the dialog; usb/ needs no other ids. Plain numbers only:
// windres reads this file as well as the compiler.
#pragma once

#define IDD_PORT_SELECT 129

#define IDS_PORT_TITLE 103
#define IDS_PORT_FILTER 122
#define IDS_PORT_NOT_SAVED 129
#define IDS_PORT_FOLDER_NOT_WRITTEN 130
#define IDS_PORT_NOT_REPLACED 131
#define IDS_PORT_SETTING_NOT_WRITTEN 132

#define IDT_PORTS 1005
#define IDX_ENABLE_PORT 1006
// The main window's Load and Save have the same ids and take them from here.
#define IDB_LOAD 1007
#define IDB_SAVE 1008
