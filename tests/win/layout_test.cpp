// The setup's dialog templates in every language it speaks, in the font of
// that language at the system's DPI: every text of the table shows whole in
// the control that shows it, those of the templates and those the runs put
// into the status lines, and the questions in the two-answer dialog. scripts/dpi-pictures shows the
// same pages for people.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/shortenpath.h"
#include "framework/dialog.h"
#include "setup/canceldlg.h"
#include "setup/filesinusedlg.h"
#include "setup/core/copyengine.h"
#include "setup/core/texts.h"
#include "setup/resource.h"
#include "setup/steppage.h"
#include "textfit.h"

namespace {

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// A text the setup puts into a control at run time, formatted as the run does.
struct RunText {
  UINT dialog;
  int control;
  CString text;
};

CString Format(SetupTextId id, ...) {
  va_list args;
  va_start(args, id);
  char buffer[512];
  FormatTextV(buffer, sizeof buffer, Text(id), args);
  va_end(args);
  return CString(buffer);
}

std::vector<RunText> RunTexts() {
  // The longest status path the copy run shows.
  CString path = ShortenPath("C:\\Program Files\\Demo App\\help\\Getting Started With Demo App.txt", kStatusPathMax);
  std::vector<RunText> texts = {
      {IDD_STEP4, IDC_COPY_STATUS, Text(kTextGettingFileInfo)},
      {IDD_STEP4, IDC_COPY_STATUS, Text(kTextVerifying)},
      {IDD_STEP4, IDC_COPY_STATUS, Format(kTextCopyingTo, path.c_str())},
      {IDD_STEP4, IDC_COPY_STATUS, Text(kTextCreatingAssociations)},
      {IDD_STEP4, IDC_COPY_STATUS, Text(kTextInstallComplete)},
      {IDD_STEP4, IDC_COPY_ESTIMATE, Format(kTextEstimateSeconds, 59)},
      {IDD_STEP4, IDC_COPY_ESTIMATE, Format(kTextEstimateMinutes, 59, 59)},
      {IDD_STEP4, IDC_COPY_ESTIMATE, Format(kTextEstimateHours, 99, 59, 59)},
      {IDD_STEP4, IDC_COPY_ESTIMATE, Text(kTextEstimateDone)},
      {IDD_STEP5, IDC_FINISH_RESTART, Text(kTextRestartNeeded)},
  };
  return texts;
}

// The questions of the two-answer dialog, with their answers: a page's
// Cancel, and the overwrite question of the copy run, which names the file
// (the dialog grows for it).
struct Question {
  CString message;
  SetupTextId first, second;
};
std::vector<Question> Questions() {
  std::vector<Question> questions;
  for (SetupTextId q : {kTextQuitNotStarted, kTextQuitStarting, kTextQuitRunning, kTextQuitFinishing})
    questions.push_back({Text(q), kTextContinue, kTextQuit});
  questions.push_back({Format(kTextOverwriteQuestion,
                              "C:\\Program Files\\Demo App\\data\\samples\\A sample of the data that Demo App "
                              "reads\\sample-with-a-long-name.dmx"),
                       kTextOverwrite, kTextKeep});
  return questions;
}

TEST(Layout, EveryTextShowsWholeInEveryLanguage) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, 0, 0, 0, 0);
  ASSERT_TRUE(parent);
  CLanguages& languages = SetupLanguages();
  for (int l = 0; l < languages.Count(); l++) {
    const char* tag = languages[l]->Tag;
    languages.Choose(tag, 0);
    std::vector<RunText> runTexts = RunTexts();
    for (const Question& q : Questions()) {
      CCancelDlg dialog;
      dialog.m_strMessage = q.message;
      dialog.m_strFirst = Text(q.first);
      dialog.m_strSecond = Text(q.second);
      ASSERT_TRUE(dialog.Create(IDD_CANCEL));
      for (int id : {IDC_CANCEL_MESSAGE, IDOK, IDCANCEL}) EXPECT_EQ(TextCut(dialog.GetDlgItem(id)), "") << tag;
      // The buttons below the message, inside the dialog.
      RECT message, button, client;
      GetWindowRect(dialog.GetDlgItem(IDC_CANCEL_MESSAGE), &message);
      GetWindowRect(dialog.GetDlgItem(IDOK), &button);
      EXPECT_GE(button.top, message.bottom) << tag;
      GetClientRect(dialog.m_hWnd, &client);
      MapWindowPoints(0, dialog.m_hWnd, reinterpret_cast<POINT*>(&button), 2);
      EXPECT_LE(button.bottom, client.bottom) << tag;
      dialog.DestroyWindow();
    }
    // The question about files in use, naming the programs or the files.
    for (const char* programs : {"app.exe (1234)", ""}) {
      CFilesInUseDlg dialog("Demo App", programs, "C:\\Program Files\\Demo App\\app.exe", 0);
      ASSERT_TRUE(dialog.Create(IDD_FILES_IN_USE));
      for (int id : {IDC_INUSE_MESSAGE, IDRETRY, IDIGNORE, IDCANCEL})
        EXPECT_EQ(TextCut(dialog.GetDlgItem(id)), "") << tag << " control " << id;
      dialog.DestroyWindow();
    }
    for (UINT id : {IDD_STEP2, IDD_STEP3, IDD_STEP4, IDD_STEP5}) {
      CDialogTemplate dialogTemplate;
      const DLGTEMPLATE* t = dialogTemplate.Load(id);
      ASSERT_TRUE(t) << id;
      HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(0), t, parent, Quiet, 0);
      ASSERT_TRUE(dialog) << tag << " " << id;
      int checked = 0;
      ShowControlTexts(dialog, id, kPageTexts, kPageTextCount, languages);
      for (int i = 0; i < kPageTextCount; i++) {
        if (kPageTexts[i].Template != id) continue;
        EXPECT_EQ(TextCut(GetDlgItem(dialog, kPageTexts[i].Control)), "") << tag << " template " << id;
        checked++;
      }
      for (const RunText& r : runTexts) {
        if (r.dialog != id) continue;
        EXPECT_EQ(TextCut(GetDlgItem(dialog, r.control), r.text), "") << tag << " template " << id;
        checked++;
      }
      EXPECT_GT(checked, 0) << id;
      DestroyWindow(dialog);
    }
  }
  languages.Choose("", 0);
  SetProgramLanguage(0);
  DestroyWindow(parent);
}

}  // namespace
