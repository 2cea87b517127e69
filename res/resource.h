// Resource and control numbers of the dialogs: the Windows resources and
// both window layers use them. Plain #defines, without Windows headers.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_SETTINGS_DIALOG 102
#define IDS_SAVE_FAILED 103
#define IDS_LOAD_FAILED 104
#define IDS_WRONG_FOLDER 105
#define IDS_CREATE_FAILED 106
#define IDS_NO_1024_MODE 107
// Texts of the Linux program that Windows has of its own.
#define IDS_MESSAGE_OK 108
#define IDS_DIALOG_FONT 109
// What a failure of the store means and what to do, one string each.
#define IDS_FAILED_OTHER 110
#define IDS_FAILED_NOT_FOUND 111
#define IDS_FAILED_IS_DIRECTORY 112
#define IDS_FAILED_NOT_A_FILE 113
#define IDS_FAILED_READ_ONLY 114
#define IDS_FAILED_NO_PERMISSION 115
#define IDS_FAILED_LINK_REFUSED 116
#define IDS_FAILED_TOO_LARGE 117
#define IDS_FAILED_BUSY 118
#define IDS_FAILED_INVALID_TEXT 119
#define IDS_FAILED_DISK_FULL 120
#define IDS_FAILED_QUOTA 121
#define IDS_FAILED_IO_ERROR 122
#define IDS_FAILED_DAMAGED 123
#define IDI_WINDOW 125
// The settings dialog's caption, for its messages.
#define IDS_CAPTION 126
#define IDI_PICTURE 128

// Controls of the settings dialog.
#define IDC_COLOR_16 1003
#define IDC_COLOR_32 1004
#define IDC_SOUND 1005
#define IDC_MUSIC 1006
#define IDC_VSYNC_ON 1008
#define IDC_VSYNC_OFF 1009
#define IDC_MOTION_BLUR 1012
#define IDC_SOFT_CURSOR 1013
#define IDC_RES_800X600 1014
#define IDC_RES_1024X768 1015

// The dialog buttons and controls without a number, as <windows.h> has them.
#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
