// Installation from first page to last: the real setup.exe with a package
// made by the builder, driven through its five pages. Checks every installed
// byte, setup.log, the associations, the shortcuts, ridkit.exe and its table,
// the control's registration and what was started; the copy rules with files
// already in place; cancelling on the copy page (its run taken back) and the
// finish page.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/fieldtable.h"
#include "common/package.h"
#include "framework/memory.h"
#include "robot.h"
#include "setupfile.h"
#include "snapshot.h"
#include "tests/fileutil.h"
#include "wizard.h"

#ifndef INSTALL_PACKAGE
#error INSTALL_PACKAGE names the package of these tests
#endif

namespace {

const char kProduct[] = "安装测试";
const char kPlainProduct[] = "简单安装";
const std::string T = "\r\r\n";

std::string WindowsDir() {
  char path[MAX_PATH + 1] = {0};
  GetWindowsDirectoryA(path, MAX_PATH);
  return path;
}

std::string SystemDir() {
  char path[MAX_PATH + 1] = {0};
  GetSystemDirectoryA(path, MAX_PATH);
  return path;
}

std::string Source(const char* unixPath) { return ReadBytes(WinePath(unixPath)); }
std::string Data(const std::string& rel) { return ReadBytes(WinePath(DATA_DIR) + "\\install\\" + rel); }

// The nine fields of ridkit.exe's table and where its parts lie.
struct UninstallerFile {
  bool ok = false;
  std::string program, picture, icon;
  std::vector<std::string> fields;
  std::string trailer;
};

UninstallerFile ReadUninstaller(const std::string& path) {
  UninstallerFile u;
  std::string bytes = ReadBytes(path);
  CStoredTable stored;
  if (!stored.Read(path.c_str(), 1 << 20) || !stored.Bytes()) return u;
  long seek = static_cast<long>(stored.Where.Offset), len = static_cast<long>(stored.Where.Length);
  CFieldTable t;
  stored.Load(t);
  for (int i = 0; i < 9; i++) u.fields.push_back(t.NextField());
  u.trailer = bytes.substr(seek + len);
  long pLen = atol(u.fields[1].c_str()), pOff = atol(u.fields[2].c_str());
  long iLen = atol(u.fields[3].c_str()), iOff = atol(u.fields[4].c_str());
  u.program = bytes.substr(0, pOff);
  u.picture = bytes.substr(pOff, pLen);
  u.icon = bytes.substr(iOff, iLen);
  u.ok = pOff + pLen == iOff && iOff + iLen == seek;
  return u;
}

std::string Trailer(long len, long seek) {
  char t[64];
  FormatTrailer(t, sizeof t, len, seek);
  return t;
}

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OleInitialize(0); }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    install = "C:\\安装测试e2e\\";
    windowsDir = WindowsDir();
    systemDir = SystemDir();
    controls = systemDir + "\\e2e安装\\";
    desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    startMenu = SpecialFolder(CSIDL_STARTMENU);
    programs = SpecialFolder(CSIDL_PROGRAMS);
    marks = TempFolder() + "e2e-install-marks.txt";
    SetEnvironmentVariableA("E2E_MARKS", marks.c_str());
    Clean();
  }
  void TearDown() override { Clean(); }

  void Clean() {
    RemoveTree(install.substr(0, install.size() - 1));
    RemoveTree(windowsDir + "\\e2e.ini");
    RemoveTree(controls.substr(0, controls.size() - 1));
    for (const char* product : {kProduct, kPlainProduct}) {
      RemoveTree(desktop + "测试.lnk");
      RemoveTree(startMenu + "测试.lnk");
      RemoveTree(programs + product);
    }
    for (const char* key : {".e2a", "e2afile", ".e2b", "e2bfile"}) RemoveKeyTree(HKEY_CLASSES_ROOT, key);
    // The entries of the installations before: with one naming the folder, a
    // setup there would be an upgrade of it.
    for (const char* entry : {"E2E.InstallTest", kPlainProduct})
      RemoveKeyTree(HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + entry);
    RemoveTree(marks);
  }

  std::string Package(const char* unixPath) {
    std::string p = WinePath(unixPath);
    return FileExists(p) ? p : "";
  }

  // Every line of the marks file, waiting until at least n are there.
  std::multiset<std::string> Marks(size_t n) {
    DWORD start = GetTickCount();
    for (;;) {
      std::multiset<std::string> lines;
      std::string all = ReadBytes(marks);
      size_t pos = 0;
      for (size_t end; (end = all.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.insert(all.substr(pos, end - pos));
      if (lines.size() >= n || GetTickCount() - start > 15000) return lines;
      Sleep(50);
    }
  }

  // The log a run with these shortcut lines writes for the test package.
  std::string ExpectedLog(const std::vector<std::string>& shortcuts) {
    std::string log = "[FILELIST]" + T;
    for (const std::string& p :
         {install + "bin\\测试.exe", install + "说明.e2a", install + "keep.txt", install + "notes.txt",
          install + "lib\\deep\\two.dat", install + "lib\\one.dat", install + "lib\\deep\\big.bin",
          windowsDir + "\\e2e.ini", controls + "e2ectl.ocx", controls + "kept.OCX"})
      log += p + T;
    log += T + "[TYPELIST]" + T + "e2a" + T + "e2b" + T + T + "[SHORTCUTLIST]" + T;
    for (const std::string& s : shortcuts) log += s + T;
    return log;
  }

  void ExpectShortcut(const std::string& link, const std::string& target) {
    SCOPED_TRACE(link);
    ShortcutInfo s = ReadShortcut(link);
    ASSERT_TRUE(s.loaded);
    EXPECT_EQ(s.target, target);
    EXPECT_EQ(s.workingDir, target.substr(0, target.rfind('\\')));
  }

  std::string install, windowsDir, systemDir, controls, desktop, startMenu, programs, marks;
};

#define REQUIRE_PACKAGE(var, path)                                                         \
  std::string var = Package(path);                                                         \
  if (var.empty()) GTEST_FAIL() << "no package at " << path << " (build the host preset first)"

TEST_F(InstallTest, EverythingOfAFreshInstallation) {
  REQUIRE_PACKAGE(pkg, INSTALL_PACKAGE);
  {
    // Its index is packed: the setup reads the rows out of it.
    CPackage s;
    ASSERT_EQ(s.Open(pkg.c_str()), kPackageOpened);
    EXPECT_EQ(s.Seal.IndexMethod, kMethodLzma);
    EXPECT_GT(s.Seal.IndexUnpacked, s.Index.Length);
  }
  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));

  // The finish page as the package makes it.
  EXPECT_EQ(Robot::ControlText(wiz.CurrentPage(), IDC_FINISH_LINE1), "完成一");
  EXPECT_EQ(Robot::ControlText(wiz.CurrentPage(), IDC_FINISH_LINE2), "完成二");
  EXPECT_EQ(Robot::ControlText(wiz.CurrentPage(), IDC_FINISH_LINE3), "完成三");
  for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_GROUP}) EXPECT_TRUE(wiz.IsEnabled(box)) << box;
  EXPECT_TRUE(wiz.IsVisible(IDC_FINISH_README));
  EXPECT_TRUE(wiz.IsVisible(IDC_FINISH_RUN));
  EXPECT_TRUE(wiz.IsChecked(IDC_FINISH_GROUP));
  EXPECT_FALSE(wiz.IsChecked(IDC_FINISH_DESKTOP));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(wiz.Sheet(), IDCANCEL)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(wiz.Sheet(), ID_WIZBACK)));
  for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_README, IDC_FINISH_RUN})
    ASSERT_TRUE(wiz.SetCheck(box, true));
  ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
  DWORD code = 1;
  ASSERT_TRUE(wiz.WaitForExit(30000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wiz.popups.empty()) << wiz.popups[0].text;

  // Every installed byte; the programs' code was packed through the x86
  // filter (the test program and both controls).
  CPackage package;
  ASSERT_EQ(package.Open(pkg.c_str()), kPackageOpened);
  int filtered = 0;
  for (CFileList::Node* n = package.FileList.Head; n; n = n->Next) filtered += n->Entry.Filter == kFilterX86;
  EXPECT_EQ(filtered, 3);
  FolderSnapshot files = SnapshotFolder(install);
  std::string ridkit = files.entries["ridkit.exe"], log = files.entries["setup.log"];
  files.entries.erase("ridkit.exe");
  files.entries.erase("setup.log");
  std::map<std::string, std::string> want = {
      {"bin\\", ""},
      {"bin\\测试.exe", Source(APP_EXE)},
      {"说明.e2a", Data("说明.e2a")},
      {"keep.txt", Data("keep.txt")},
      {"notes.txt", Data("notes.txt")},
      {"lib\\", ""},
      {"lib\\one.dat", Data("lib\\one.dat")},
      {"lib\\deep\\", ""},
      {"lib\\deep\\two.dat", Data("lib\\deep\\two.dat")},
      {"lib\\deep\\big.bin", Source(BIG_FILE)}};
  EXPECT_EQ(files.entries, want);
  EXPECT_GT(want["lib\\deep\\big.bin"].size(), 3u * 65536);
  EXPECT_EQ(ReadBytes(windowsDir + "\\e2e.ini"), Data("e2e.ini"));
  FolderSnapshot sys = SnapshotFolder(controls);
  EXPECT_EQ(sys.entries, (std::map<std::string, std::string>{{"e2ectl.ocx", Source(CTL_DLL)},
                                                              {"kept.OCX", Source(CTL_NONE_DLL)}}));

  // setup.log, byte for byte; the shortcuts it lists and the uninstaller's.
  std::string group = programs + kProduct + "\\";
  EXPECT_EQ(log, ExpectedLog({desktop + "测试.lnk", startMenu + "测试.lnk", group + "测试.lnk",
                              group + "说明.lnk"}));
  ExpectShortcut(desktop + "测试.lnk", install + "bin\\测试.exe");
  ExpectShortcut(startMenu + "测试.lnk", install + "bin\\测试.exe");
  ExpectShortcut(group + "测试.lnk", install + "bin\\测试.exe");
  ExpectShortcut(group + "说明.lnk", install + "说明.e2a");
  ExpectShortcut(group + "ridkit.lnk", install + "ridkit.exe");
  FolderSnapshot groupFiles = SnapshotFolder(group);
  EXPECT_EQ(groupFiles.entries.size(), 3u);

  // The associations: six keys each, and their values.
  std::string program = install + "bin\\测试.exe";
  std::string viewer = systemDir + "\\e2e安装\\viewer.exe";
  for (auto a : {std::make_pair(std::string("e2a"), program), std::make_pair(std::string("e2b"), viewer)}) {
    SCOPED_TRACE(a.first);
    RegSnapshot dot = SnapshotKey(HKEY_CLASSES_ROOT, "." + a.first);
    RegSnapshot file = SnapshotKey(HKEY_CLASSES_ROOT, a.first + "file");
    EXPECT_EQ(dot.keys.size(), 1u);
    EXPECT_EQ(SzValue(dot, ""), a.first + "file");
    std::vector<std::string> keys;
    for (const auto& k : file.keys) keys.push_back(k.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "DefaultIcon", "shell", "shell\\open", "shell\\open\\command"}));
    EXPECT_EQ(SzValue(file, "DefaultIcon"), a.second + ",0");
    EXPECT_EQ(SzValue(file, "shell\\open\\command"), a.second + " %1");
    EXPECT_TRUE(file.keys[""].empty());
  }

  // ridkit.exe: the uninstaller, the picture, the icon, the table, the trailer.
  UninstallerFile u = ReadUninstaller(install + "ridkit.exe");
  ASSERT_TRUE(u.ok);
  std::string art = WinePath(ART_DIR);
  EXPECT_TRUE(u.program == Source(RIDKIT_EXE));
  EXPECT_TRUE(u.picture == ReadBytes(art + "\\page.jpg"));
  EXPECT_TRUE(u.icon == ReadBytes(art + "\\product.ico"));
  long r = static_cast<long>(u.program.size()), p = static_cast<long>(u.picture.size());
  long i = static_cast<long>(u.icon.size());
  EXPECT_EQ(u.fields, (std::vector<std::string>{kProduct, std::to_string(p), std::to_string(r), std::to_string(i),
                                                std::to_string(r + p), "HKEY_CURRENT_USER|Software\\安装测试",
                                                "HKEY_CURRENT_USER|Software\\E2E\\Other",
                                                "HKEY_CURRENT_USER|Software\\E2E|值",
                                                "HKEY_LOCAL_MACHINE|Software\\E2E|Second"}));
  long tableLen = static_cast<long>(ridkit.size() - u.trailer.size()) - (r + p + i);
  EXPECT_EQ(u.trailer, Trailer(tableLen, r + p + i));
  // The builder assembles the same bytes for the package (--uninstaller-out):
  // what a signed package carries is this file signed.
  EXPECT_TRUE(ridkit == Source(INSTALL_UNINSTALLER));

  // The control registered where it lies; the read-me opened through its
  // association with the program, and the program started on its own.
  std::multiset<std::string> m = Marks(3);
  EXPECT_EQ(m, (std::multiset<std::string>{"registered " + controls + "e2ectl.ocx",
                                           "started " + program + "|" + install + "说明.e2a",
                                           "started " + program + "|"}));
}

TEST_F(InstallTest, CopyRulesWithFilesAlreadyInPlace) {
  REQUIRE_PACKAGE(pkg, INSTALL_PACKAGE);
  CreateDirectoryA(install.c_str(), 0);
  CreateDirectoryA((install + "lib").c_str(), 0);
  CreateDirectoryA((install + "lib\\deep").c_str(), 0);
  CreateDirectoryA((install + "bin").c_str(), 0);
  CreateDirectoryA((install + "notes.txt").c_str(), 0);  // no file can be written there
  CreateDirectoryA(controls.c_str(), 0);
  WriteBytes(install + "keep.txt", "old keep");
  WriteBytes(install + "lib\\one.dat", "old one");
  WriteBytes(install + "lib\\deep\\two.dat", "old two");
  WriteBytes(install + "bin\\测试.exe", "old program");
  WriteBytes(install + "setup.log", "old log");
  WriteBytes(install + "ridkit.exe", "old uninstaller");
  SetFileAttributesA((install + "setup.log").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((install + "ridkit.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  // A control of the same name already there: kept, and registered all the same.
  WriteBytes(controls + "kept.OCX", Source(CTL_DLL));

  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  wiz.rule = [&](const Popup& p) {
    if (!p.question) return IDOK;
    return p.text.find("one.dat") != std::string::npos ? IDOK : IDCANCEL;
  };
  ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
  // Only the desktop: no program group, so no uninstaller shortcut either.
  ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_GROUP, false));
  ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_DESKTOP, true));
  ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
  ASSERT_TRUE(wiz.WaitForExit(30000));

  ASSERT_EQ(wiz.popups.size(), 3u);
  for (int k = 0; k < 2; k++) {
    const Popup& q = wiz.popups[k];
    EXPECT_TRUE(q.question);
    EXPECT_EQ(q.caption, kProduct);
    EXPECT_EQ(q.first, "覆盖");
    EXPECT_EQ(q.second, "取消");
  }
  // In list order: the folder lib's files as the builder ordered them.
  EXPECT_EQ(wiz.popups[0].text, "文件 " + install + "lib\\deep\\two.dat 已存在,要覆盖吗?");
  EXPECT_EQ(wiz.popups[1].text, "文件 " + install + "lib\\one.dat 已存在,要覆盖吗?");
  EXPECT_FALSE(wiz.popups[2].question);
  EXPECT_EQ(wiz.popups[2].text, "以下文件未能安装:\r\n" + install + "notes.txt");

  EXPECT_EQ(ReadBytes(install + "keep.txt"), "old keep");
  EXPECT_EQ(ReadBytes(install + "lib\\one.dat"), Data("lib\\one.dat"));
  EXPECT_EQ(ReadBytes(install + "lib\\deep\\two.dat"), "old two");
  EXPECT_EQ(ReadBytes(install + "bin\\测试.exe"), Source(APP_EXE));
  EXPECT_EQ(SnapshotFolder(install + "notes.txt").entries.size(), 0u);  // still an empty folder
  EXPECT_TRUE(ReadBytes(controls + "kept.OCX") == Source(CTL_DLL));
  EXPECT_TRUE(ReadUninstaller(install + "ridkit.exe").ok);
  EXPECT_EQ(ReadBytes(install + "setup.log"), ExpectedLog({desktop + "测试.lnk"}));
  ExpectShortcut(desktop + "测试.lnk", install + "bin\\测试.exe");
  EXPECT_FALSE(FileExists(programs + kProduct));
  EXPECT_FALSE(FileExists(startMenu + "测试.lnk"));

  EXPECT_EQ(Marks(2), (std::multiset<std::string>{"registered " + controls + "e2ectl.ocx",
                                                  "registered " + controls + "kept.OCX"}));
}

TEST_F(InstallTest, CancelWhileCopyingBothAnswers) {
  REQUIRE_PACKAGE(pkg, INSTALL_PACKAGE);
  for (int answer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(answer == IDOK ? "继续安装" : "退出安装");
    Clean();
    CreateDirectoryA(install.c_str(), 0);
    CreateDirectoryA((install + "notes.txt").c_str(), 0);  // stops the run with a message
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
    // While the failure message is up the run waits: the user presses Cancel.
    Popup p;
    HWND box = 0;
    ASSERT_TRUE(wiz.WaitForPopup(p, box, 30000, Wizard::kPopupMessage));
    ASSERT_TRUE(Robot::Click(wiz.Sheet(), IDCANCEL));
    ASSERT_TRUE(wiz.Answer(Wizard::kPopupQuestion, "安装程序正在进行,您真得要取消安装吗?", answer));
    ASSERT_TRUE(wiz.Answer(Wizard::kPopupMessage, "以下文件未能安装:", IDOK));
    if (answer == IDOK) {
      ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
      ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
      ASSERT_TRUE(wiz.WaitForExit(30000));
      EXPECT_TRUE(FileExists(install + "setup.log"));
      EXPECT_TRUE(FileExists(programs + kProduct + "\\ridkit.lnk"));
      EXPECT_EQ(ReadBytes(install + "lib\\deep\\big.bin"), Source(BIG_FILE));
      EXPECT_TRUE(ReadUninstaller(install + "ridkit.exe").ok);
      EXPECT_EQ(SzValue(SnapshotKey(HKEY_CLASSES_ROOT, ".e2b"), ""), "e2bfile");
    } else {
      ASSERT_TRUE(wiz.WaitForExit(30000));
      // Nothing of the last page is done, and what the run made is taken
      // back: its files (the controls unregistered first), its folders, the
      // uninstaller and the associations. The folders that were there stay.
      EXPECT_FALSE(FileExists(install + "setup.log"));
      EXPECT_FALSE(FileExists(programs + kProduct));
      EXPECT_EQ(SnapshotFolder(install).entries, (std::map<std::string, std::string>{{"notes.txt\\", ""}}));
      EXPECT_FALSE(FileExists(windowsDir + "\\e2e.ini"));
      EXPECT_FALSE(FileExists(controls.substr(0, controls.size() - 1)));
      for (const char* key : {".e2a", "e2afile", ".e2b", "e2bfile"})
        EXPECT_FALSE(SnapshotKey(HKEY_CLASSES_ROOT, key).exists) << key;
      EXPECT_EQ(Marks(2), (std::multiset<std::string>{"registered " + controls + "e2ectl.ocx",
                                                      "unregistered " + controls + "e2ectl.ocx"}));
    }
  }
}

TEST_F(InstallTest, ClosingTheFinishPage) {
  REQUIRE_PACKAGE(pkg, INSTALL_PACKAGE);
  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
  ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_DESKTOP, true));
  ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_RUN, true));

  // "继续安装" keeps the page as it was.
  PostMessageA(wiz.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(wiz.Answer(Wizard::kPopupQuestion, "安装即将完成,您真得要取消安装吗?", IDOK));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
  EXPECT_TRUE(wiz.IsChecked(IDC_FINISH_DESKTOP));
  EXPECT_TRUE(wiz.IsChecked(IDC_FINISH_RUN));
  EXPECT_TRUE(wiz.IsChecked(IDC_FINISH_GROUP));

  PostMessageA(wiz.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(wiz.Answer(Wizard::kPopupQuestion, "安装即将完成,您真得要取消安装吗?", IDCANCEL));
  ASSERT_TRUE(wiz.WaitForExit(30000));
  EXPECT_FALSE(FileExists(install + "setup.log"));
  EXPECT_FALSE(FileExists(desktop + "测试.lnk"));
  EXPECT_FALSE(FileExists(programs + kProduct));
  EXPECT_TRUE(FileExists(install + "ridkit.exe"));
  EXPECT_TRUE(Marks(1).size() == 1u);  // the control's registration only: nothing started
}

TEST_F(InstallTest, PlainPackageWithoutShortcutsPicturesOrLaunches) {
  REQUIRE_PACKAGE(pkg, PLAIN_PACKAGE);
  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  ASSERT_TRUE(wiz.ToCopyPage(kPlainProduct, install));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
  for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_GROUP}) EXPECT_FALSE(wiz.IsEnabled(box)) << box;
  EXPECT_TRUE(wiz.IsChecked(IDC_FINISH_GROUP));  // disabled, and ticked all the same
  EXPECT_FALSE(wiz.IsVisible(IDC_FINISH_README));
  EXPECT_FALSE(wiz.IsVisible(IDC_FINISH_RUN));
  ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
  ASSERT_TRUE(wiz.WaitForExit(30000));
  EXPECT_TRUE(wiz.popups.empty());

  EXPECT_EQ(ReadBytes(install + "keep.txt"), Data("keep.txt"));
  EXPECT_EQ(ReadBytes(install + "setup.log"),
            "[FILELIST]" + T + install + "keep.txt" + T + T + "[TYPELIST]" + T + T + "[SHORTCUTLIST]" + T);
  EXPECT_FALSE(FileExists(programs + kPlainProduct));
  UninstallerFile u = ReadUninstaller(install + "ridkit.exe");
  ASSERT_TRUE(u.ok);
  std::string r = std::to_string(u.program.size());
  EXPECT_EQ(u.fields, (std::vector<std::string>{kPlainProduct, "0", r, "0", r, "", "", "", ""}));
}

// The plain package with page 4's heading replaced (the builder refuses a
// line that long, so the index is rewritten here).
std::string WithCopyHeading(const std::string& package, const std::string& heading) {
  std::string bytes = ReadBytes(package);
  CPackage read;
  if (read.OpenIndex(package.c_str()) != kPackageOpened) return "";
  long seek = static_cast<long>(read.Index.Offset);
  CFieldTable in;
  read.ReadIndex(in);
  CFieldTable out;
  out.columnCount = 8;
  for (int i = 0; i < 64 + 8 + 1; i++) {
    std::string f = in.NextField();
    out.AddField(i == 24 ? heading.c_str() : f.c_str());
  }
  int n = 0;
  char* text = out.ExportText(n);
  std::string rewritten(text, static_cast<size_t>(n));
  FreeBuffer(text);
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&rewritten[0]), n, TABLE_KEY);
  return bytes.substr(0, seek) + rewritten + Trailer(n, seek);
}

TEST_F(InstallTest, HeadingTooLongKeepsTheCopyPageWhereOnlyCancelIsLeft) {
  REQUIRE_PACKAGE(plain, PLAIN_PACKAGE);
  std::string pkg = TempFolder() + "heading-setup.exe";
  ASSERT_TRUE(WriteBytes(pkg, WithCopyHeading(plain, std::string(48, 'H'))));
  Robot robot;
  ASSERT_TRUE(robot.Start(pkg));
  Wizard wiz(robot);
  ASSERT_TRUE(wiz.ToCopyPage(kPlainProduct, install));
  // The run ends; leaving the page reads the heading back and refuses it.
  ASSERT_TRUE(wiz.Answer(Wizard::kPopupMessage, "输入的文字太长", IDOK));
  EXPECT_EQ(ReadBytes(install + "keep.txt"), Data("keep.txt"));
  EXPECT_TRUE(ReadUninstaller(install + "ridkit.exe").ok);
  ASSERT_TRUE(wiz.WaitForPage(IDC_COPY_STATUS));
  EXPECT_EQ(Robot::ControlText(wiz.CurrentPage(), IDC_COPY_STATUS), "安装完成");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wiz.Sheet(), ID_WIZNEXT)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wiz.Sheet(), ID_WIZBACK)));

  ASSERT_TRUE(Robot::Click(wiz.Sheet(), IDCANCEL));
  ASSERT_TRUE(wiz.Answer(Wizard::kPopupQuestion, "安装程序正在进行,您真得要取消安装吗?", IDOK));
  ASSERT_TRUE(wiz.WaitForPage(IDC_COPY_STATUS));
  EXPECT_TRUE(robot.Running());
  ASSERT_TRUE(Robot::Click(wiz.Sheet(), IDCANCEL));
  ASSERT_TRUE(wiz.Answer(Wizard::kPopupQuestion, "安装程序正在进行,您真得要取消安装吗?", IDCANCEL));
  ASSERT_TRUE(wiz.WaitForExit(30000));
  EXPECT_FALSE(FileExists(install + "setup.log"));
  DeleteFileA(pkg.c_str());
}

// One byte changed in the (packed) index, in a stored file, in a packed file,
// in the page picture; bytes cut from the middle or added there; a seal
// giving the packed index another size: the setup says the
// package is damaged, installs nothing and ends with the damaged package's
// exit code, leaving not even the installation folder. A damaged index is
// found at the start, the rest before the first file is written.
TEST_F(InstallTest, DamagedPackageInstallsNothing) {
  REQUIRE_PACKAGE(pkg, INSTALL_PACKAGE);
  std::string good = ReadBytes(pkg);
  CPackage s;
  ASSERT_EQ(s.Open(pkg.c_str()), kPackageOpened);
  long len = static_cast<long>(s.Index.Length), seek = static_cast<long>(s.Index.Offset);
  ASSERT_TRUE(s.Extended);
  long stored = -1, packed = -1;
  for (CFileList::Node* n = s.FileList.Head; n; n = n->Next)
    if (n->Entry.Method == kMethodStored && n->Entry.Length > 10) stored = n->Entry.Offset + n->Entry.Length / 2;
  // Packed files are in blocks.
  if (const RegionRef* block = s.Blocks.At(1)) packed = static_cast<long>(block->Offset + block->Length / 2);
  ASSERT_GE(stored, 0);
  ASSERT_GE(packed, 0);
  struct {
    const char* what;
    long at;
    int change;  // 0: one byte changed, -1: 3 bytes cut, 1: 3 bytes added, 2: the seal's unpacked size + at
    bool atStart;
  } cases[] = {
      {"seal's index size", 1, 2, true},
      {"index", seek + len / 3, 0, true},
      {"stored file", stored, 0, false},
      {"packed block", packed, 0, false},
      {"picture", s.PictureOffset + s.PictureLength / 2, 0, false},
      {"cut", packed, -1, true},
      {"added", packed, 1, true},
  };
  std::string bad = TempFolder() + "damaged-setup.exe";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    if (c.change == 2) {
      char trailer[160];
      int n = FormatTrailer(trailer, sizeof trailer, len, seek);
      n += FormatSeal(trailer + n, static_cast<int>(sizeof trailer) - n, s.Seal.PayloadStart, s.Seal.PayloadCrc,
                      s.Seal.IndexCrc, s.Seal.IndexUnpacked + c.at);
      bytes = good.substr(0, static_cast<size_t>(seek + len)) + std::string(trailer, static_cast<size_t>(n));
    } else if (c.change == 0) {
      bytes[c.at] = static_cast<char>(bytes[c.at] ^ 0x40);
    } else if (c.change < 0) {
      bytes.erase(c.at, 3);
    } else {
      bytes.insert(c.at, "xyz");
    }
    ASSERT_TRUE(WriteBytes(bad, bytes));
    Robot robot;
    ASSERT_TRUE(robot.Start(bad));
    Wizard wiz(robot);
    const std::string damaged = "安装文件已损坏，请重新下载。";
    if (c.atStart) {
      EXPECT_TRUE(wiz.Answer(Wizard::kPopupMessage, damaged, IDOK));
    } else {
      // The check may end the wizard before the robot sees the copy page.
      wiz.rule = [](const Popup&) { return IDOK; };
      wiz.ToCopyPage(kProduct, install);
      robot.WaitUntil([&] { wiz.AnswerPopups(); return !robot.Running(); }, 30000);
      ASSERT_EQ(wiz.popups.size(), 1u);
      EXPECT_EQ(wiz.popups[0].text, damaged);
    }
    DWORD code = 0;
    ASSERT_TRUE(wiz.WaitForExit(30000, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXIT_DAMAGED_PACKAGE));
    // Not even the folder the folder page made.
    EXPECT_EQ(GetFileAttributesA(install.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FileExists(windowsDir + "\\e2e.ini"));
    Clean();
  }
  DeleteFileA(bad.c_str());
}

}  // namespace
