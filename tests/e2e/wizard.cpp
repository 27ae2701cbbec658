#include "wizard.h"

#include <string.h>

HWND Wizard::WaitForSheet(const std::string& caption, DWORD timeoutMs) {
  sheet_ = robot_.WaitForWindowWhere(
      [&](HWND w) { return GetDlgItem(w, ID_WIZNEXT) && Robot::Text(w) == caption; }, timeoutMs);
  return sheet_;
}

HWND Wizard::WaitForSheet(DWORD timeoutMs) {
  robot_.WaitUntil(
      [&] {
        sheet_ = robot_.FindWindowWhere([](HWND w) { return GetDlgItem(w, ID_WIZNEXT) != 0; });
        return sheet_ != 0 && PageIndex() >= 0;
      },
      timeoutMs);
  return sheet_;
}

namespace {
// The sheet's pages are its direct child dialogs; the shown one is current.
BOOL CALLBACK FindShownPage(HWND w, LPARAM lp) {
  HWND* args = reinterpret_cast<HWND*>(lp);
  if (GetParent(w) != args[1] || !IsWindowVisible(w) || !Robot::IsClass(w, DIALOG_CLASS)) return TRUE;
  args[0] = w;
  return FALSE;
}
}  // namespace

// Found without sending to the setup's thread.
HWND Wizard::CurrentPage() const {
  if (!sheet_ || !IsWindow(sheet_)) return 0;
  HWND args[2] = {0, sheet_};
  EnumChildWindows(sheet_, FindShownPage, reinterpret_cast<LPARAM>(args));
  return args[0];
}

int Wizard::PageIndex() const {
  HWND page = CurrentPage();
  if (!page) return -1;
  if (GetDlgItem(page, IDC_FINISH_LINE1)) return 4;
  if (GetDlgItem(page, IDC_COPY_STATUS)) return 3;
  if (GetDlgItem(page, IDC_FOLDER)) return 2;
  if (GetDlgItem(page, IDC_AGREE)) return 1;
  if (GetDlgItem(page, IDC_WELCOME_LINE1)) return 0;
  return -1;
}

bool Wizard::WaitPage(int index, DWORD timeoutMs) {
  return robot_.WaitUntil([&] { return PageIndex() == index; }, timeoutMs);
}

bool Wizard::WaitButtonEnabled(int id, bool enabled, DWORD timeoutMs) {
  return robot_.WaitUntil([&] { return ButtonEnabled(id) == enabled; }, timeoutMs);
}

bool Wizard::NextTo(int index) { return Press(ID_WIZNEXT) && WaitPage(index); }

bool Wizard::BackTo(int index) { return Press(ID_WIZBACK) && WaitPage(index); }

bool Wizard::Quit() {
  Robot::CloseBox(sheet_);
  HWND confirm = WaitConfirmation();
  if (!confirm || !Robot::Click(confirm, IDCANCEL)) return false;
  return robot_.WaitForExit(20000);
}

bool Wizard::ReadPopup(HWND w, Popup& p) const {
  p = Popup();
  p.caption = Robot::Text(w);
  if (GetDlgItem(w, IDC_CANCEL_ICON) && GetDlgItem(w, IDC_CANCEL_MESSAGE)) {
    p.question = true;
    p.text = Robot::ControlText(w, IDC_CANCEL_MESSAGE);
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

HWND Wizard::FindPopup(Popup& p, int kind) const {
  return robot_.FindWindowWhere([&](HWND w) {
    return w != sheet_ && Robot::IsClass(w, DIALOG_CLASS) && ReadPopup(w, p) &&
           (kind == kPopupAny || p.question == (kind == kPopupQuestion));
  });
}

bool Wizard::ClickAway(HWND w, int id) {
  if (!Robot::Click(w, id)) return false;
  robot_.WaitUntil([&] { return !IsWindow(w) || !IsWindowVisible(w); });
  return true;
}

bool Wizard::WaitForPopup(Popup& popup, HWND& window, DWORD timeoutMs, int kind) {
  return robot_.WaitUntil([&] { return (window = FindPopup(popup, kind)) != 0; }, timeoutMs);
}

bool Wizard::Answer(int kind, const std::string& textStart, int button, DWORD timeoutMs) {
  Popup p;
  HWND w = 0;
  if (!WaitForPopup(p, w, timeoutMs, kind)) return false;
  if (p.text.compare(0, textStart.size(), textStart) != 0 || !ClickAway(w, button)) return false;
  popups.push_back(p);
  return true;
}

bool Wizard::AnswerPopups() {
  if (!rule) return false;
  Popup p;
  HWND w = robot_.FindWindowWhere([&](HWND c) {
    return c != sheet_ && Robot::IsClass(c, DIALOG_CLASS) && ReadPopup(c, p) && rule(p) != 0;
  });
  if (!w) return false;
  // A message box has only OK, with the id IDOK... or IDCANCEL when it is its
  // only button: take whichever is there.
  int id = rule(p);
  if (!p.question && !GetDlgItem(w, id)) id = GetDlgItem(w, IDOK) ? IDOK : IDCANCEL;
  if (!ClickAway(w, id)) return false;
  popups.push_back(p);
  return true;
}

bool Wizard::WaitForPage(int id, DWORD timeoutMs) {
  return robot_.WaitUntil(
      [&] {
        HWND page = CurrentPage();
        if (page && GetDlgItem(page, id)) return true;
        AnswerPopups();
        return false;
      },
      timeoutMs);
}

bool Wizard::Press(int buttonId, DWORD timeoutMs) {
  bool ready = robot_.WaitUntil(
      [&] {
        HWND b = sheet_ ? GetDlgItem(sheet_, buttonId) : 0;
        return b && IsWindowVisible(b) && IsWindowEnabled(b);
      },
      timeoutMs);
  return ready && Robot::Click(sheet_, buttonId);
}

bool Wizard::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  robot_.WaitUntil(
      [&] {
        AnswerPopups();
        return !robot_.Running();
      },
      timeoutMs);
  return robot_.WaitForExit(0, exitCode);
}

bool Wizard::SetText(int id, const std::string& text) {
  HWND page = CurrentPage();
  if (!GetDlgItem(page, id)) return false;
  Robot::SetControlText(page, id, text);
  return true;
}

bool Wizard::SetCheck(int id, bool on) {
  HWND c = GetDlgItem(CurrentPage(), id);
  DWORD_PTR r = 0;
  return c && SendMessageTimeoutA(c, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 5000, &r);
}

bool Wizard::IsChecked(int id) const { return Robot::Checked(CurrentPage(), id); }

bool Wizard::IsEnabled(int id) const { return Robot::Enabled(CurrentPage(), id); }

bool Wizard::IsVisible(int id) const { return Robot::Visible(CurrentPage(), id); }

bool Wizard::ToCopyPage(const std::string& product, const std::string& installDir) {
  if (!WaitForSheet(product) || !WaitForPage(IDC_WELCOME_LINE1) || !Press(ID_WIZNEXT)) return false;
  if (!WaitForPage(IDC_AGREE) || !Robot::Click(CurrentPage(), IDC_AGREE) || !Press(ID_WIZNEXT)) return false;
  if (!WaitForPage(IDC_FOLDER) || !SetText(IDC_FOLDER, installDir) || !Press(ID_WIZNEXT)) return false;
  return WaitForPage(IDC_COPY_STATUS);
}
