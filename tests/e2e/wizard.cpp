#include "wizard.h"

#include <string.h>

namespace {

const DWORD kPollMs = 20;

struct Found {
  DWORD pid;
  HWND skip;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialogs(HWND w, LPARAM lp) {
  Found* f = reinterpret_cast<Found*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != f->pid || w == f->skip || !IsWindowVisible(w)) return TRUE;
  char cls[64] = {0};
  GetClassNameA(w, cls, sizeof cls);
  if (strcmp(cls, DIALOG_CLASS) == 0) f->windows.push_back(w);
  return TRUE;
}

BOOL CALLBACK FindVisiblePage(HWND w, LPARAM lp) {
  HWND* page = reinterpret_cast<HWND*>(lp);
  char cls[64] = {0};
  GetClassNameA(w, cls, sizeof cls);
  if (strcmp(cls, DIALOG_CLASS) == 0 && IsWindowVisible(w)) {
    *page = w;
    return FALSE;
  }
  return TRUE;
}

// The sheet's pages are its direct children.
BOOL CALLBACK FirstChildDialog(HWND w, LPARAM lp) {
  if (GetParent(w) != reinterpret_cast<HWND*>(lp)[1]) return TRUE;
  return FindVisiblePage(w, lp);
}

}  // namespace

HWND Wizard::WaitForSheet(const std::string& caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    Found f = {robot_.ProcessId(), 0, {}};
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&f));
    for (HWND w : f.windows)
      if (GetDlgItem(w, WIZ_NEXT) && Robot::Text(w) == caption) return sheet_ = w;
    if (!robot_.Running() || GetTickCount() - start >= timeoutMs) return 0;
    Sleep(kPollMs);
  }
}

HWND Wizard::CurrentPage() const {
  if (!sheet_ || !IsWindow(sheet_)) return 0;
  HWND args[2] = {0, sheet_};
  EnumChildWindows(sheet_, FirstChildDialog, reinterpret_cast<LPARAM>(args));
  return args[0];
}

bool Wizard::ReadPopup(HWND w, Popup& p) const {
  p = Popup();
  p.caption = Robot::Text(w);
  if (GetDlgItem(w, 1027) && GetDlgItem(w, 1000)) {
    p.question = true;
    p.text = Robot::ControlText(w, 1000);
    p.first = Robot::ControlText(w, IDOK);
    p.second = Robot::ControlText(w, IDCANCEL);
    return true;
  }
  if (GetDlgItem(w, MSGBOX_TEXT_ID)) {
    p.text = Robot::ControlText(w, MSGBOX_TEXT_ID);
    return true;
  }
  return false;
}

bool Wizard::WaitForPopup(Popup& popup, HWND& window, DWORD timeoutMs, int kind) {
  DWORD start = GetTickCount();
  for (;;) {
    Found f = {robot_.ProcessId(), sheet_, {}};
    EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&f));
    for (HWND w : f.windows)
      if (ReadPopup(w, popup) && (kind == POPUP_ANY || popup.question == (kind == POPUP_QUESTION))) {
        window = w;
        return true;
      }
    if (!robot_.Running() || GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

bool Wizard::Answer(int kind, const std::string& textStart, int button, DWORD timeoutMs) {
  Popup p;
  HWND w = 0;
  if (!WaitForPopup(p, w, timeoutMs, kind)) return false;
  if (p.text.compare(0, textStart.size(), textStart) != 0 || !Robot::Click(w, button)) return false;
  popups.push_back(p);
  DWORD start = GetTickCount();
  while (IsWindow(w) && IsWindowVisible(w) && GetTickCount() - start < 10000) Sleep(kPollMs);
  return true;
}

bool Wizard::AnswerPopups() {
  if (!rule) return false;
  Found f = {robot_.ProcessId(), sheet_, {}};
  EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&f));
  for (HWND w : f.windows) {
    Popup p;
    if (!ReadPopup(w, p)) continue;
    int answer = rule(p);
    if (!answer) continue;
    // A message box has only OK, with the id IDOK... or IDCANCEL when it is
    // its only button: take whichever is there.
    int id = answer;
    if (!p.question && !GetDlgItem(w, id)) id = GetDlgItem(w, IDOK) ? IDOK : IDCANCEL;
    if (!Robot::Click(w, id)) continue;
    popups.push_back(p);
    // Gone before anything else is looked at, so it is never answered twice.
    DWORD start = GetTickCount();
    while (IsWindow(w) && IsWindowVisible(w) && GetTickCount() - start < 10000) Sleep(kPollMs);
    return true;
  }
  return false;
}

bool Wizard::WaitForPage(int id, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND page = CurrentPage();
    if (page && GetDlgItem(page, id)) return true;
    AnswerPopups();
    if (!robot_.Running() || GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

bool Wizard::Press(int buttonId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND b = sheet_ ? GetDlgItem(sheet_, buttonId) : 0;
    if (b && IsWindowVisible(b) && IsWindowEnabled(b)) return Robot::Click(sheet_, buttonId);
    if (!robot_.Running() || GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

bool Wizard::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  DWORD start = GetTickCount();
  while (robot_.Running()) {
    AnswerPopups();
    if (GetTickCount() - start >= timeoutMs) return robot_.WaitForExit(0, exitCode);
    Sleep(kPollMs);
  }
  return robot_.WaitForExit(0, exitCode);
}

bool Wizard::SetText(int id, const std::string& text) {
  HWND c = GetDlgItem(CurrentPage(), id);
  DWORD_PTR r = 0;
  return c && SendMessageTimeoutA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                  5000, &r);
}

bool Wizard::SetCheck(int id, bool on) {
  HWND c = GetDlgItem(CurrentPage(), id);
  DWORD_PTR r = 0;
  return c && SendMessageTimeoutA(c, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 5000, &r);
}

bool Wizard::IsChecked(int id) const {
  HWND c = GetDlgItem(CurrentPage(), id);
  DWORD_PTR r = 0;
  return c && SendMessageTimeoutA(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) && r == BST_CHECKED;
}

bool Wizard::IsEnabled(int id) const {
  HWND c = GetDlgItem(CurrentPage(), id);
  return c && IsWindowEnabled(c);
}

bool Wizard::IsVisible(int id) const {
  HWND c = GetDlgItem(CurrentPage(), id);
  return c && IsWindowVisible(c);
}

bool Wizard::ToCopyPage(const std::string& product, const std::string& installDir) {
  if (!WaitForSheet(product) || !WaitForPage(PAGE1_LINE1) || !Press(WIZ_NEXT)) return false;
  if (!WaitForPage(PAGE2_AGREE) || !Robot::Click(CurrentPage(), PAGE2_AGREE) || !Press(WIZ_NEXT)) return false;
  if (!WaitForPage(PAGE3_FOLDER) || !SetText(PAGE3_FOLDER, installDir) || !Press(WIZ_NEXT)) return false;
  return WaitForPage(PAGE4_STATUS);
}
