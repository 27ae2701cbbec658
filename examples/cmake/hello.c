/* A tiny Windows program for the CMake example: a message box. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  MessageBoxW(NULL, L"Hello from a program built with CMake.", L"Hello", MB_OK);
  return 0;
}
