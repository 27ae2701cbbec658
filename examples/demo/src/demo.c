/* The demo package's program: shows who it is in a message box and ends.
   Started with a file (through the "dmo" association) it names that file.
   It records nothing anywhere. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  WCHAR text[1024];
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  if (argv && argc > 1) {
    lstrcpynW(text, L"演示软件打开了文件：\n", 64);
    lstrcpynW(text + lstrlenW(text), argv[1], 900);
  } else {
    lstrcpynW(text, L"演示软件已经安装好了。\n\n这是安装程序的示例程序，它不会记录任何内容。", 1024);
  }
  MessageBoxW(NULL, text, L"演示软件", MB_OK | MB_ICONINFORMATION);
  if (argv) LocalFree(argv);
  return 0;
}
