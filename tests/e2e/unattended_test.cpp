// Unattended installation and removal as a deployment tool runs them: the
// real setup.exe with /S, /D= and /LOG=, then the uninstaller through the
// QuietUninstallString of the entry it wrote in the list of installed
// programs. A watcher looks at the screen throughout: no window may appear at
// any moment. The machine afterwards is compared with the machine before.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/package.h"
#include "commandrun.h"
#include "robot.h"
#include "setupfile.h"
#include "snapshot.h"
#include "tests/fileutil.h"
#include "uninstall/resource.h"

#if !defined(INSTALL_PACKAGE) || !defined(SIGNED_PACKAGE) || !defined(SIGNED_KEPT)
#error INSTALL_PACKAGE and SIGNED_PACKAGE name the packages of this test, SIGNED_KEPT where it keeps the signed uninstaller
#endif

namespace {

const char kProduct[] = "安装测试";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E.InstallTest";

struct MachineState {
  FolderSnapshot parent, startMenu, systemSub;
  std::string ini;
  bool desktopLink = false;
  RegSnapshot keys[5];
};

class UnattendedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pkg = WinePath(INSTALL_PACKAGE);
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << INSTALL_PACKAGE << " (build the host preset first)";
    parent = "C:\\Silent Dir";
    install = parent + "\\App\\";
    windowsDir = SystemFolder(GetWindowsDirectoryA);
    systemDir = SystemFolder(GetSystemDirectoryA);
    desktopLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "测试.lnk";
    group = SpecialFolder(CSIDL_PROGRAMS) + kProduct + "\\";
    setupLog = "C:\\s.log";
    removalLog = "C:\\r.log";
    Clean();
    CreateDirectoryA(parent.c_str(), 0);
  }
  void TearDown() override {
    if (!pkg.empty()) Clean();
  }

  static std::string SystemFolder(UINT(WINAPI* get)(LPSTR, UINT)) {
    char path[MAX_PATH + 1] = {0};
    get(path, MAX_PATH);
    return path;
  }

  void Clean() {
    RemoveTree(parent);
    RemoveTree(windowsDir + "\\e2e.ini");
    RemoveTree(systemDir + "\\e2e安装");
    RemoveTree(desktopLink);
    RemoveTree(SpecialFolder(CSIDL_STARTMENU) + "测试.lnk");
    RemoveTree(group.substr(0, group.size() - 1));
    for (const char* key : {".e2a", "e2afile", ".e2b", "e2bfile"}) RemoveKeyTree(HKEY_CLASSES_ROOT, key);
    RemoveKeyTree(HKEY_LOCAL_MACHINE, kEntryKey);
    RemoveTree(setupLog);
    RemoveTree(removalLog);
  }

  MachineState Take() {
    MachineState s;
    s.parent = SnapshotFolder(parent);
    s.startMenu = SnapshotFolder(SpecialFolder(CSIDL_STARTMENU));
    s.systemSub = SnapshotFolder(systemDir + "\\e2e安装");
    s.ini = ReadBytes(windowsDir + "\\e2e.ini");
    s.desktopLink = FileExists(desktopLink);
    const std::pair<HKEY, const char*> keys[5] = {{HKEY_CLASSES_ROOT, ".e2a"},
                                                  {HKEY_CLASSES_ROOT, "e2afile"},
                                                  {HKEY_CLASSES_ROOT, ".e2b"},
                                                  {HKEY_CLASSES_ROOT, "e2bfile"},
                                                  {HKEY_LOCAL_MACHINE, kEntryKey}};
    for (int i = 0; i < 5; i++) s.keys[i] = SnapshotKey(keys[i].first, keys[i].second);
    return s;
  }

  WatchedRun Install(const std::string& switches) { return RunWatched(Quoted(pkg) + " " + switches); }
  WatchedRun SilentInstall() { return Install("/S /LOG=" + setupLog + " /D=" + install.substr(0, install.size() - 1)); }

  std::string pkg, parent, install, windowsDir, systemDir, desktopLink, group, setupLog, removalLog;
};

// The package: unsigned, or the same signed (installs exactly alike, its
// uninstaller signed).
class SilentCycleTest : public UnattendedTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    UnattendedTest::SetUp();
    pkg = WinePath(GetParam());
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << GetParam() << " (build the host preset first)";
  }
};

TEST_P(SilentCycleTest, SilentInstallThenQuietUninstallLeavesTheMachineAsBefore) {
  MachineState before = Take();
  ASSERT_FALSE(before.keys[4].exists);

  WatchedRun setup = SilentInstall();
  ASSERT_TRUE(setup.ended);
  EXPECT_EQ(setup.exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  EXPECT_EQ(setup.windows, std::vector<std::string>{});

  // Everything the wizard run makes, the finish page's shortcut boxes as the
  // package's bits allow.
  const char* files[] = {"bin\\测试.exe", "说明.e2a", "keep.txt", "notes.txt", "lib\\deep\\big.bin",
                         "ridkit.exe", "setup.log"};
  for (const char* f : files) EXPECT_TRUE(FileExists(install + f)) << f;
  EXPECT_TRUE(FileExists(windowsDir + "\\e2e.ini"));
  EXPECT_TRUE(FileExists(systemDir + "\\e2e安装\\e2ectl.ocx"));
  EXPECT_TRUE(FileExists(desktopLink));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_STARTMENU) + "测试.lnk"));
  EXPECT_TRUE(FileExists(group + "测试.lnk"));
  EXPECT_TRUE(FileExists(group + "ridkit.lnk"));
  EXPECT_TRUE(SnapshotKey(HKEY_CLASSES_ROOT, ".e2a").exists);
  EXPECT_TRUE(SnapshotKey(HKEY_CLASSES_ROOT, ".e2b").exists);
  // The uninstaller of a signed package is signed (the one it carries),
  // kept for checking its signature on the host (e2e_signed_uninstaller).
  std::string uninstaller = ReadBytes(install + "ridkit.exe");
  const bool signedPackage = std::string(GetParam()) == SIGNED_PACKAGE;
  EXPECT_EQ(CertificateTableStart(reinterpret_cast<const unsigned char*>(uninstaller.data()),
                                  static_cast<int>(uninstaller.size() < PE_HEAD_BYTES ? uninstaller.size() : PE_HEAD_BYTES),
                                  static_cast<long long>(uninstaller.size())) > 0,
            signedPackage);
  if (signedPackage) EXPECT_TRUE(WriteBytes(WinePath(SIGNED_KEPT) + "\\silent-ridkit.exe", uninstaller));

  // The entry, every value.
  RegSnapshot entry = SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey);
  ASSERT_TRUE(entry.exists);
  EXPECT_EQ(SzValue(entry, "", "DisplayName"), kProduct);
  EXPECT_EQ(SzValue(entry, "", "DisplayVersion"), "2.5.1");
  EXPECT_EQ(SzValue(entry, "", "Publisher"), "测试公司");
  EXPECT_EQ(SzValue(entry, "", "URLInfoAbout"), "https://example.com/e2e");
  EXPECT_EQ(SzValue(entry, "", "DisplayIcon"), install + "bin\\测试.exe");
  EXPECT_EQ(SzValue(entry, "", "InstallLocation"), install.substr(0, install.size() - 1));
  EXPECT_EQ(SzValue(entry, "", "UninstallString"), Quoted(install + "ridkit.exe"));
  std::string quiet = SzValue(entry, "", "QuietUninstallString");
  EXPECT_EQ(quiet, Quoted(install + "ridkit.exe") + " /S");
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16];
  snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  EXPECT_EQ(SzValue(entry, "", "InstallDate"), date);
  auto number = [&](const char* name) {
    const RegValue& v = entry.keys[""][name];
    DWORD n = 0xFFFFFFFF;
    if (v.type == REG_DWORD && v.data.size() == 4) memcpy(&n, v.data.data(), 4);
    return n;
  };
  EXPECT_EQ(number("NoModify"), 1u);
  EXPECT_EQ(number("NoRepair"), 1u);
  // The big file alone is over 300 KiB; the whole, well under a few MiB.
  EXPECT_GT(number("EstimatedSize"), 300u);
  EXPECT_LT(number("EstimatedSize"), 4096u);

  // The account: every file, the control, both associations, every shortcut,
  // setup.log, the entry and the exit code.
  std::string log = LogText(setupLog);
  EXPECT_EQ(Count(log, "已写入文件: "), 10u) << log;
  EXPECT_EQ(Count(log, "已注册控件: ") + Count(log, "注册控件失败: "), 2u) << log;
  EXPECT_EQ(Count(log, "已创建文件类型关联: "), 2u) << log;
  EXPECT_EQ(Count(log, "已创建快捷方式: "), 5u) << log;
  EXPECT_NE(log.find("已写入卸载程序: " + install + "ridkit.exe"), std::string::npos) << log;
  EXPECT_NE(log.find("已写入安装记录: " + install + "setup.log"), std::string::npos) << log;
  EXPECT_NE(log.find("已写入程序列表项: HKEY_LOCAL_MACHINE\\" + std::string(kEntryKey)), std::string::npos) << log;
  EXPECT_NE(log.find("退出代码: 0"), std::string::npos) << log;

  // Installed again over itself: one entry, updated.
  WatchedRun again = SilentInstall();
  EXPECT_EQ(again.exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  EXPECT_TRUE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);

  // The removal as a deployment tool runs it: the command line from the
  // entry, waited for.
  WatchedRun removal = RunWatched(quiet + " /LOG=" + removalLog);
  ASSERT_TRUE(removal.ended);
  EXPECT_EQ(removal.exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
  EXPECT_EQ(removal.windows, std::vector<std::string>{});
  EXPECT_NE(LogText(removalLog).find("退出代码: 0"), std::string::npos) << LogText(removalLog);

  MachineState after = Take();
  EXPECT_EQ(Diff(before.parent, after.parent), std::vector<std::string>{});
  EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
  EXPECT_EQ(after.ini, before.ini);
  EXPECT_EQ(after.desktopLink, before.desktopLink);
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(after.keys[i].exists, before.keys[i].exists) << i;
    EXPECT_EQ(Diff(before.keys[i], after.keys[i]), std::vector<std::string>{}) << i;
  }
  // As after a removal through the dialog: the log lists files, never
  // folders, so the controls' folder in the system folder stays, empty.
  EXPECT_EQ(after.systemSub.entries.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Packages, SilentCycleTest, ::testing::Values(INSTALL_PACKAGE, SIGNED_PACKAGE),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                           return std::string(p.index ? "Signed" : "Unsigned");
                         });

TEST_F(UnattendedTest, FilesTheUserAddedStayUnlessAllIsGiven) {
  ASSERT_EQ(SilentInstall().exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  // Without its setup.log the removal touches nothing, the uninstaller included.
  ASSERT_TRUE(MoveFileA((install + "setup.log").c_str(), (install + "setup.old").c_str()));
  WatchedRun noLog = RunWatched(Quoted(install + "ridkit.exe") + " /S /LOG=" + removalLog);
  EXPECT_EQ(noLog.exitCode, static_cast<DWORD>(EXIT_CANCELLED));
  EXPECT_EQ(noLog.windows, std::vector<std::string>{});
  EXPECT_NE(LogText(removalLog).find("错误: 打开 setup.log 失败!"), std::string::npos) << LogText(removalLog);
  EXPECT_TRUE(FileExists(install + "ridkit.exe"));
  EXPECT_TRUE(FileExists(install + "bin\\测试.exe"));
  ASSERT_TRUE(MoveFileA((install + "setup.old").c_str(), (install + "setup.log").c_str()));

  std::string mine = install + "lib\\我的笔记.txt";
  ASSERT_TRUE(WriteBytes(mine, "mine"));
  WatchedRun removal = RunWatched(Quoted(install + "ridkit.exe") + " /S /LOG=" + removalLog);
  EXPECT_EQ(removal.exitCode, static_cast<DWORD>(EXIT_FILES_LEFT));
  EXPECT_EQ(removal.windows, std::vector<std::string>{});
  EXPECT_TRUE(FileExists(mine));
  EXPECT_FALSE(FileExists(install + "ridkit.exe"));
  EXPECT_NE(LogText(removalLog).find("未删除的文件: " + mine), std::string::npos) << LogText(removalLog);
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);

  ASSERT_EQ(SilentInstall().exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ASSERT_TRUE(FileExists(mine));
  removal = RunWatched(Quoted(install + "ridkit.exe") + " /S /ALL /LOG=" + removalLog);
  EXPECT_EQ(removal.exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
  EXPECT_EQ(removal.windows, std::vector<std::string>{});
  EXPECT_FALSE(FileExists(install));
  EXPECT_TRUE(FileExists(parent));
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);
}

// Started from the list of installed programs (UninstallString, no
// parameters) the uninstaller finds its own setup.log and, through its
// dialog, removes the entry too.
TEST_F(UnattendedTest, UninstallStringOpensTheDialogForItsOwnInstallation) {
  ASSERT_EQ(SilentInstall().exitCode, static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  std::string command = SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey), "", "UninstallString");
  ASSERT_EQ(command, Quoted(install + "ridkit.exe"));
  WatchedRun first = RunWatched(command, 30000);  // the first instance starts its copy and ends
  EXPECT_EQ(first.exitCode, static_cast<DWORD>(EXIT_DONE));
  HWND dlg = 0;
  for (DWORD start = GetTickCount(); !dlg && GetTickCount() - start < 30000; Sleep(20)) {
    HWND w = FindWindowA(DIALOG_CLASS, kProduct);
    if (w && IsWindowVisible(w)) dlg = w;
  }
  ASSERT_TRUE(dlg) << "no uninstall dialog (a file dialog instead means setup.log was not found)";
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), std::string("正在准备卸载") + kProduct + "...");
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  bool finished = false;
  for (DWORD start = GetTickCount(); !finished && GetTickCount() - start < 30000; Sleep(20))
    finished = Robot::Enabled(dlg, IDOK) && Robot::ControlText(dlg, IDOK) == "完成";
  ASSERT_TRUE(finished);
  Robot::Click(dlg, IDOK);
  for (DWORD start = GetTickCount(); IsWindow(dlg) && GetTickCount() - start < 30000;) Sleep(20);
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);
  EXPECT_FALSE(FileExists(install));
}

TEST_F(UnattendedTest, FailuresGiveTheirExitCodeAndReasonWithoutAWindow) {
  struct Case {
    const char* label;
    std::string switches;
    DWORD code;
    const char* reason;
  } cases[] = {
      // /D= makes the folders missing above the installation folder (the
      // upgrade tests install so); a file in a folder's place stops it.
      {"a folder that cannot be made", "/S /LOG=" + setupLog + " /D=" + parent + "\\file.txt\\sub\\App",
       EXIT_FOLDER_REFUSED, "安装文件夹被拒绝: 无效的文件夹"},
      {"drive that does not exist", "/S /LOG=" + setupLog + " /D=Q:\\App", EXIT_FOLDER_REFUSED,
       "安装文件夹被拒绝: 无效的驱动器"},
      {"floppy drive", "/S /LOG=" + setupLog + " /D=A:\\App", EXIT_FOLDER_REFUSED, "安装文件夹被拒绝: 软盘驱动器"},
      {"network drive", "/S /LOG=" + setupLog + " /D=N:\\App", EXIT_FOLDER_REFUSED, "安装文件夹被拒绝: 网络驱动器"},
  };
  ASSERT_TRUE(WriteBytes(parent + "\\file.txt", "a file"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WatchedRun run = Install(c.switches);
    EXPECT_EQ(run.exitCode, c.code);
    EXPECT_EQ(run.windows, std::vector<std::string>{});
    EXPECT_NE(LogText(setupLog).find(c.reason), std::string::npos) << LogText(setupLog);
    EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);
  }

  DeleteFileA((parent + "\\file.txt").c_str());
  EXPECT_EQ(SnapshotFolder(parent).entries.size(), 0u) << "nothing made for the refused folder";

  // A target that cannot be written (a folder in the file's place): the run
  // goes on and says which. /NOOVERWRITE keeps a file of the ask-rule.
  CreateDirectoryA(install.c_str(), 0);
  CreateDirectoryA((install + "notes.txt").c_str(), 0);
  CreateDirectoryA((install + "lib").c_str(), 0);
  ASSERT_TRUE(WriteBytes(install + "lib\\one.dat", "old one"));
  WatchedRun blocked = Install("/S /NOOVERWRITE /LOG=" + setupLog + " /D=" + install);
  EXPECT_EQ(blocked.exitCode, static_cast<DWORD>(EXIT_FILES_NOT_INSTALLED));
  EXPECT_EQ(blocked.windows, std::vector<std::string>{});
  std::string log = LogText(setupLog);
  EXPECT_NE(log.find("未能写入文件: " + install + "notes.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("错误: 以下文件未能安装:\r\n" + install + "notes.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("保留已存在的文件: " + install + "lib\\one.dat"), std::string::npos) << log;
  EXPECT_EQ(ReadBytes(install + "lib\\one.dat"), "old one");
  EXPECT_NE(log.find("退出代码: 4"), std::string::npos) << log;
  RemoveTree(install + "notes.txt");
  RunWatched(Quoted(install + "ridkit.exe") + " /S /ALL");

  // /? is the one switch that shows a window: the watcher sees it (and the
  // run is ended once seen: the box waits for a user).
  WatchedRun help = RunWatched(Quoted(pkg) + " /?", 3000);
  ASSERT_EQ(help.windows.size(), 1u);
  EXPECT_EQ(help.windows[0], "#32770 \"安装程序的命令行\"");

  // A damaged package: its index cut short.
  std::string damaged = Here() + "damaged-setup.exe";
  std::string bytes = ReadBytes(pkg);
  ASSERT_GT(bytes.size(), 200u);
  ASSERT_TRUE(WriteBytes(damaged, bytes.substr(0, bytes.size() - 100) + bytes.substr(bytes.size() - 40)));
  WatchedRun broken = RunWatched(Quoted(damaged) + " /S /LOG=" + setupLog + " /D=" + install);
  EXPECT_EQ(broken.exitCode, static_cast<DWORD>(EXIT_DAMAGED_PACKAGE));
  EXPECT_EQ(broken.windows, std::vector<std::string>{});
  EXPECT_NE(LogText(setupLog).find("错误: 初始化数据失败!"), std::string::npos) << LogText(setupLog);
  DeleteFileA(damaged.c_str());
}

// Rows whose bytes hide a climb from a check that reads code page 936 (pairs
// whose trail byte is a backslash between dots, 0xFF, a lead byte before a
// slash or at the end), in a package written by hand: the real setup writes
// the rows that are whole code page 936 text inside the folder (a pair is one
// character, here a private-use one) and lists the others as not installed;
// nothing appears beside the folder, and the removal takes it all back.
TEST_F(UnattendedTest, RowsThatHideAClimbStayInsideTheFolder) {
  const std::string entry = std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kProduct;
  RemoveKeyTree(HKEY_LOCAL_MACHINE, entry);
  std::vector<std::string> f(64);
  f[40] = kProduct;
  std::string at = std::to_string(Stub().size());
  const std::pair<const char*, const char*> rows[] = {
      {"ok.txt", ""},          {"x.txt", "..\xA1\\..\xA1\\..\xA1\\"}, {"..\xFF", ""},
      {"y.txt", "..\xFF"},     {"z.txt", "a\x81/.."},                      {"w.txt", "..\x81"},
      {"up.txt", "..\\.."}};
  for (const auto& [name, subdir] : rows)
    f.insert(f.end(), {name, "INSTALL_FOLDER", subdir, "0", "ALWAYS_COPY", "10", at, ""});
  f.push_back("");
  std::string hidden = Here() + "hidden-setup.exe";
  ASSERT_TRUE(WriteBytes(hidden, SetupFile(ScrambledIndex(f))));

  MachineState before = Take();
  WatchedRun run =
      RunWatched(Quoted(hidden) + " /S /LOG=" + setupLog + " /D=" + install.substr(0, install.size() - 1));
  DeleteFileA(hidden.c_str());
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(EXIT_FILES_NOT_INSTALLED)) << LogText(setupLog);
  std::string log = LogText(setupLog);
  EXPECT_EQ(Count(log, "已写入文件: "), 2u) << log;
  EXPECT_EQ(Count(log, "未能写入文件: "), 5u) << log;
  EXPECT_EQ(ReadBytes(install + "ok.txt"), std::string(10, 'P'));
  EXPECT_EQ(ReadBytes(install + "..\xA1\\..\xA1\\..\xA1\\\\x.txt"), std::string(10, 'P'));
  for (const std::string& d : Diff(before.parent, Take().parent))
    EXPECT_EQ(d.compare(0, 6, "+ App\\"), 0) << d;

  RunWatched(Quoted(install + "ridkit.exe") + " /S /ALL");
  MachineState after = Take();
  EXPECT_EQ(Diff(before.parent, after.parent), std::vector<std::string>{});
  EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, entry).exists);
  RemoveKeyTree(HKEY_LOCAL_MACHINE, entry);
}

// A byte changed inside a stored file, or inside the uninstaller a signed
// package carries: the package loads, the payload's checksum fails before the
// first file is written. The installation folder the run made for itself
// goes again: no file, no setup.log, no entry, the machine as before.
TEST_F(UnattendedTest, DamagedPayloadLeavesNothingBehind) {
  for (const char* source : {INSTALL_PACKAGE, SIGNED_PACKAGE}) {
    const bool carried = std::string(source) == SIGNED_PACKAGE;
    SCOPED_TRACE(carried ? "the carried uninstaller" : "a stored file");
    std::string bytes = ReadBytes(WinePath(source));
    CPackage s;
    ASSERT_EQ(s.Open(WinePath(source).c_str()), kPackageOpened);
    ASSERT_TRUE(s.Extended);
    long long at = -1;
    if (carried) {
      ASSERT_NE(s.UninstallerRegion.Method, kMethodNone);
      at = s.UninstallerRegion.Offset + s.UninstallerRegion.Length / 2;
    }
    for (CFileList::Node* n = s.FileList.Head; n && at < 0; n = n->Next)
      if (n->Entry.Method == kMethodStored && n->Entry.Length > 10) at = n->Entry.Offset + n->Entry.Length / 2;
    ASSERT_GE(at, 0);
    bytes[static_cast<size_t>(at)] = static_cast<char>(bytes[static_cast<size_t>(at)] ^ 0x40);
    std::string damaged = Here() + "payload-damaged-setup.exe";
    ASSERT_TRUE(WriteBytes(damaged, bytes));

    ASSERT_FALSE(FileExists(install));
    MachineState before = Take();
    WatchedRun run =
        RunWatched(Quoted(damaged) + " /S /LOG=" + setupLog + " /D=" + install.substr(0, install.size() - 1));
    DeleteFileA(damaged.c_str());
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(EXIT_DAMAGED_PACKAGE));
    EXPECT_EQ(run.windows, std::vector<std::string>{});
    std::string log = LogText(setupLog);
    EXPECT_NE(log.find("安装文件已损坏，请重新下载。"), std::string::npos) << log;
    EXPECT_EQ(Count(log, "已写入文件: "), 0u) << log;
    EXPECT_NE(log.find("退出代码: 2"), std::string::npos) << log;

    EXPECT_FALSE(FileExists(install));
    MachineState after = Take();
    EXPECT_EQ(Diff(before.parent, after.parent), std::vector<std::string>{});
    EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
    EXPECT_EQ(Diff(before.systemSub, after.systemSub), std::vector<std::string>{});
    EXPECT_EQ(after.ini, before.ini);
    EXPECT_EQ(after.desktopLink, before.desktopLink);
    for (int i = 0; i < 5; i++) {
      EXPECT_EQ(after.keys[i].exists, before.keys[i].exists) << i;
      EXPECT_EQ(Diff(before.keys[i], after.keys[i]), std::vector<std::string>{}) << i;
    }
  }
}

}  // namespace
