// Walks the setup's wizard as a user would: the sheet, its current page, its
// buttons and the two-answer confirmation, always with bounded waits.
#pragma once
#include <windows.h>

#include <string>

#include "robot.h"

// The sheet's buttons.
#define WIZ_BACK 12323
#define WIZ_NEXT 12324
#define WIZ_CANCEL 2
#define WIZ_HELP 9

class WizardDriver {
 public:
  explicit WizardDriver(Robot& robot) : robot_(robot), sheet_(0) {}

  // The wizard's window once it is up (a dialog carrying the Next button).
  HWND WaitSheet(DWORD timeoutMs = 30000);
  HWND Sheet() const { return sheet_; }
  // The current page's window and its index (0 to 4); null / -1 when none.
  HWND Page() const;
  int PageIndex() const;
  bool WaitPage(int index, DWORD timeoutMs = 10000);

  // A sheet button's state and caption.
  bool ButtonVisible(int id) const { return Robot::Visible(sheet_, id); }
  bool ButtonEnabled(int id) const { return Robot::Enabled(sheet_, id); }
  std::string ButtonText(int id) const { return Robot::ControlText(sheet_, id); }
  // Waits until the button's enabled state is as asked (the pages post it).
  bool WaitButtonEnabled(int id, bool enabled, DWORD timeoutMs = 5000);

  // Presses Next / Back and waits for the page with that index.
  bool NextTo(int index);
  bool BackTo(int index);
  // Text of a control of the current page.
  std::string PageText(int id) const { return Robot::ControlText(Page(), id); }

  // The confirmation over the wizard, when one comes up.
  HWND WaitConfirmation(DWORD timeoutMs = 10000) { return robot_.WaitForOwnedDialog(sheet_, timeoutMs); }
  // Asks to cancel by the close box and answers "退出安装"; true when the
  // program then ends.
  bool Quit();

 private:
  Robot& robot_;
  HWND sheet_;
};
