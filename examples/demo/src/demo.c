/* The demo packages' program: shows who it is in a message box and ends.
   Started with a file (through the package's association) it names that
   file. It records nothing anywhere. Built as it is for the Chinese demo,
   with DEMO_ENGLISH for the English one. */
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
#ifdef DEMO_ENGLISH
  const WCHAR* opened = L"Demo App opened the file:\n";
  const WCHAR* installed = L"Demo App is installed.\n\nIt is the example program of the setup; it records nothing.";
  const WCHAR* name = L"Demo App";
#else
  const WCHAR* opened = L"演示软件打开了文件：\n";
  const WCHAR* installed = L"演示软件已经安装好了。\n\n这是安装程序的示例程序，它不会记录任何内容。";
  const WCHAR* name = L"演示软件";
#endif
  if (argv && argc > 1) {
    lstrcpynW(text, opened, 64);
    lstrcpynW(text + lstrlenW(text), argv[1], 900);
  } else {
    lstrcpynW(text, installed, 1024);
  }
  MessageBoxW(NULL, text, name, MB_OK | MB_ICONINFORMATION);
  if (argv) LocalFree(argv);
  return 0;
}
