// Resource and command ids shared by the resource script and the shell code.
#pragma once

// Frame resource: the hidden main frame's menu and the application icon.
#define IDR_MAINFRAME 128
// Tray icon id, and the tray menu whose first submenu is shown on a right click.
#define IDR_TRAYMENU 131
// Tray icons: the normal one and the one shown while a picture is loaded on demand.
#define IDI_TRAY 134
#define IDI_TRAY_BUSY 135
// The menu of a show window, opened by a right click on the picture.
#define IDR_SHOWMENU 133
// "&About Quadrivue..." for the settings dialog's system menu.
#define IDS_ABOUTBOX 101

// Commands of the tray menu and the frame.
#define ID_SETTINGS 32771
#define ID_HOMEPAGE 32772
#define ID_NEXT_PICTURE 32773
#define ID_PAUSE_SHOW 32774
// Commands of a show's own menu (and the tray's for the first show).
#define ID_PREVIOUS_PICTURE 32775
#define ID_OPEN_PICTURE 32776
#define ID_SHOW_IN_FOLDER 32777
#define ID_NEVER_SHOW 32778
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665

// Dialog templates and the settings dialog's donation picture.
#define IDD_ABOUTBOX 100
#define IDD_SETTINGS 102
#define IDB_DONATE 131
// The settings dialog's system-menu item that opens the about box.
#define IDM_ABOUTBOX 0x0010

// Controls of the settings dialog (the about box uses 1019 and 1020 too).
#define IDC_MONITORS 1000
#define IDC_ADD_FOLDER 1002
#define IDC_REMOVE_FOLDER 1003
#define IDC_SUBFOLDERS 1005
#define IDC_SMART_CROP 1006
#define IDC_IGNORE_SMALL 1007
#define IDC_MIN_WIDTH 1008
#define IDC_RANDOM 1009
#define IDC_FOLDERS 1010
#define IDC_UPDATE_LIST 1011
#define IDC_INDEX_INFO 1012
#define IDC_UPDATE_ON_START 1013
#define IDC_INTERVAL 1014
#define IDC_SECONDS 1016
#define IDC_MINUTES 1017
#define IDC_FIT_MODE 1018
#define IDC_DONATE_PICTURE 1019
#define IDC_MAKER 1019
#define IDC_LINK_HOME 1020
#define IDC_LINK_DONATE 1021
// The sign-in start check box, and the note on hotkeys other programs hold
// (hidden while there is none).
#define IDC_START_WITH_WINDOWS 1022
#define IDC_HOTKEY_NOTE 1023
// Random order without repeats.
#define IDC_NO_REPEATS 1024
#define IDC_MATCH_SHAPE 1025
#define IDC_SAME_PICTURES 1026
#define IDC_PAUSE_ON_BATTERY 1027
#define IDC_FADE 1028

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
