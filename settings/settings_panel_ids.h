#pragma once
// Resource and control ids of the settings panel (settings_panel.rc).
#define IDD_SETTINGS_PANEL 101

#define IDC_SURESTREAM 1003
#define IDC_SINGLE_RATE 1004
#define IDC_AUDIO_FORMAT_LIST 1006
#define IDC_FREQUENCY_LIST 1007
// Audience check boxes: IDC_AUDIENCE_FIRST + i stands for audience i, i = 0..7.
#define IDC_AUDIENCE_FIRST 1009
#define IDC_AUDIENCE_LAST 1016
