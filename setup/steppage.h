// What every page of the wizard shares: the page picture in the top-left
// corner, the wizard buttons set by posting to the sheet, and Cancel confirmed
// through the application's two-answer question.
#pragma once
#include "framework/propsheet.h"
#include "resource.h"

class CSetupApp;

// The page picture's place: the top-left corner of every page, in pixels.
#define PAGE_PICTURE_WIDTH 115
#define PAGE_PICTURE_HEIGHT 250
// Longest text of a page's static lines, in bytes.
#define PAGE_LINE_MAX 47

// The answers of a page's Cancel and the pages' questions.
#define CONTINUE_TEXT "继续安装"
#define QUIT_TEXT "退出安装"
#define NOT_STARTED_TEXT "安装程序尚未进行,您真得要取消安装吗?"
#define STARTING_TEXT "安装即将开始,您真得要取消安装吗?"
#define RUNNING_TEXT "安装程序正在进行,您真得要取消安装吗?"
#define FINISHING_TEXT "安装即将完成,您真得要取消安装吗?"
// Captions of the sheet's Next button.
#define NEXT_TEXT "下一步"
#define INSTALL_TEXT "安装"

class CStepPage : public CPropertyPage {
 public:
  explicit CStepPage(UINT idTemplate) : CPropertyPage(idTemplate) {}

 protected:
  CSetupApp& App() const;
  // Posted, so the change takes effect after a page change has completed.
  void SetWizardButtons(DWORD flags);
  // A button of the sheet (Back, Next, Help, Cancel) by its id.
  HWND SheetItem(int id) const;
  void SetNextCaption(const char* text);
  // Cancel of a page: TRUE lets the sheet close ("退出安装").
  BOOL ConfirmQuit(const char* message);
  // Draws the page picture; TRUE (the page has been painted).
  BOOL OnPaint();
};
