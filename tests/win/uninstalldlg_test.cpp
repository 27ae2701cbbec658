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

namespace {

std::string Here() {
  char path[MAX_PATH + 1] = {0};
  GetModuleFileNameA(0, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.rfind('\\') + 1);
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Text(HWND w) {
  char buf[512] = {0};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

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

  // Control id's rectangle in the dialog's client pixels.
  static RECT ClientRect(HWND dlg, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dlg, id), &r);
    MapWindowPoints(0, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  static RECT Units(HWND dlg, int l, int t, int w, int h) {
    RECT r = {l, t, l + w, t + h};
    MapDialogRect(dlg, &r);
    return r;
  }

  std::string data;
  UninstallSettings settings;
};

void ExpectRect(const RECT& a, const RECT& b, const char* what) {
  EXPECT_EQ(a.left, b.left) << what;
  EXPECT_EQ(a.top, b.top) << what;
  EXPECT_EQ(a.right, b.right) << what;
  EXPECT_EQ(a.bottom, b.bottom) << what;
}

TEST_F(DialogTest, TemplateAndReadyState) {
  CUninstallDlg dlg(settings, data.c_str());
  ASSERT_TRUE(dlg.Create(IDD_UNINSTALL));
  HWND w = dlg.m_hWnd;
  EXPECT_EQ(Text(w), "示例 软件");
  EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_TRUE((style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE)) ==
              (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE));
  RECT client;
  GetClientRect(w, &client);
  RECT size = Units(w, 0, 0, 279, 173);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  ExpectRect(ClientRect(w, IDOK), Units(w, 114, 152, 50, 14), "button 1");
  ExpectRect(ClientRect(w, IDCANCEL), Units(w, 201, 152, 50, 14), "button 2");
  ExpectRect(ClientRect(w, IDC_ANIMATION), Units(w, 92, 73, 180, 34), "animation");
  ExpectRect(ClientRect(w, IDC_PROGRESS), Units(w, 86, 113, 186, 17), "progress");
  ExpectRect(ClientRect(w, IDC_STATUS), Units(w, 88, 62, 184, 11), "status");
  ExpectRect(ClientRect(w, IDC_HEADLINE), Units(w, 88, 37, 184, 11), "headline");
  EXPECT_EQ(GetWindowLongA(GetDlgItem(w, IDOK), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
  EXPECT_TRUE((GetWindowLongA(GetDlgItem(w, IDC_ANIMATION), GWL_STYLE) & (ACS_CENTER | ACS_TRANSPARENT)) ==
              (ACS_CENTER | ACS_TRANSPARENT));

  EXPECT_EQ(Text(GetDlgItem(w, IDOK)), "卸载");
  EXPECT_EQ(Text(GetDlgItem(w, IDCANCEL)), "取消");
  EXPECT_EQ(Text(GetDlgItem(w, IDC_HEADLINE)), "正在准备卸载示例 软件...");
  EXPECT_EQ(Text(GetDlgItem(w, IDC_STATUS)), "如果取消卸载，请按[取消]退出");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_ANIMATION)));
  PBRANGE range;
  SendDlgItemMessageA(w, IDC_PROGRESS, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 1000);

  HWND list = GetDlgItem(w, IDC_LEFT_LIST);
  ASSERT_TRUE(list);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & LBS_SORT);
  RECT lr;
  GetWindowRect(list, &lr);
  MapWindowPoints(0, w, reinterpret_cast<POINT*>(&lr), 2);
  EXPECT_EQ(lr.left, 125);
  EXPECT_EQ(lr.top, 35);
  EXPECT_EQ(lr.right, 410);
  // The height is cut to whole lines, as for any list box without
  // LBS_NOINTEGRALHEIGHT.
  EXPECT_LE(lr.bottom, 220);
  EXPECT_GT(lr.bottom, 190);

  HICON big = reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_BIG, 0));
  EXPECT_TRUE(big);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_SMALL, 0)), big);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_QUERYDRAGICON, 0, 0)), big);
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
