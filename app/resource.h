// Resource and command identifiers of the main window. Kept by hand: the dialogs use 200 and
// above (controls 1200 and above), so everything here stays below those.
#pragma once

#define IDI_PESORA 1  // the program's icon (16x16 and 32x32, 16 colours)
#define IDR_MAINMENU 100

// Menu commands (WM_COMMAND identifiers).
#define IDM_EXIT 110      // File > Exit (mExit)
#define IDM_EDITCOPY 111  // Edit > Copy (EditCopy)
#define IDM_SETTINGS 112  // Settings... on the menu bar (mSettings)
#define IDM_CONTENTS 113  // Help > Contents (mContents)
#define IDM_ABOUT 114     // Help > About... (mAbout)

// Controls of the main window.
#define IDC_SELECT_SCALE_LABEL 1001
#define IDC_SCALE_LIST 1002
#define IDC_ZERO_BUTTON 1003
#define IDC_WEIGHT_CAPTION 1004
#define IDC_WEIGHT 1005
#define IDC_STATUS 1006
#define IDC_REFRESH_BUTTON 1007
#define IDC_SPARE_LIST 1008
#define IDC_CONTINUOUS_READ 1009
#define IDC_READ_INPUT 1010
#define IDC_TIMEOUT_COUNT 1011
#define IDC_CONNECTION_LABEL 1012
#define IDC_DEVICE_STATUS 1013
#define IDC_SERIAL 1014
#define IDC_MANUFACTURER 1015
#define IDC_DEVICE 1016
#define IDC_DEVICE_VERSION 1017
