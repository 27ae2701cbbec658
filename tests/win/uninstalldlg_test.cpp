// The uninstall dialog in this process, with the uninstaller's own resources
// linked in: template, start state, icon, picture and list colours, and the
// states that button 1 leads through.
#include "uninstall/uninstalldlg.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/setuplog.h"
#include "common/shortenpath.h"
#include "tests/fileutil.h"
#include "tests/win/textfit.h"
#include "uninstall/core/texts.h"
#include "uninstall/resource.h"

namespace {

// A modeless dialog on settings whose picture and icon lie in one file.
class DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(0); }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    std::string picture = ReadBytes(Here() + "page.jpg"), icon = ReadBytes(Here() + "product.ico");
    ASSERT_FALSE(picture.empty());
    ASSERT_FALSE(icon.empty());
    data = Own("dialog-data") + ".bin";
    std::ofstream(data, std::ios::binary) << "head" << picture << icon;
    settings.ProductName = "示例 软件";
    settings.PictureLength = static_cast<LONG>(picture.size());
    settings.PictureOffset = 4;
    settings.IconLength = static_cast<LONG>(icon.size());
    settings.IconOffset = static_cast<LONG>(4 + picture.size());
  }
  void TearDown() override { DeleteFileA(data.c_str()); }

  // A name beside the test program that is this process's own: the test
  // runs again at 144 DPI in another prefix, maybe at the same time.
  static std::string Own(const char* name) { return Here() + name + " " + std::to_string(GetCurrentProcessId()); }

  // An installation folder of the test's own holding setup.log (its file list
  // names gone.txt) and the files given; the dialog's log.
  std::string AppFolder(std::initializer_list<const char*> files) {
    std::string app = Own("dialog app") + "\\";
    CreateDirectoryA(app.c_str(), 0);
    for (const char* f : files) WriteBytes(app + f, "x");
    CSetupLogWriter log;
    EXPECT_TRUE(log.Create((app + "setup.log").c_str()));
    log.WriteLine(LOG_FILES_SECTION);
    log.WriteLine((app + "gone.txt").c_str());
    EXPECT_TRUE(log.Close());
    settings.SetupLogPath = (app + "setup.log").c_str();
    return app;
  }
  static void PressButton1(HWND w) {
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(w, IDOK)));
  }
  // Button 1: the run (or "全部删除") goes on a thread of its own and reports
  // through this thread's messages, which are taken until button 1 is enabled
  // again (it has ended).
  static void PressButton1AndWait(HWND w) {
    PressButton1(w);
    DWORD start = GetTickCount();
    while (!IsWindowEnabled(GetDlgItem(w, IDOK)) && GetTickCount() - start < 30000) {
      MsgWaitForMultipleObjects(0, 0, FALSE, 1000, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
  }
  static std::string Text(HWND w, int id) {
    char t[256] = {0};
    GetDlgItemTextA(w, id, t, sizeof t);
    return t;
  }
  static RECT ClientRect(HWND w, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(w, id), &r);
    MapWindowPoints(0, w, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  static void ExpectEnded(HWND w) {  // either end of the run
    EXPECT_EQ(SendDlgItemMessageA(w, IDC_PROGRESS, PBM_GETPOS, 0, 0), 1000);
    EXPECT_EQ(Text(w, IDC_STATUS), "");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, IDOK)));
  }

  std::string data;
  UninstallSettings settings;
};

TEST_F(DialogTest, PackageIconAndHiddenListOfFilesLeft) {
  CUninstallDlg dlg(settings, data.c_str());
  ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
  HWND w = dlg.m_hWnd;
  HICON big = reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_BIG, 0));
  EXPECT_TRUE(big);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_SMALL, 0)), big);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_QUERYDRAGICON, 0, 0)), big);
  PBRANGE range;
  SendDlgItemMessageA(w, IDC_PROGRESS, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iHigh, 1000);

  HWND list = GetDlgItem(w, IDC_LEFT_LIST);
  ASSERT_TRUE(list);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & LBS_SORT);
  RECT r;
  GetWindowRect(list, &r);
  MapWindowPoints(0, w, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 125);
  EXPECT_EQ(r.top, 35);
  EXPECT_EQ(r.right, 410);
  EXPECT_LE(r.bottom, 220);  // cut to whole lines, as any list box without LBS_NOINTEGRALHEIGHT
  dlg.DestroyWindow();
}

TEST_F(DialogTest, ListColoursAndOneBrush) {
  CUninstallDlg dlg(settings, data.c_str());
  ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
  HWND list = GetDlgItem(dlg.m_hWnd, IDC_LEFT_LIST);
  HDC dc = GetDC(list);
  HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(dlg.m_hWnd, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)list));
  ASSERT_TRUE(brush);
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 160));
  EXPECT_EQ(GetBkColor(dc), RGB(214, 211, 206));
  LOGBRUSH lb;
  ASSERT_TRUE(GetObjectA(brush, sizeof lb, &lb));
  EXPECT_EQ(lb.lbColor, RGB(214, 211, 206));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageA(dlg.m_hWnd, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)list)), brush);
  // Another control's colours are the default ones.
  HWND button = GetDlgItem(dlg.m_hWnd, IDOK);
  EXPECT_NE(reinterpret_cast<HBRUSH>(SendMessageA(dlg.m_hWnd, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)button)), brush);
  ReleaseDC(list, dc);
  dlg.DestroyWindow();
}

TEST_F(DialogTest, PictureIsDrawnBesideTheTexts) {
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (bool withPicture : {true, false}) {
    SCOPED_TRACE(withPicture);
    if (!withPicture) settings.PictureLength = 0;
    CUninstallDlg dlg(settings, data.c_str());
    ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
    SetWindowPos(dlg.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(dlg.m_hWnd);
    HDC dc = GetDC(dlg.m_hWnd);
    COLORREF inside = GetPixel(dc, 60, 200);  // inside 10,10 .. 120,250
    COLORREF outside = GetPixel(dc, 60, 300);
    ReleaseDC(dlg.m_hWnd, dc);
    EXPECT_EQ(outside, face);
    EXPECT_EQ(inside != face, withPicture);
    dlg.DestroyWindow();
  }
}

TEST_F(DialogTest, IconFromThePackageOrTheProgramOrNone) {
  settings.IconLength = 0;  // the program's own icon group 128
  {
    CUninstallDlg dlg(settings, data.c_str());
    ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
    EXPECT_TRUE(SendMessageA(dlg.m_hWnd, WM_GETICON, ICON_BIG, 0));
    dlg.DestroyWindow();
  }
  settings.IconLength = 100;  // bytes that are no icon (the picture's)
  settings.IconOffset = 4;
  {
    CUninstallDlg dlg(settings, data.c_str());
    ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
    EXPECT_FALSE(SendMessageA(dlg.m_hWnd, WM_GETICON, ICON_BIG, 0));
    dlg.DestroyWindow();
  }
}

// The list's brush is the dialog's: freed with it (a dialog made twice in one
// run must not leave a brush behind each time).
TEST_F(DialogTest, ListBrushGoesWithTheDialog) {
  HBRUSH brush;
  {
    CUninstallDlg dlg(settings, data.c_str());
    ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
    HWND list = GetDlgItem(dlg.m_hWnd, IDC_LEFT_LIST);
    HDC dc = GetDC(list);
    brush = reinterpret_cast<HBRUSH>(SendMessageA(dlg.m_hWnd, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)list));
    ReleaseDC(list, dc);
    ASSERT_TRUE(brush);
    dlg.DestroyWindow();
  }
  LOGBRUSH lb;
  EXPECT_EQ(GetObjectA(brush, sizeof lb, &lb), 0);
}

// Files that stay: state Files left, with its list; button 1 is then
// "全部删除", which takes the folder and closes the dialog.
TEST_F(DialogTest, RunThatLeavesFilesShowsThemAndDeleteAllCloses) {
  std::string app = AppFolder({"gone.txt", "user.txt"});
  CUninstallDlg dlg(settings, data.c_str());
  ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
  HWND w = dlg.m_hWnd;
  RECT button = ClientRect(w, IDOK);
  PressButton1AndWait(w);
  EXPECT_FALSE(FileExists(app + "gone.txt"));
  EXPECT_FALSE(FileExists(app + "setup.log"));
  EXPECT_EQ(Text(w, IDOK), "全部删除");
  EXPECT_EQ(Text(w, IDCANCEL), "退出");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, IDCANCEL)));
  EXPECT_EQ(ClientRect(w, IDOK).left, button.left);
  EXPECT_EQ(Text(w, IDC_HEADLINE), "以下文件未被删除...");
  RECT headline = ClientRect(w, IDC_HEADLINE);
  EXPECT_EQ(headline.left, 125);
  EXPECT_EQ(headline.top, 10);
  EXPECT_EQ(headline.right, 325);
  EXPECT_EQ(headline.bottom, 35);
  ExpectEnded(w);
  HWND list = GetDlgItem(w, IDC_LEFT_LIST);
  EXPECT_TRUE(IsWindowVisible(list));
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
  char entry[MAX_PATH] = {0};
  SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(entry));
  EXPECT_EQ(entry, app + "user.txt");

  AppFolder({"user.txt"});  // a log again: a second run would not stop on a message
  PressButton1AndWait(w);
  EXPECT_FALSE(FileExists(app));
  EXPECT_FALSE(IsWindowVisible(w));
  dlg.DestroyWindow();
}

// Nothing left: state Finished, button 2 hidden and button 1 moved into its
// place as "完成", which closes the dialog.
TEST_F(DialogTest, RunThatLeavesNothingEndsFinishedAndDoneCloses) {
  std::string app = AppFolder({});
  CUninstallDlg dlg(settings, data.c_str());
  ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
  HWND w = dlg.m_hWnd;
  RECT before = ClientRect(w, IDOK);
  PressButton1AndWait(w);
  EXPECT_FALSE(FileExists(app));
  EXPECT_EQ(Text(w, IDOK), "完成");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDCANCEL)));
  RECT after = ClientRect(w, IDOK);
  EXPECT_EQ(after.left - before.left, 60);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(Text(w, IDC_HEADLINE), "卸载完成,请单击 [完成] 退出.");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_LEFT_LIST)));
  ExpectEnded(w);

  AppFolder({});
  PressButton1(w);
  EXPECT_TRUE(FileExists(app + "setup.log"));  // no second run
  EXPECT_FALSE(IsWindowVisible(w));
  dlg.DestroyWindow();
}

// Every text of the uninstaller's table whole in the control that shows it,
// in every language: the template's in state Ready, those the run shows, and
// those of state Files left where the headline moves. (Run again at 144 DPI.)
TEST_F(DialogTest, EveryTextFitsItsControlInEveryLanguage) {
  settings.ProductName = "Demo App";
  CLanguages& languages = UninstallLanguages();
  for (int l = 0; l < languages.Count(); l++) {
    const char* tag = languages[l]->Tag;
    languages.Choose(tag, 0);
    std::string app = AppFolder({"gone.txt", "user.txt"});
    CUninstallDlg dlg(settings, data.c_str());
    ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
    HWND w = dlg.m_hWnd;
    for (int id : {IDOK, IDCANCEL, IDC_STATUS, IDC_HEADLINE})
      EXPECT_EQ(TextCut(GetDlgItem(w, id)), "") << tag << " in state Ready";
    auto fits = [&](int id, const CString& text) {
      EXPECT_EQ(TextCut(GetDlgItem(w, id), text), "") << tag;
    };
    CString formatted;
    formatted.Format(::Text(kTextRunning), settings.ProductName.c_str());
    fits(IDC_HEADLINE, formatted);
    fits(IDC_HEADLINE, ::Text(kTextFinished));
    fits(IDC_HEADLINE, ::Text(kTextFinishedRestart));
    formatted.Format(::Text(kTextDeleting),
                     ShortenPath("C:\\Program Files\\Demo App\\help\\Getting Started With Demo App.txt",
                                 kRemovalStatusPathMax).c_str());
    fits(IDC_STATUS, formatted);
    for (UninstallTextId id : {kTextReading, kTextDeletingTypes, kTextDeletingShortcuts}) fits(IDC_STATUS, ::Text(id));
    fits(IDOK, ::Text(kTextDone));
    PressButton1AndWait(w);  // user.txt stays: state Files left
    ASSERT_TRUE(FileExists(app + "user.txt"));
    for (int id : {IDOK, IDCANCEL, IDC_HEADLINE}) EXPECT_EQ(TextCut(GetDlgItem(w, id)), "") << tag << " in state Files left";
    dlg.DestroyWindow();
  }
  languages.Choose("", 0);
  SetProgramLanguage(0);
}

}  // namespace
