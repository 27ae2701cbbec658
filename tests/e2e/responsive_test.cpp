// The windows keep answering while the runs go: the wizard through the copy of
// a large package and the uninstaller's dialog through its removal are pinged
// every 100 ms and answer within 500 ms each time, and their animations move.
// Cancel during the copy asks at once, and "退出安装" takes back what the run
// made.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <functional>
#include <set>
#include <string>

#include "robot.h"
#include "snapshot.h"
#include "uninstall/resource.h"
#include "wizard.h"

#ifndef RESPONSIVE_PACKAGE
#error RESPONSIVE_PACKAGE names the package of these tests
#endif

namespace {

const char kProduct[] = "响应测试";
const DWORD kPingInterval = 100;
const DWORD kLongestAnswer = 500;

// What watching a window through a run saw.
struct Watch {
  int pings = 0;
  DWORD longest = 0;          // ms, the longest wait for an answer
  std::set<unsigned> frames;  // the animation's pictures, by their pixels' sum
  bool ended = false;
};

// A checksum of what the screen shows where the window lies.
unsigned Picture(HWND w) {
  RECT r;
  if (!GetWindowRect(w, &r) || r.right <= r.left || r.bottom <= r.top) return 0;
  int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(0);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi;
  ZeroMemory(&bi, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = 0;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, 0, 0);
  unsigned sum = 0;
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(mem, old);
    const unsigned* p = static_cast<const unsigned*>(bits);
    for (int i = 0; i < width * height; i++) sum = sum * 31 + p[i];
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(0, screen);
  return sum;
}

// Pings window every kPingInterval ms with WM_NULL until ended() holds (or
// the time is up), noting how long each answer took and what the animation
// showed.
Watch WatchRun(HWND window, HWND animation, const std::function<bool()>& ended, DWORD timeoutMs = 120000) {
  Watch watch;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    DWORD sent = GetTickCount();
    DWORD_PTR r = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    DWORD took = GetTickCount() - sent;
    watch.pings++;
    if (took > watch.longest) watch.longest = took;
    watch.frames.insert(Picture(animation));
    if (ended()) {
      watch.ended = true;
      break;
    }
    DWORD spent = GetTickCount() - sent;
    if (spent < kPingInterval) Sleep(kPingInterval - spent);  // the pace of the pings, not a wait for state
  }
  printf("%d pings, the longest answer %lu ms, %u pictures of the animation\n", watch.pings,
         static_cast<unsigned long>(watch.longest), static_cast<unsigned>(watch.frames.size()));
  return watch;
}

class ResponsiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pkg = WinePath(RESPONSIVE_PACKAGE);
    install = "C:\\响应测试e2e\\";
    Clean();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    RemoveTree(install.substr(0, install.size() - 1));
    for (const char* key : {".e2r", "e2rfile"}) RemoveKeyTree(HKEY_CLASSES_ROOT, key);
  }
  std::string pkg, install;
};

TEST_F(ResponsiveTest, WizardAndUninstallerAnswerThroughoutTheirRuns) {
  ASSERT_TRUE(FileExists(pkg)) << "no package at " << RESPONSIVE_PACKAGE << " (build the host preset first)";
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
    HWND page = wiz.CurrentPage();
    Watch copy = WatchRun(wiz.Sheet(), GetDlgItem(page, IDC_COPY_ANIMATION), [&] { return wiz.PageIndex() == 4; });
    ASSERT_TRUE(copy.ended);
    EXPECT_GE(copy.pings, 10) << "a run this short shows nothing";
    EXPECT_LE(copy.longest, kLongestAnswer);
    EXPECT_GE(copy.frames.size(), 3u) << "the animation stood still";
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    ASSERT_TRUE(wiz.WaitForExit(30000));
    EXPECT_TRUE(wiz.popups.empty());
  }
  ASSERT_TRUE(FileExists(install + "setup.log"));
  EXPECT_EQ(ReadBytes(install + "data\\s\\0999.txt").size(), 4096u);

  // The removal, in the uninstaller's temporary copy.
  Robot robot;
  ASSERT_TRUE(robot.Start(install + "ridkit.exe"));
  HWND dlg = WaitForTopWindow(DIALOG_CLASS, kProduct, 30000);
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  Watch removal = WatchRun(dlg, GetDlgItem(dlg, IDC_ANIMATION), [&] {
    return Robot::Enabled(dlg, IDOK) && Robot::ControlText(dlg, IDOK) == "完成";
  });
  ASSERT_TRUE(removal.ended);
  EXPECT_GE(removal.pings, 10);
  EXPECT_LE(removal.longest, kLongestAnswer);
  EXPECT_GE(removal.frames.size(), 3u) << "the animation stood still";
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  // The dialog is the temporary copy's: its end is the window's.
  for (DWORD start = GetTickCount(); IsWindow(dlg) && GetTickCount() - start < 30000;) Sleep(20);
  EXPECT_FALSE(IsWindow(dlg));
  EXPECT_FALSE(FileExists(install));
}

// 退出安装 during the copy: the run stops after its file, and every file and
// folder it made goes; what was there before stays as it was (a file it
// overwrote comes back from the run's undo folder, which goes too).
TEST_F(ResponsiveTest, QuitDuringTheCopyTakesBackWhatTheRunMade) {
  ASSERT_TRUE(FileExists(pkg)) << "no package at " << RESPONSIVE_PACKAGE << " (build the host preset first)";
  CreateDirectoryA(install.c_str(), 0);
  CreateDirectoryA((install + "data").c_str(), 0);
  WriteBytes(install + "user.txt", "the user's");
  WriteBytes(install + "data\\big0.bin", "old");  // the package's first file
  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
  // Some small files are in place: the run is well under way.
  ASSERT_TRUE(robot.WaitUntil([&] { return FileExists(install + "data\\s\\0003.txt"); }, 60000));
  ASSERT_TRUE(Robot::Click(wiz.Sheet(), IDCANCEL));
  Popup question;
  HWND box = 0;
  ASSERT_TRUE(wiz.WaitForPopup(question, box, 5000, Wizard::kPopupQuestion));
  EXPECT_EQ(question.text, "安装程序正在进行,您真得要取消安装吗?");
  // While it is open the run waits: the small files (about one a millisecond
  // otherwise) stop coming, well before the last one.
  size_t count = 0;
  for (DWORD start = GetTickCount(), same = 0; same < 1000 && GetTickCount() - start < 20000;) {
    size_t now = SnapshotFolder(install + "data\\s").entries.size();
    same = now == count ? same + 200 : 0;
    count = now;
    Sleep(200);  // the pace of the look, not a wait for state
  }
  EXPECT_LT(count, 1000u);
  ASSERT_TRUE(Robot::Click(box, IDCANCEL));
  ASSERT_TRUE(wiz.WaitForExit(60000));

  FolderSnapshot left = SnapshotFolder(install);
  EXPECT_EQ(left.entries, (std::map<std::string, std::string>{
                              {"user.txt", "the user's"}, {"data\\", ""}, {"data\\big0.bin", "old"}}));
  EXPECT_FALSE(SnapshotKey(HKEY_CLASSES_ROOT, ".e2r").exists);
}

}  // namespace
