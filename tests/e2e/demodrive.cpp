// Drives a setup through its whole wizard for the demo, as a person would:
// accepts the licence and the proposed folder, ticks every box on the finish
// page and presses Finish; afterwards closes what the setup opened (the
// read-me viewer, the program's message box). At each stop it asks for a
// screenshot: it creates SHOTS\NAME.request and waits until the file is gone
// (the demo script takes the picture and removes it), for at most 30 s.
//
//   demodrive SETUP.exe PRODUCT SHOTS_FOLDER
//
// Prints the installation folder it used; exit status 0 when the wizard ran
// to its end.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "robot.h"
#include "wizard.h"

namespace {

std::string g_shots;

void Shot(const char* name) {
  std::string request = g_shots + "\\" + name + ".request";
  HANDLE h = CreateFileA(request.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  if (h == INVALID_HANDLE_VALUE) return;
  CloseHandle(h);
  DWORD start = GetTickCount();
  while (GetFileAttributesA(request.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 30000) Sleep(50);
  DeleteFileA(request.c_str());
}

// A visible top-level window of any process with that class (and caption).
HWND FindAny(const char* cls, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = FindWindowA(cls, caption);
    if (w && IsWindowVisible(w)) return w;
    if (GetTickCount() - start >= timeoutMs) return 0;
    Sleep(50);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: demodrive SETUP.exe PRODUCT SHOTS_FOLDER\n");
    return 2;
  }
  std::string setup = argv[1], product = argv[2];
  g_shots = argv[3];
  Robot robot;
  if (!robot.Start(setup)) {
    fprintf(stderr, "demodrive: cannot start %s\n", setup.c_str());
    return 1;
  }
  Wizard wiz(robot);
  if (!wiz.WaitForSheet(product, 120000) || !wiz.WaitForPage(PAGE1_LINE1)) {
    fprintf(stderr, "demodrive: the wizard did not come up\n");
    return 1;
  }
  Shot("1-welcome");
  wiz.Press(WIZ_NEXT);
  if (!wiz.WaitForPage(PAGE2_AGREE)) return 1;
  Robot::Click(wiz.CurrentPage(), PAGE2_AGREE);
  Sleep(200);
  Shot("2-licence");
  wiz.Press(WIZ_NEXT);
  if (!wiz.WaitForPage(PAGE3_FOLDER)) return 1;
  std::string folder = Robot::ControlText(wiz.CurrentPage(), PAGE3_FOLDER);
  Shot("3-folder");
  wiz.Press(WIZ_NEXT);
  if (!wiz.WaitForPage(PAGE4_STATUS)) return 1;
  Shot("4-copying");
  // The copy page ends by itself; any question is answered with its first
  // answer, a message with OK.
  wiz.rule = [](const Popup&) { return IDOK; };
  if (!wiz.WaitForPage(PAGE5_LINE1, 600000)) return 1;
  for (int box : {BOX_DESKTOP, BOX_STARTMENU, BOX_GROUP, BOX_README, BOX_RUN})
    if (wiz.IsEnabled(box) && wiz.IsVisible(box)) wiz.SetCheck(box, true);
  Shot("5-finish");
  wiz.Press(WIZ_FINISH);
  DWORD code = 1;
  if (!wiz.WaitForExit(120000, &code)) {
    fprintf(stderr, "demodrive: the setup did not end\n");
    return 1;
  }

  // What Finish opened: the read-me in its viewer and the program's box.
  HWND program = FindAny(DIALOG_CLASS, product.c_str(), 60000);
  FindAny("Notepad", 0, 10000);
  Sleep(500);
  Shot("6-opened");
  if (program) {
    HWND ok = GetDlgItem(program, IDOK);
    if (ok) PostMessageA(ok, BM_CLICK, 0, 0);
    else PostMessageA(program, WM_CLOSE, 0, 0);
  }
  if (HWND notepad = FindWindowA("Notepad", 0)) PostMessageA(notepad, WM_CLOSE, 0, 0);
  printf("%s\n", folder.c_str());
  return static_cast<int>(code);
}
