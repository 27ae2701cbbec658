// Until the wizard exists: says what the package holds, so that a run shows the
// package was read.
#include <stdio.h>

#include "setupapp.h"

void RunWizard(CSetupApp& app) {
  char text[512];
  snprintf(text, sizeof text, "%s\n\n安装向导尚在开发中: 包内有 %d 个文件。", app.ProductName,
           app.FileList.count);
  MessageBoxA(0, text, "setup", MB_OK);
}
