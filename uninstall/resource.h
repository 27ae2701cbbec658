// Resource and control ids of the uninstaller.
#pragma once

#define IDD_UNINSTALL 102
#define IDI_RIDKIT 128
#define IDR_CLIP 129

#define IDC_STATUS 1000
#define IDC_HEADLINE 1001
#define IDC_PROGRESS 1002
#define IDC_ANIMATION 1004
// Made by the dialog at run time, not in the template.
#define IDC_LEFT_LIST 1224
