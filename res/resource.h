// Resource and command ids shared by the resource script and the shell code.
#pragma once

// Frame resource: the hidden main frame's menu and the application icon.
#define IDR_MAINFRAME 128
// Tray icon id, and the tray menu whose first submenu is shown on a right click.
#define IDR_TRAYMENU 131
// Tray icons: the normal one and the one shown while a picture is loaded on demand.
#define IDI_TRAY 134
#define IDI_TRAY_BUSY 135
// "&About Quadrivue..." for the settings dialog's system menu.
#define IDS_ABOUTBOX 101

// Commands of the tray menu and the frame.
#define ID_SETTINGS 32771
#define ID_HOMEPAGE 32772
#define ID_NEXT_PICTURE 32773
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
