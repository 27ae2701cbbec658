// Resource and control ids of the setup program.
#pragma once

#define IDI_SETUP 128
#define IDD_STEP1 129
#define IDD_STEP2 130
#define IDD_STEP3 131
#define IDD_STEP4 132
#define IDD_STEP5 133
#define IDD_CANCEL 136
#define IDD_SPLASH 139
#define IDR_COPY_AVI 131
#define IDR_UNINSTALLER 138

// The sheet's own buttons, as the pages reach them.
#define ID_WIZBACK 12323
#define ID_WIZNEXT 12324
#define ID_SHEET_HELP 9

// Welcome page.
#define IDC_WELCOME_FIRST 1007  // lines 1 to 8: 1007 to 1014
// Licence page.
#define IDC_AGREE 1001
#define IDC_DISAGREE 1002
#define IDC_LICENCE 1006
#define IDC_LICENCE_LINE1 1015
#define IDC_LICENCE_LINE2 1016
// Folder page.
#define IDC_FOLDER 1000
#define IDC_BROWSE 1005
#define IDC_FOLDER_LINE1 1017  // lines 1 to 4: 1017 to 1020
// Confirmation.
#define IDC_CANCEL_MESSAGE 1000
#define IDC_CANCEL_ICON 1027
