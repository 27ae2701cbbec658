// The uninstall dialog in this process, with the uninstaller's own resources
// linked in: template, start state, icon, picture and list colours.
#include "uninstall/uninstalldlg.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "uninstall/resource.h"
#include "tests/fileutil.h"

namespace {

// A modeless dialog on settings whose picture and icon lie in one file.
class DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(0); }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    std::string picture = ReadAll(Here() + "page.jpg"), icon = ReadAll(Here() + "product.ico");
    ASSERT_FALSE(picture.empty());
    ASSERT_FALSE(icon.empty());
    data = Here() + "dialog-data.bin";
    std::ofstream(data, std::ios::binary) << "head" << picture << icon;
    settings.ProductName = "示例 软件";
    settings.PictureLength = static_cast<LONG>(picture.size());
    settings.PictureOffset = 4;
    settings.IconLength = static_cast<LONG>(icon.size());
    settings.IconOffset = static_cast<LONG>(4 + picture.size());
  }
  void TearDown() override { DeleteFileA(data.c_str()); }

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

}  // namespace
