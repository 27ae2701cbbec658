// What every page of the wizard shares: the page picture in the top-left
// corner, the wizard buttons set by posting to the sheet, and Cancel confirmed
// through the application's two-answer question.
#pragma once
#include "framework/propsheet.h"
#include "resource.h"
#include "setup/core/texts.h"

class CSetupApp;

// The page picture's place: the top-left corner of every page, in pixels.
const int kPagePictureWidth = 115;
const int kPagePictureHeight = 250;
// Longest text of a page's static lines, in bytes.
const int kPageLineMax = 47;

// The texts of the pages' controls, set from the setup's table when a page
// is made (the templates hold none).
extern const ControlText kPageTexts[];
extern const int kPageTextCount;

class CStepPage : public CPropertyPage {
 public:
  explicit CStepPage(UINT idTemplate) : CPropertyPage(idTemplate) {}

 protected:
  CSetupApp& App() const;
  // Shows the texts of the page's controls, then exchanges the members.
  BOOL OnInitDialog();
  // Posted, so the change takes effect after a page change has completed.
  void SetWizardButtons(DWORD flags);
  // A button of the sheet (Back, Next, Help, Cancel) by its id.
  HWND SheetItem(int id) const;
  void SetNextCaption(const char* text);
  // The sheet's caption: the product name, set by the first page shown.
  void ShowSheetCaption();
  // Cancel of a page: TRUE lets the sheet close ("退出安装").
  BOOL ConfirmQuit(const char* message);
  // count statics from firstId, each at most kPageLineMax bytes. ShowLines fills
  // them from the package's page and puts every exchanged value into its control.
  static void ExchangeLines(CDataExchange* pDX, int firstId, CString* lines, int count);
  void ShowLines(int page, CString* lines, int count);
  // Draws the page picture; TRUE (the page has been painted).
  BOOL OnPaint();
};
