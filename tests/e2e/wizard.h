// Drives the setup's wizard through its pages as a user would: finds the
// sheet, the current page and the question and message boxes that come up,
// presses the wizard's buttons and answers the boxes by a rule of the test.
// Reads windows without sending to the setup's thread where it can: a robot
// never waits on the program it drives longer than it must.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "robot.h"
#include "setup/resource.h"

// A question (the setup's two-answer confirmation) or a message box.
struct Popup {
  bool question = false;
  std::string caption;
  std::string text;
  std::string first, second;  // a question's two answers
};
// How a test answers a popup: IDOK (the first answer, or OK), IDCANCEL (the
// second answer), or 0 to leave it open.
typedef std::function<int(const Popup&)> PopupRule;

class Wizard {
 public:
  explicit Wizard(Robot& robot) : robot_(robot) {}

  // The sheet, once its caption is the product name.
  HWND WaitForSheet(const std::string& caption, DWORD timeoutMs = 30000);
  // The sheet whatever its caption, once it shows a page.
  HWND WaitForSheet(DWORD timeoutMs = 30000);
  HWND Sheet() const { return sheet_; }
  // The page shown now (its dialog window), or null.
  HWND CurrentPage() const;
  // Which page that is, 0 to 4, told by its controls; -1 when none.
  int PageIndex() const;
  bool WaitPage(int index, DWORD timeoutMs = 10000);
  std::string PageText(int id) const { return Robot::ControlText(CurrentPage(), id); }

  // A sheet button's state and caption; waits for a state the pages post.
  bool ButtonVisible(int id) const { return Robot::Visible(sheet_, id); }
  bool ButtonEnabled(int id) const { return Robot::Enabled(sheet_, id); }
  std::string ButtonText(int id) const { return Robot::ControlText(sheet_, id); }
  bool WaitButtonEnabled(int id, bool enabled, DWORD timeoutMs = 5000);
  // Presses Next / Back and waits for the page with that index.
  bool NextTo(int index);
  bool BackTo(int index);
  // The confirmation over the wizard, when one comes up.
  HWND WaitConfirmation(DWORD timeoutMs = 10000) { return robot_.WaitForOwnedDialog(sheet_, timeoutMs); }
  // Asks to cancel by the close box and answers "退出安装"; true when the
  // program then ends.
  bool Quit();
  // Waits until the current page holds control id, answering popups by the
  // rule meanwhile. False on timeout or when the program ends first.
  bool WaitForPage(int id, DWORD timeoutMs = 60000);
  // Presses a wizard button once it is visible and enabled.
  bool Press(int buttonId, DWORD timeoutMs = 10000);
  // Answers the popups that are up now; true when one was answered.
  bool AnswerPopups();
  // Waits for a popup and returns it (unanswered): any popup, or only a
  // question (kPopupQuestion) or only a message box (kPopupMessage); false on
  // timeout.
  enum { kPopupAny, kPopupQuestion, kPopupMessage };
  bool WaitForPopup(Popup& popup, HWND& window, DWORD timeoutMs = 30000, int kind = kPopupAny);
  // Waits for a popup of that kind and answers it with the button given;
  // false when none came or its text does not start with textStart.
  bool Answer(int kind, const std::string& textStart, int button, DWORD timeoutMs = 30000);
  // Waits for the program to end, answering popups meanwhile.
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = 0);

  // Sets a control's text or check state on the current page.
  bool SetText(int id, const std::string& text);
  bool SetCheck(int id, bool on);
  bool IsChecked(int id) const;
  bool IsEnabled(int id) const;
  bool IsVisible(int id) const;

  // Pages 1 to 3 with the licence agreed and the given folder; true once the
  // copy page is up.
  bool ToCopyPage(const std::string& product, const std::string& installDir);

  PopupRule rule;              // unset: every popup is left open
  std::vector<Popup> popups;   // every popup answered, in order

 private:
  bool ReadPopup(HWND w, Popup& p) const;
  // A popup now up (not the sheet), read into p.
  HWND FindPopup(Popup& p, int kind) const;
  // Clicks and waits until the box is gone, so it is never answered twice.
  bool ClickAway(HWND w, int id);
  Robot& robot_;
  HWND sheet_ = 0;
};
