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
#define IDD_FILES_IN_USE 140
#define IDR_COPY_AVI 131
#define IDR_UNINSTALLER 138

// The sheet's own buttons, as the pages reach them.
#define ID_WIZBACK 12323
#define ID_WIZNEXT 12324
#define ID_WIZFINISH 12325
#define ID_SHEET_HELP 9

// Welcome page: eight lines in a row.
#define IDC_WELCOME_LINE1 1007
#define IDC_WELCOME_LINE2 1008
#define IDC_WELCOME_LINE3 1009
#define IDC_WELCOME_LINE4 1010
#define IDC_WELCOME_LINE5 1011
#define IDC_WELCOME_LINE6 1012
#define IDC_WELCOME_LINE7 1013
#define IDC_WELCOME_LINE8 1014
// Licence page.
#define IDC_AGREE 1001
#define IDC_DISAGREE 1002
#define IDC_LICENCE 1006
#define IDC_LICENCE_LINE1 1015
#define IDC_LICENCE_LINE2 1016
// Folder page.
#define IDC_FOLDER 1000
#define IDC_BROWSE 1005
#define IDC_FOLDER_LINE1 1017  // four lines in a row
#define IDC_FOLDER_LINE2 1018
#define IDC_FOLDER_LINE3 1019
#define IDC_FOLDER_LINE4 1020
// For whom, shown for a package that lets the user choose.
#define IDC_SCOPE_MACHINE 1032
#define IDC_SCOPE_USER 1033
// Confirmation.
#define IDC_CANCEL_MESSAGE 1000
#define IDC_CANCEL_ICON 1027
// Files in use: what to do, the programs (or files), and the answers
// (IDRETRY, IDIGNORE, IDCANCEL).
#define IDC_INUSE_MESSAGE 1030
#define IDC_INUSE_LIST 1031
// Copy page.
#define IDC_COPY_HEADING 1021
#define IDC_COPY_STATUS 1025
#define IDC_COPY_ANIMATION 1004
#define IDC_COPY_PROGRESS 1002
#define IDC_COPY_ESTIMATE 1026
// Finish page.
#define IDC_FINISH_LINE1 1022
#define IDC_FINISH_LINE2 1023
#define IDC_FINISH_LINE3 1024
#define IDC_FINISH_DESKTOP 1003
#define IDC_FINISH_GROUP 1004
#define IDC_FINISH_STARTMENU 1005
#define IDC_FINISH_README 1006
#define IDC_FINISH_RUN 1007
#define IDC_FINISH_RESTART 1028  // shown when files wait for the restart
