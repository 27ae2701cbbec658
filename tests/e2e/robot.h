// The test robot: starts a Windows program and drives it through its windows as
// a user would, with bounded waits. A program still running when the robot is
// destroyed is killed, so a failing test never hangs.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "tests/fileutil.h"

// Dialog boxes and message boxes have this window class.
#define DIALOG_CLASS "#32770"
// The text of a message box sits in the static control with this id.
#define MSGBOX_TEXT_ID 0xFFFF

class Robot {
 public:
  Robot();
  ~Robot();

  // Starts the program (a path, quoted on its command line) with arguments.
  bool Start(const std::string& program, const std::string& args = "");
  // The same as a user who has not been granted the administrator's rights:
  // with the limited half of the token (its linked token; Wine gives every
  // program the elevated half).
  bool StartLimited(const std::string& program, const std::string& args = "");
  // Drives a program another one started (its process id) from now on.
  bool Attach(DWORD processId);
  // A visible top-level window of the program with that class and caption
  // (null for any caption); null when none appears before the deadline or the
  // program ends first.
  HWND WaitForWindow(const char* cls, const char* caption = 0, DWORD timeoutMs = 10000);
  // The program's visible top-level windows of that class now.
  HWND FindWindowOf(const char* cls, const char* caption = 0) const;
  // Waits for the program to end; false on timeout (the program is then killed).
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = 0);
  bool Running() const;
  DWORD ProcessId() const { return pi_.dwProcessId; }
  void Kill();

  // The text of a window (code page 936 bytes, converted from what the window
  // holds in UTF-16 whatever the system's code page), read without blocking
  // on a busy program for long.
  static std::string Text(HWND w);
  static std::string ControlText(HWND dialog, int id);
  // Presses an enabled button of a dialog; false when it is missing or disabled.
  static bool Click(HWND dialog, int id);

  // A visible top-level window of the program that matches.
  HWND FindWindowWhere(const std::function<bool(HWND)>& match) const;
  HWND WaitForWindowWhere(const std::function<bool(HWND)>& match, DWORD timeoutMs = 10000);
  static bool IsClass(HWND w, const char* cls);
  // A visible dialog of the program owned by that window (its modal dialogs).
  HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs = 10000);
  // Polls the condition until it holds, the deadline passes or the program
  // ends; the condition's last value.
  bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

  static bool Visible(HWND dialog, int id);
  static bool Enabled(HWND dialog, int id);
  static bool Checked(HWND dialog, int id);
  static void SetControlText(HWND dialog, int id, const std::string& text);
  static void SetControlText(HWND dialog, int id, const std::wstring& text);
  // A key pressed and released in the window that has the focus in w's thread.
  static void PressKey(HWND w, int vk);
  // The close box of a window's caption bar.
  static void CloseBox(HWND w);

 private:
  PROCESS_INFORMATION pi_;
};

// Polls the condition until it holds or the deadline passes (for what no
// program of a robot shows); its last value.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs);

// A visible top-level window of any process (the uninstaller's temporary copy
// is not the robot's child: its dialog is found by class and caption); null
// when none appears in time.
HWND WaitForTopWindow(const char* cls, const char* caption, DWORD timeoutMs);
// A path of the Linux build (as compile definitions give them) as Wine sees it.
std::string WinePath(const char* unixPath);
// Code page 936 text (the tests' literals) and UTF-16, converted explicitly.
std::wstring Wide936(const std::string& text);
std::string Narrow936(const wchar_t* text);
// The user's temporary folder, ending with a backslash.
std::string TempFolder();
