// Stand-in for the uninstaller until it exists: the setup carries and writes it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(0, "卸载程序尚在开发中。", "ridkit", MB_OK);
  return 0;
}
