#include "wizard_driver.h"

#include <commctrl.h>
#include <prsht.h>

HWND WizardDriver::WaitSheet(DWORD timeoutMs) {
  robot_.WaitUntil(
      [&] {
        sheet_ = robot_.FindWindowWhere([](HWND w) { return GetDlgItem(w, WIZ_NEXT) != 0; });
        return sheet_ != 0 && PageIndex() >= 0;
      },
      timeoutMs);
  return sheet_;
}

HWND WizardDriver::Page() const {
  DWORD_PTR r = 0;
  if (!sheet_ || !SendMessageTimeoutA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, &r))
    return 0;
  return reinterpret_cast<HWND>(r);
}

int WizardDriver::PageIndex() const {
  HWND page = Page();
  DWORD_PTR r = 0;
  if (!page || !SendMessageTimeoutA(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0,
                                    SMTO_ABORTIFHUNG, 5000, &r))
    return -1;
  return static_cast<int>(r);
}

bool WizardDriver::WaitPage(int index, DWORD timeoutMs) {
  return robot_.WaitUntil([&] { return PageIndex() == index; }, timeoutMs);
}

bool WizardDriver::WaitButtonEnabled(int id, bool enabled, DWORD timeoutMs) {
  return robot_.WaitUntil([&] { return ButtonEnabled(id) == enabled; }, timeoutMs);
}

bool WizardDriver::NextTo(int index) {
  if (!WaitButtonEnabled(WIZ_NEXT, true) || !Robot::Click(sheet_, WIZ_NEXT)) return false;
  return WaitPage(index);
}

bool WizardDriver::BackTo(int index) {
  if (!WaitButtonEnabled(WIZ_BACK, true) || !Robot::Click(sheet_, WIZ_BACK)) return false;
  return WaitPage(index);
}

bool WizardDriver::Quit() {
  Robot::CloseBox(sheet_);
  HWND confirm = WaitConfirmation();
  if (!confirm || !Robot::Click(confirm, IDCANCEL)) return false;
  return robot_.WaitForExit(20000);
}
