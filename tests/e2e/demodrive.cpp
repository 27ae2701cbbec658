// Drives a setup through its whole wizard for the demo, as a person would:
// accepts the licence and the proposed folder, ticks every box on the finish
// page and presses Finish; afterwards closes what the setup opened (the
// read-me viewer, the program's message box). With --remove it takes the
// product away again: opens the uninstaller's shortcut in the program group,
// presses button 1 ("卸载", "Uninstall") in the uninstall dialog and closes
// it at the end. At each
// stop it asks for a screenshot: it creates SHOTS\NAME.request and waits
// until the file is gone (the demo script takes the picture and removes it),
// for at most 30 s. At each stop of the wizard and the uninstall dialog it
// also writes what the windows show into SHOTS\texts.txt (UTF-8, read in
// UTF-16): the same on every system code page when the texts are right.
//
//   demodrive SETUP.exe PRODUCT SHOTS_FOLDER
//   demodrive --remove PRODUCT SHOTS_FOLDER
//
// Prints the installation folder it used, or the state the removal ended in
// and any files it left; exit status 0 when the wizard or the removal ran to
// its end.
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "robot.h"
#include "uninstall/core/texts.h"
#include "uninstall/resource.h"
#include "wizard.h"

namespace {

std::string g_shots;

// A window's text in UTF-8, read in UTF-16.
std::string Utf8Text(HWND w) {
  WCHAR wide[4096] = {0};
  DWORD_PTR r = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG, 5000, &r);
  wide[4095] = 0;
  char text[16384] = {0};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, 0, 0);
  return text;
}

BOOL CALLBACK WriteControlText(HWND w, LPARAM lp) {
  char cls[64] = {0};
  GetClassNameA(w, cls, sizeof cls);
  if (IsWindowVisible(w))
    fprintf(reinterpret_cast<FILE*>(lp), "  %d %s: %s\n", GetDlgCtrlID(w), cls, Utf8Text(w).c_str());
  return TRUE;
}

// Appends the caption of the window and the texts of its visible controls,
// in window order, each with its id and class.
void WriteTexts(HWND top, const char* name) {
  std::string path = g_shots + "\\texts.txt";
  FILE* f = fopen(path.c_str(), "ab");
  if (!f) return;
  fprintf(f, "[%s] %s\n", name, Utf8Text(top).c_str());
  EnumChildWindows(top, WriteControlText, reinterpret_cast<LPARAM>(f));
  fclose(f);
}

// Asks for a picture of the screen; with a window, the request names its
// place on the screen (WxH+X+Y), for a picture of the window alone.
void Shot(const char* name, HWND window = 0) {
  std::string request = g_shots + "\\" + name + ".request";
  HANDLE h = CreateFileA(request.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  if (h == INVALID_HANDLE_VALUE) return;
  RECT r;
  if (window && GetWindowRect(window, &r)) {
    char place[64];
    int n = snprintf(place, sizeof place, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
    DWORD written = 0;
    WriteFile(h, place, static_cast<DWORD>(n), &written, 0);
  }
  CloseHandle(h);
  DWORD start = GetTickCount();
  while (GetFileAttributesA(request.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 30000) Sleep(50);
  DeleteFileA(request.c_str());
}

// Waits until the program of window w has done what it was told and drawn
// itself: idle (waiting for input), then once more after a message sent
// through its queue, so that what the first wait found pending (painting)
// is done too. A screenshot then shows the state, not a frame on its way.
void Settled(HWND w) {
  if (!w) return;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = pid ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid) : 0;
  if (process) WaitForInputIdle(process, 5000);
  DWORD_PTR r = 0;
  SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
  if (process) {
    WaitForInputIdle(process, 5000);
    CloseHandle(process);
  }
}

// A visible top-level window of any process with that class (and caption).
HWND FindAny(const char* cls, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  std::wstring wideCaption = caption ? Wide936(caption) : std::wstring();
  for (;;) {
    HWND w = FindWindowW(Wide936(cls).c_str(), caption ? wideCaption.c_str() : 0);
    if (w && IsWindowVisible(w)) return w;
    if (GetTickCount() - start >= timeoutMs) return 0;
    Sleep(50);
  }
}

// Waits until no window of that class and caption is left (the program that
// showed it has ended).
bool WaitGone(const char* cls, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  std::wstring wideCaption = Wide936(caption);
  while (HWND w = FindWindowW(Wide936(cls).c_str(), wideCaption.c_str())) {
    if (!IsWindowVisible(w) || GetTickCount() - start >= timeoutMs) return !IsWindowVisible(w);
    Sleep(50);
  }
  return true;
}

// Closes a window another program showed and waits until that program has
// ended: a hidden window is not a finished program. (Wine on a display
// without a window manager keeps a closed window, and so its process, for
// about two more seconds; a program still running keeps its file in use.)
bool CloseAndWaitForProgram(HWND w, bool clickOk, DWORD timeoutMs) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : 0;
  HWND ok = clickOk ? GetDlgItem(w, IDOK) : 0;
  if (ok) PostMessageA(ok, BM_CLICK, 0, 0);
  else PostMessageA(w, WM_CLOSE, 0, 0);
  if (!process) {  // not ours to wait for: at least the window itself
    DWORD start = GetTickCount();
    while (IsWindow(w) && GetTickCount() - start < timeoutMs) Sleep(50);
    return !IsWindow(w);
  }
  bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

// An entry of the uninstall dialog's list of files left. The list belongs to
// another process: its text crosses in the wide form.
std::string ListEntry(HWND list, int i) {
  WCHAR wide[1024] = {0};
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG, 5000, &r))
    return "";
  wide[1023] = 0;
  return Narrow936(wide);
}

// Whether caption is the uninstaller's text id in one of its languages.
bool EndCaption(const std::string& caption, UninstallTextId id) {
  for (int i = 0; i < UninstallLanguages().Count(); i++)
    if (caption == UninstallLanguages()[i]->Texts[id]) return true;
  return false;
}

// The removal as a user does it, through ridkit.lnk in the program group.
int Remove(const std::string& product) {
  // The product's own message box (from the installation's last page) has
  // the same caption as the uninstall dialog: it must be gone first.
  WaitGone(DIALOG_CLASS, product.c_str(), 30000);
  WCHAR programs[MAX_PATH + 1] = {0};
  SHGetSpecialFolderPathW(0, programs, CSIDL_PROGRAMS, FALSE);
  std::string link = Narrow936(programs) + "\\" + product + "\\ridkit.lnk";
  if (GetFileAttributesW(Wide936(link).c_str()) == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "demodrive: no uninstaller shortcut %s\n", link.c_str());
    return 1;
  }
  if (reinterpret_cast<INT_PTR>(ShellExecuteW(0, 0, Wide936(link).c_str(), 0, 0, SW_SHOWNORMAL)) <= 32) {
    fprintf(stderr, "demodrive: cannot open %s\n", link.c_str());
    return 1;
  }
  // The dialog is the temporary copy's, started by the uninstaller itself.
  HWND dlg = FindAny(DIALOG_CLASS, product.c_str(), 120000);
  if (!dlg) {
    fprintf(stderr, "demodrive: the uninstall dialog did not come up\n");
    return 1;
  }
  Settled(dlg);
  WriteTexts(dlg, "7-uninstall-ready");
  Shot("7-uninstall-ready", dlg);
  if (!Robot::Click(dlg, IDOK)) return 1;
  Settled(dlg);
  Shot("8-uninstall-running", dlg);
  DWORD start = GetTickCount();
  // The end shows in button 1's caption ("" is a question the busy dialog
  // did not answer in time, not an end), in the uninstaller's language.
  for (;;) {
    std::string caption = Robot::ControlText(dlg, IDOK);
    if (Robot::Enabled(dlg, IDOK) && (EndCaption(caption, kTextDone) || EndCaption(caption, kTextDeleteAll))) break;
    if (!IsWindow(dlg) || GetTickCount() - start > 120000) {
      fprintf(stderr, "demodrive: the removal did not end\n");
      return 1;
    }
    Sleep(50);
  }
  Settled(dlg);
  std::string button = Robot::ControlText(dlg, IDOK);
  bool finished = EndCaption(button, kTextDone);
  WriteTexts(dlg, finished ? "9-uninstall-finished" : "9-uninstall-files-left");
  Shot(finished ? "9-uninstall-finished" : "9-uninstall-files-left", dlg);
  printf("%s\n", finished ? "Finished" : "Files left");
  if (!finished) {
    HWND list = GetDlgItem(dlg, IDC_LEFT_LIST);
    DWORD_PTR n = 0;
    SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &n);
    for (int i = 0; i < static_cast<int>(n); i++) printf("%s\n", ListEntry(list, i).c_str());
  }
  // "完成" (Finish) closes; with files left "退出" (Close) leaves them for the user to see.
  Robot::Click(dlg, finished ? IDOK : IDCANCEL);
  if (!WaitGone(DIALOG_CLASS, product.c_str(), 30000)) {
    fprintf(stderr, "demodrive: the uninstall dialog did not close\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main() {
  // The arguments in code page 936 whatever the system's code page (the
  // product's name is Chinese).
  int argc = 0;
  LPWSTR* wideArgs = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string args[4];
  for (int i = 0; i < argc && i < 4; i++) args[i] = Narrow936(wideArgs[i]);
  LocalFree(wideArgs);
  if (argc != 4) {
    fprintf(stderr, "usage: demodrive SETUP.exe PRODUCT SHOTS_FOLDER\n"
                    "       demodrive --remove PRODUCT SHOTS_FOLDER\n");
    return 2;
  }
  std::string setup = args[1], product = args[2];
  g_shots = args[3];
  if (setup == "--remove") return Remove(product);
  Robot robot;
  if (!robot.Start(setup)) {
    fprintf(stderr, "demodrive: cannot start %s\n", setup.c_str());
    return 1;
  }
  Wizard wiz(robot);
  if (!wiz.WaitForSheet(product, 120000) || !wiz.WaitForPage(IDC_WELCOME_LINE1)) {
    fprintf(stderr, "demodrive: the wizard did not come up\n");
    return 1;
  }
  WriteTexts(wiz.Sheet(), "1-welcome");
  Shot("1-welcome", wiz.Sheet());
  wiz.Press(ID_WIZNEXT);
  if (!wiz.WaitForPage(IDC_AGREE)) return 1;
  Robot::Click(wiz.CurrentPage(), IDC_AGREE);
  Settled(wiz.Sheet());
  WriteTexts(wiz.Sheet(), "2-licence");
  Shot("2-licence", wiz.Sheet());
  wiz.Press(ID_WIZNEXT);
  if (!wiz.WaitForPage(IDC_FOLDER)) return 1;
  std::string folder = Robot::ControlText(wiz.CurrentPage(), IDC_FOLDER);
  WriteTexts(wiz.Sheet(), "3-folder");
  Shot("3-folder", wiz.Sheet());
  wiz.Press(ID_WIZNEXT);
  if (!wiz.WaitForPage(IDC_COPY_STATUS)) return 1;
  Shot("4-copying", wiz.Sheet());
  // The copy page ends by itself; any question is answered with its first
  // answer, a message with OK.
  wiz.rule = [](const Popup&) { return IDOK; };
  if (!wiz.WaitForPage(IDC_FINISH_LINE1, 600000)) return 1;
  for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_GROUP, IDC_FINISH_README, IDC_FINISH_RUN})
    if (wiz.IsEnabled(box) && wiz.IsVisible(box)) wiz.SetCheck(box, true);
  WriteTexts(wiz.Sheet(), "5-finish");
  Shot("5-finish", wiz.Sheet());
  wiz.Press(ID_WIZFINISH);
  DWORD code = 1;
  if (!wiz.WaitForExit(120000, &code)) {
    fprintf(stderr, "demodrive: the setup did not end\n");
    return 1;
  }

  // What Finish opened: the read-me in its viewer and the program's box.
  HWND program = FindAny(DIALOG_CLASS, product.c_str(), 60000);
  Settled(FindAny("Notepad", 0, 10000));
  Settled(program);
  Shot("6-opened");
  // Both programs must have ended before anything removes their files.
  if (program && !CloseAndWaitForProgram(program, true, 30000)) {
    fprintf(stderr, "demodrive: the installed program did not end\n");
    return 1;
  }
  if (HWND notepad = FindWindowA("Notepad", 0)) CloseAndWaitForProgram(notepad, false, 30000);
  printf("%s\n", folder.c_str());
  return static_cast<int>(code);
}
