// Resource identifiers of the settings dialog and the about box. Kept by hand: the main
// window's resources stay below 200 (controls below 1200), so the two scripts never clash.
#pragma once

#define IDD_SETTINGS 200
#define IDD_ABOUT 201

// Settings dialog. "OK" and "Cancel" are IDOK and IDCANCEL, so Enter and Esc work.
#define IDC_SET_LABEL1 1200
#define IDC_SET_TXTPREAMBLE 1201
#define IDC_SET_COMBO1 1202
#define IDC_SET_LABEL2 1203
#define IDC_SET_TXTPOSTAMBLE 1204
#define IDC_SET_COMBO2 1205
#define IDC_SET_LABEL4 1206
#define IDC_SET_HKKEY 1207
#define IDC_SET_LABEL3 1208
#define IDC_SET_CBOFORMAT 1209
#define IDC_SET_LABEL7 1210
#define IDC_SET_CBOUNITS 1211
#define IDC_SET_HKENABLED 1212
#define IDC_SET_CHKINCLUDEUNITS 1213
#define IDC_SET_CHKCOMMASEPARATOR 1214
#define IDC_SET_CHKLOADWITHWINDOWS 1215
#define IDC_SET_CHKMINIMIZEATSTARTUP 1216
#define IDC_SET_COMMAND1 1217
#define IDC_SET_SEPARATOR 1218
#define IDC_SET_LABEL5 1219
#define IDC_SET_CBOSAMPLERATE 1220
#define IDC_SET_LABEL6 1221
#define IDC_SET_LABEL8 1222
#define IDC_SET_CBOINTERCHARDELAY 1223
#define IDC_SET_LABEL9 1224

// About box.
#define IDC_ABOUT_ICON 1250
#define IDC_ABOUT_VERSION 1251
