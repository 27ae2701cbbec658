// Stand-in for the setup program: reads its own package and says what it holds.
#include <stdio.h>

#include "common/container.h"
#include "common/packageindex.h"
#include "framework/memory.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[256] = {0};
  GetModuleFileNameA(NULL, path, 255);
  long len = 0, seek = 0;
  long n = 0;
  char* index = 0;
  if (ReadTrailer(path, len, seek)) {
    n = len;
    index = ReadRegion(path, n, seek);
  }
  if (!index) {
    MessageBoxA(NULL, "初始化数据失败!", "", MB_OK);
    return 1;
  }
  CFieldTable table;
  table.LoadBytes(index, static_cast<int>(n), TABLE_KEY);
  FreeBuffer(index);
  PackageSettings s;
  ParsePackageIndex(table, s);
  char text[512];
  snprintf(text, sizeof text, "%s\n\n安装程序尚在开发中: 包内有 %d 个文件。", s.ProductName, s.FileList.count);
  MessageBoxA(NULL, text, "setup", MB_OK);
  return 0;
}
