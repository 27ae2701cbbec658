// A product's life as a vendor and a customer go through it, with the real
// setup.exe and ridkit.exe: version 1.0 installed unattended, version 2.0
// (the same product.id; app.exe changed, old.dll dropped, new.dll added, the
// user's notes kept) installed over it unattended and through the wizard,
// then removed through the QuietUninstallString of its entry. Also: a
// cancelled and a damaged upgrade, a downgrade asked about and refused, a
// repair, and version 1's program running during the upgrade and the removal
// (the restart is the prefix's: wineboot -r). The machine afterwards is
// compared with the machine before.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "commandrun.h"
#include "common/exitcodes.h"
#include "common/package.h"
#include "robot.h"
#include "snapshot.h"
#include "tempcopy.h"
#include "tests/fileutil.h"
#include "wizard.h"

#if !defined(UPGRADE1_PACKAGE) || !defined(UPGRADE2_PACKAGE)
#error UPGRADE1_PACKAGE and UPGRADE2_PACKAGE name the packages of this test
#endif

namespace {

const char kProduct[] = "升级测试";
const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Upgrade.Check";
// Where a package without product.id keeps the product's entry: its name.
const char kNameEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\升级测试";
// The product's own registry entries, which its uninstaller tables name.
const char kOwnKey[] = "Software\\UpgradeCheck";
const std::string T = "\r\r\n";

std::string Data(const std::string& name) { return ReadBytes(WinePath(DATA_DIR) + "\\upgrade\\" + name); }

// The entries of the list of installed programs whose InstallLocation is folder.
int EntriesFor(const std::string& folder) {
  HKEY root;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ, &root) != ERROR_SUCCESS) return 0;
  int n = 0;
  char name[256];
  for (DWORD i = 0; RegEnumKeyA(root, i, name, sizeof name) == ERROR_SUCCESS; i++) {
    RegSnapshot entry = SnapshotKey(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "\\" + name);
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, SzValue(entry, "", "InstallLocation").c_str(), -1,
                       folder.c_str(), -1) == CSTR_EQUAL)
      n++;
  }
  RegCloseKey(root);
  return n;
}

// Version 1's program, started from the installation and kept running
// until it is let go.
class HeldProgram {
 public:
  HeldProgram() {
    started_ = CreateEventA(0, TRUE, FALSE, "e2e-hold-started");
    end_ = CreateEventA(0, TRUE, FALSE, "e2e-hold-end");
  }
  ~HeldProgram() {
    End();
    CloseHandle(started_);
    CloseHandle(end_);
  }
  bool Start(const std::string& path) {
    ResetEvent(started_);
    ResetEvent(end_);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    std::string line = Quoted(path);
    if (!CreateProcessA(0, &line[0], 0, 0, FALSE, 0, 0, 0, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return WaitForSingleObject(started_, 30000) == WAIT_OBJECT_0;
  }
  void End() {
    if (!process_) return;
    SetEvent(end_);
    if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) TerminateProcess(process_, 0xDEAD);
    CloseHandle(process_);
    process_ = 0;
  }

 private:
  HANDLE started_, end_;
  HANDLE process_ = 0;
};

// What the product can touch: the folder above its installations, the Start
// menu (the program group lies in it) and its entry.
struct MachineState {
  FolderSnapshot parent, startMenu;
  RegSnapshot entry;
};

class UpgradeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(0);
    // Shortcuts saved in the Start menu would start Wine's menu builder, which
    // writes menu entries into the host's home folder, outside the prefix.
    SetValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    v1 = WinePath(UPGRADE1_PACKAGE);
    v2 = WinePath(UPGRADE2_PACKAGE);
    if (!FileExists(v1) || !FileExists(v2)) GTEST_FAIL() << "no packages at " << UPGRADE1_PACKAGE << " (build the host preset first)";
    parent = "C:\\Upg";
    install = parent + "\\" + kProduct + "\\";
    startMenu = SpecialFolder(CSIDL_STARTMENU);
    group = SpecialFolder(CSIDL_PROGRAMS) + kProduct + "\\";
    setupLog = "C:\\upgrade-s.log";
    removalLog = "C:\\upgrade-r.log";
    Clean();
  }
  void TearDown() override {
    held.End();
    if (!v1.empty()) Clean();
  }
  void Clean() {
    RemoveTree(parent);
    RemoveTree(group.substr(0, group.size() - 1));
    RemoveTree(startMenu + "app.lnk");
    RemoveKeyTree(HKEY_LOCAL_MACHINE, kEntryKey);
    RemoveKeyTree(HKEY_LOCAL_MACHINE, kNameEntryKey);
    RemoveKeyTree(HKEY_CURRENT_USER, kOwnKey);
    RemoveTree(setupLog);
    RemoveTree(removalLog);
  }
  MachineState Take() {
    MachineState s;
    s.parent = SnapshotFolder(parent);
    s.startMenu = SnapshotFolder(startMenu);
    s.entry = SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey);
    return s;
  }
  void ExpectSame(const MachineState& before, const MachineState& after) {
    EXPECT_EQ(after.parent.exists, before.parent.exists);
    EXPECT_EQ(Diff(before.parent, after.parent), std::vector<std::string>{});
    EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
    EXPECT_EQ(after.entry.exists, before.entry.exists);
    EXPECT_EQ(Diff(before.entry, after.entry), std::vector<std::string>{});
  }
  // setup.exe /S with more switches, to its end; its exit code.
  DWORD Silent(const std::string& package, const std::string& switches) {
    WatchedRun run = RunWatched(Quoted(package) + " /S /LOG=" + setupLog + (switches.empty() ? "" : " " + switches));
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.windows, std::vector<std::string>{});
    return run.exitCode;
  }
  DWORD InstallVersion1(const std::string& extra = "") {
    return Silent(v1, extra + (extra.empty() ? "" : " ") + "/D=" + install.substr(0, install.size() - 1));
  }
  DWORD QuietRemoval() {
    std::string quiet = SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey), "", "QuietUninstallString");
    EXPECT_EQ(quiet, Quoted(install + "ridkit.exe") + " /S");
    WatchedRun run = RunWatched(quiet + " /LOG=" + removalLog);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.windows, std::vector<std::string>{});
    return run.exitCode;
  }
  // Exactly version 2's files, with the user's notes.
  void ExpectVersion2(const std::string& notes) {
    FolderSnapshot files = SnapshotFolder(install);
    EXPECT_TRUE(files.entries.count("ridkit.exe"));
    EXPECT_TRUE(files.entries.count("setup.log"));
    EXPECT_TRUE(files.entries["app.exe"] == ReadBytes(WinePath(APP_EXE))) << "app.exe is not version 2's";
    for (const char* name : {"ridkit.exe", "setup.log", "app.exe"}) files.entries.erase(name);
    std::map<std::string, std::string> want = {{"new.dll", Data("new.dll")}, {"data\\", ""}, {"data\\notes.txt", notes}};
    EXPECT_EQ(files.entries, want);
    EXPECT_EQ(SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey), "", "DisplayVersion"), "2.0");
    EXPECT_EQ(EntriesFor(install.substr(0, install.size() - 1)), 1);
    EXPECT_TRUE(FileExists(group + "app.lnk"));
    EXPECT_TRUE(FileExists(group + "ridkit.lnk"));
    EXPECT_FALSE(FileExists(startMenu + "app.lnk")) << "version 1's Start menu shortcut";
  }
  // Through the wizard's pages to the folder page; the folder it proposes.
  std::string ToFolderPage(Wizard& wiz) {
    if (!wiz.WaitForSheet(kProduct) || !wiz.WaitForPage(IDC_WELCOME_LINE1) || !wiz.Press(ID_WIZNEXT)) return "(no wizard)";
    if (!wiz.WaitForPage(IDC_AGREE) || !Robot::Click(wiz.CurrentPage(), IDC_AGREE) || !wiz.Press(ID_WIZNEXT))
      return "(no licence page)";
    if (!wiz.WaitForPage(IDC_FOLDER)) return "(no folder page)";
    return wiz.PageText(IDC_FOLDER);
  }

  std::string v1, v2, parent, install, startMenu, group, setupLog, removalLog;
  HeldProgram held;
};

// The scenario, unattended: /D= with two folders missing above the
// installation folder, version 2 over version 1 without /D=, the removal.
TEST_F(UpgradeTest, SilentUpgradeThenQuietRemovalLeaveNothingOfEitherVersion) {
  MachineState before = Take();
  ASSERT_FALSE(before.parent.exists);
  install = parent + "\\两级\\" + kProduct + "\\";
  ASSERT_EQ(InstallVersion1(), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  EXPECT_NE(LogText(setupLog).find("已创建文件夹: C:\\Upg\\两级"), std::string::npos) << LogText(setupLog);
  EXPECT_EQ(ReadBytes(install + "old.dll"), Data("old.dll"));
  EXPECT_TRUE(FileExists(startMenu + "app.lnk"));
  std::string log1 = ReadBytes(install + "setup.log");
  EXPECT_EQ(log1.substr(log1.find(T + "[FOLDERLIST]")), T + "[FOLDERLIST]" + T + "C:\\Upg\\两级" + T + "C:\\Upg" + T);
  ASSERT_TRUE(WriteBytes(install + "data\\notes.txt", "我的笔记"));  // the user's own
  // What version 1's program wrote: a key version 2 names too, a key and a
  // value only version 1 names. The upgrade takes the latter two.
  for (const char* sub : {"\\Both", "\\Old", ""})
    SetValue(HKEY_CURRENT_USER, std::string(kOwnKey) + sub, sub[0] ? "v" : "OldValue", "1");

  ASSERT_EQ(Silent(v2, ""), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  RegSnapshot own = SnapshotKey(HKEY_CURRENT_USER, kOwnKey);
  EXPECT_EQ(own.keys.count("Both"), 1u);
  EXPECT_EQ(own.keys.count("Old"), 0u);
  EXPECT_EQ(own.keys[""].count("OldValue"), 0u);
  std::string account = LogText(setupLog);
  EXPECT_NE(account.find("已安装的版本 1.0: " + install.substr(0, install.size() - 1)), std::string::npos) << account;
  EXPECT_NE(account.find("已删除旧版本的文件: " + install + "old.dll"), std::string::npos) << account;
  EXPECT_NE(account.find("保留已存在的文件: " + install + "data\\notes.txt"), std::string::npos) << account;
  ExpectVersion2("我的笔记");
  // The log names exactly version 2, and the folders to take back.
  EXPECT_EQ(ReadBytes(install + "setup.log"),
            "[FILELIST]" + T + install + "app.exe" + T + install + "new.dll" + T + install + "data\\notes.txt" + T + T +
                "[TYPELIST]" + T + T + "[SHORTCUTLIST]" + T + group + "app.lnk" + T + T + "[FOLDERLIST]" + T +
                "C:\\Upg\\两级" + T + "C:\\Upg" + T);

  EXPECT_EQ(QuietRemoval(), static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
  ExpectSame(before, Take());
  EXPECT_EQ(SnapshotKey(HKEY_CURRENT_USER, kOwnKey).keys.count("Both"), 0u);
}

// The same through the wizard: the folder page proposes version 1's folder.
TEST_F(UpgradeTest, WizardUpgradeProposesTheFolderAndLeavesExactlyVersion2) {
  MachineState before = Take();
  ASSERT_EQ(InstallVersion1(), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);

  Robot robot;
  ASSERT_TRUE(robot.Start(v2));
  Wizard wiz(robot);
  EXPECT_EQ(ToFolderPage(wiz), install.substr(0, install.size() - 1));
  ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
  ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
  EXPECT_FALSE(wiz.IsVisible(IDC_FINISH_RESTART));
  ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
  DWORD code = 1;
  ASSERT_TRUE(wiz.WaitForExit(30000, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXIT_DONE));
  EXPECT_TRUE(wiz.popups.empty()) << wiz.popups[0].text;
  ExpectVersion2(Data("notes1.txt"));

  EXPECT_EQ(QuietRemoval(), static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
  ExpectSame(before, Take());
}

// "退出安装" on the copy page (or, when the run was quicker, on the finish
// page) and a damaged version 2: version 1 byte for byte, its log and entry.
TEST_F(UpgradeTest, CancelledOrDamagedUpgradeLeavesVersion1AsItWas) {
  ASSERT_EQ(InstallVersion1(), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  MachineState version1 = Take();

  {
    Robot robot;
    ASSERT_TRUE(robot.Start(v2));
    Wizard wiz(robot);
    ASSERT_EQ(ToFolderPage(wiz), install.substr(0, install.size() - 1));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    // Every file of version 2 is written once the run says so; it pauses
    // there before it ends.
    ASSERT_TRUE(robot.WaitUntil([&] {
      return wiz.PageIndex() == 4 || (wiz.PageIndex() == 3 && wiz.PageText(IDC_COPY_STATUS) == "安装完成");
    }, 60000));
    PostMessageA(wiz.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Popup p;
    HWND question = 0;
    ASSERT_TRUE(wiz.WaitForPopup(p, question, 30000, Wizard::kPopupQuestion));
    EXPECT_TRUE(p.text == "安装程序正在进行,您真得要取消安装吗?" || p.text == "安装即将完成,您真得要取消安装吗?") << p.text;
    ASSERT_TRUE(Robot::Click(question, IDCANCEL));
    DWORD code = 0;
    ASSERT_TRUE(wiz.WaitForExit(30000, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXIT_CANCELLED));
  }
  ExpectSame(version1, Take());

  // A byte changed inside a stored file of version 2's payload.
  std::string bytes = ReadBytes(v2);
  CPackage package;
  ASSERT_EQ(package.Open(v2.c_str()), kPackageOpened);
  ASSERT_TRUE(package.Extended);
  long long at = package.Seal.PayloadStart + 10;
  bytes[static_cast<size_t>(at)] = static_cast<char>(bytes[static_cast<size_t>(at)] ^ 0x40);
  std::string damaged = Here() + "upgrade2-damaged-setup.exe";
  ASSERT_TRUE(WriteBytes(damaged, bytes));
  EXPECT_EQ(Silent(damaged, ""), static_cast<DWORD>(EXIT_DAMAGED_PACKAGE)) << LogText(setupLog);
  DeleteFileA(damaged.c_str());
  ExpectSame(version1, Take());
}

// Version 1 came from a package without product.id: its entry is under the
// product name. Version 2, which has the id, finds it all the same, goes over
// it, and the list keeps one entry, under the id.
TEST_F(UpgradeTest, AnEntryUnderTheProductNameIsFoundAndGivesWay) {
  MachineState before = Take();
  ASSERT_EQ(InstallVersion1(), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  RegSnapshot entry = SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey);
  ASSERT_TRUE(entry.exists);
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNameEntryKey, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0), ERROR_SUCCESS);
  for (const auto& value : entry.keys[""])
    RegSetValueExA(key, value.first.c_str(), 0, value.second.type, reinterpret_cast<const BYTE*>(value.second.data.data()),
                   static_cast<DWORD>(value.second.data.size()));
  RegCloseKey(key);
  RemoveKeyTree(HKEY_LOCAL_MACHINE, kEntryKey);

  ASSERT_EQ(Silent(v2, ""), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ExpectVersion2(Data("notes1.txt"));
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kNameEntryKey).exists);
  EXPECT_EQ(QuietRemoval(), static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
  ExpectSame(before, Take());
}

// An older version over a newer one: asked in the wizard ("否" keeps the
// folder page), refused unattended unless /ALLOWDOWNGRADE; the same version
// again is a repair.
TEST_F(UpgradeTest, DowngradeIsAskedOrRefusedAndTheSameVersionRepairs) {
  std::string folder = "/D=" + install.substr(0, install.size() - 1);
  ASSERT_EQ(Silent(v2, folder), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  MachineState version2 = Take();
  EXPECT_EQ(Silent(v1, ""), static_cast<DWORD>(EXIT_DOWNGRADE_REFUSED));
  EXPECT_NE(LogText(setupLog).find("已安装较新的版本 2.0, 不安装版本 1.0 (/ALLOWDOWNGRADE 允许)"), std::string::npos)
      << LogText(setupLog);
  EXPECT_NE(LogText(setupLog).find("退出代码: 8"), std::string::npos);
  ExpectSame(version2, Take());

  {
    Robot robot;
    ASSERT_TRUE(robot.Start(v1));
    Wizard wiz(robot);
    EXPECT_EQ(ToFolderPage(wiz), install.substr(0, install.size() - 1));
    for (int answer : {IDNO, IDYES}) {
      ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
      Popup p;
      HWND box = 0;
      ASSERT_TRUE(wiz.WaitForPopup(p, box, 30000, Wizard::kPopupMessage));
      EXPECT_EQ(p.text, "已安装较新的版本 2.0，是否继续？\r\n(本安装程序的版本: 1.0)");
      ASSERT_TRUE(Robot::Click(box, answer));
      if (answer == IDNO) {
        ASSERT_TRUE(robot.WaitUntil([&] { return !IsWindow(box); }));
        EXPECT_EQ(wiz.PageIndex(), 2);
      }
    }
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    DWORD code = 1;
    ASSERT_TRUE(wiz.WaitForExit(30000, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXIT_DONE));
  }
  EXPECT_EQ(ReadBytes(install + "old.dll"), Data("old.dll"));
  EXPECT_FALSE(FileExists(install + "new.dll"));
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey), "", "DisplayVersion"), "1.0");

  ASSERT_EQ(Silent(v2, ""), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  MachineState again = Take();
  EXPECT_EQ(Diff(version2.parent, again.parent), std::vector<std::string>{});
  EXPECT_EQ(Diff(version2.entry, again.entry), std::vector<std::string>{});
  // A repair: what was damaged or lost is written again.
  ASSERT_TRUE(WriteBytes(install + "app.exe", "damaged"));
  DeleteFileA((install + "new.dll").c_str());
  ASSERT_EQ(Silent(v2, ""), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ExpectVersion2(Data("notes2.txt"));

  EXPECT_EQ(Silent(v1, "/ALLOWDOWNGRADE"), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  EXPECT_NE(LogText(setupLog).find("覆盖已安装的较新版本 2.0 (/ALLOWDOWNGRADE)"), std::string::npos);
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey), "", "DisplayVersion"), "1.0");
  EXPECT_EQ(QuietRemoval(), static_cast<DWORD>(EXIT_DONE)) << LogText(removalLog);
}

// Version 1's program runs while version 2 goes over it (Wine, as Windows,
// refuses to overwrite a running program): the wizard names it, with
// "重试", "忽略" and "取消"; ignored, the new program waits beside the old
// one and replaces it at the restart, which the finish page says; unattended,
// exit code 3010. The removal likewise leaves the running program to the
// restart: afterwards nothing is left.
TEST_F(UpgradeTest, RunningProgramWaitsForTheRestart) {
  MachineState before = Take();
  std::string app = install + "app.exe", beside = app + ".~new";
  std::string newApp = ReadBytes(WinePath(APP_EXE)), oldApp = ReadBytes(WinePath(HOLD_EXE));
  ASSERT_EQ(InstallVersion1(), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ASSERT_TRUE(held.Start(app));
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(v2));
    Wizard wiz(robot);
    ASSERT_EQ(ToFolderPage(wiz), install.substr(0, install.size() - 1));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    auto inUse = [](HWND w) { return Robot::IsClass(w, DIALOG_CLASS) && GetDlgItem(w, IDC_INUSE_LIST) != 0; };
    for (int answer : {IDRETRY, IDIGNORE}) {
      HWND dialog = robot.WaitForWindowWhere(inUse, 30000);
      ASSERT_TRUE(dialog);
      EXPECT_EQ(Robot::Text(dialog), kProduct);
      // Wine's Restart Manager names no program: the files are listed.
      EXPECT_NE(Robot::ControlText(dialog, IDC_INUSE_LIST).find("app.exe"), std::string::npos);
      EXPECT_EQ(Robot::ControlText(dialog, IDRETRY), "重试");
      EXPECT_EQ(Robot::ControlText(dialog, IDIGNORE), "忽略");
      EXPECT_EQ(Robot::ControlText(dialog, IDCANCEL), "取消");
      ASSERT_TRUE(Robot::Click(dialog, answer));
      ASSERT_TRUE(robot.WaitUntil([&] { return !IsWindow(dialog); }));
    }
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
    EXPECT_TRUE(wiz.IsVisible(IDC_FINISH_RESTART));
    EXPECT_EQ(wiz.PageText(IDC_FINISH_RESTART), "需要重新启动计算机才能完成安装。");
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    ASSERT_TRUE(wiz.WaitForExit(30000));
  }
  EXPECT_EQ(ReadBytes(app), oldApp);
  EXPECT_EQ(ReadBytes(beside), newApp);
  EXPECT_FALSE(FileExists(install + "old.dll")) << "not in use: gone at once";
  held.End();
  ASSERT_TRUE(RestartPrefix());
  EXPECT_EQ(ReadBytes(app), newApp);
  EXPECT_FALSE(FileExists(beside));
  ExpectVersion2(Data("notes1.txt"));

  // Unattended: 3010, and the account says which file waits.
  ASSERT_EQ(Silent(v1, "/ALLOWDOWNGRADE"), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ASSERT_TRUE(held.Start(app));
  EXPECT_EQ(Silent(v2, ""), static_cast<DWORD>(EXIT_RESTART_REQUIRED)) << LogText(setupLog);
  std::string account = LogText(setupLog);
  EXPECT_NE(account.find("正在使用中的文件: " + app), std::string::npos) << account;
  EXPECT_NE(account.find("重新启动后替换: " + app), std::string::npos) << account;
  EXPECT_NE(account.find("需要重新启动计算机才能完成安装。"), std::string::npos) << account;
  EXPECT_EQ(ReadBytes(app), oldApp);
  held.End();
  ASSERT_TRUE(RestartPrefix());
  EXPECT_EQ(ReadBytes(app), newApp);
  EXPECT_FALSE(FileExists(beside));

  // The removal with the program running: 3010, the program and its folders
  // go at the restart.
  ASSERT_EQ(Silent(v1, "/ALLOWDOWNGRADE"), static_cast<DWORD>(EXIT_DONE)) << LogText(setupLog);
  ASSERT_TRUE(held.Start(app));
  EXPECT_EQ(QuietRemoval(), static_cast<DWORD>(EXIT_RESTART_REQUIRED)) << LogText(removalLog);
  EXPECT_NE(LogText(removalLog).find("重新启动后删除: " + app), std::string::npos) << LogText(removalLog);
  EXPECT_EQ(SnapshotFolder(install).entries, (std::map<std::string, std::string>{{"app.exe", oldApp}}));
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey).exists);
  held.End();
  ASSERT_TRUE(RestartPrefix());
  ExpectSame(before, Take());
}

}  // namespace
