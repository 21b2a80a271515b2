// Resource identifiers of the settings dialog and the about box. Kept by hand: the main
// window's resources stay below 200 (controls below 1200), so the two scripts never clash.
#pragma once

#define IDD_SETTINGS 200
#define IDD_ABOUT 201

// Settings dialog. "OK" and "Cancel" are IDOK and IDCANCEL, so Enter and Esc work.
#define IDC_SET_PREAMBLE_LABEL 1200
#define IDC_SET_PREAMBLE 1201
#define IDC_SET_PREAMBLE_TOKENS 1202
#define IDC_SET_POSTAMBLE_LABEL 1203
#define IDC_SET_POSTAMBLE 1204
#define IDC_SET_POSTAMBLE_TOKENS 1205
#define IDC_SET_HOTKEY_LABEL 1206
#define IDC_SET_HOTKEY 1207
#define IDC_SET_FORMAT_LABEL 1208
#define IDC_SET_FORMAT 1209
#define IDC_SET_UNITS_LABEL 1210
#define IDC_SET_UNITS 1211
#define IDC_SET_HOTKEY_ENABLED 1212
#define IDC_SET_INCLUDE_UNITS 1213
#define IDC_SET_COMMA_SEPARATOR 1214
#define IDC_SET_LOAD_WITH_WINDOWS 1215
#define IDC_SET_MINIMIZE_AT_STARTUP 1216
#define IDC_SET_ADVANCED 1217
#define IDC_SET_SEPARATOR 1218
#define IDC_SET_SAMPLE_RATE_LABEL 1219
#define IDC_SET_SAMPLE_RATE 1220
#define IDC_SET_SAMPLE_RATE_HELP 1221
#define IDC_SET_KEY_DELAY_LABEL 1222
#define IDC_SET_KEY_DELAY 1223
#define IDC_SET_KEY_DELAY_HELP 1224

// About box.
#define IDC_ABOUT_ICON 1250
#define IDC_ABOUT_VERSION 1251
