// A whole product cycle as a user goes through it: the real setup.exe driven
// through its five pages, then the uninstaller started through the ridkit.lnk
// the setup made in the program group, its temporary copy's dialog driven from
// Ready to its end. Everything the package touches is snapshotted before the
// installation and after the removal; the two must agree but for what the
// comparison names as expected.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/container.h"
#include "robot.h"
#include "snapshot.h"
#include "tempcopy.h"
#include "tests/fileutil.h"
#include "uninstall/resource.h"
#include "wizard.h"

#if !defined(INSTALL_PACKAGE) || !defined(SIGNED_PACKAGE) || !defined(SIGNED_KEPT)
#error INSTALL_PACKAGE and SIGNED_PACKAGE name the packages of this test, SIGNED_KEPT where it keeps the signed uninstaller
#endif

namespace {

const char kProduct[] = "安装测试";
// The package's entry in the list of installed programs (its product.id).
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E.InstallTest";

// Whether a program file carries a certificate table (is signed).
bool Signed(const std::string& bytes) {
  return CertificateTableStart(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size() < PE_HEAD_BYTES ? bytes.size() : PE_HEAD_BYTES),
                               static_cast<long long>(bytes.size())) > 0;
}

// Keeps a copy of what a signed package put on the machine, for checking its
// signature on the host (e2e_signed_uninstaller).
void Keep(const std::string& name, const std::string& bytes) {
  EXPECT_TRUE(WriteBytes(WinePath(SIGNED_KEPT) + "\\" + name, bytes)) << name;
}

class WindowProcess {
 public:
  explicit WindowProcess(HWND w) {
    DWORD pid = 0;
    if (w) GetWindowThreadProcessId(w, &pid);
    if (pid) h_ = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  }
  ~WindowProcess() {
    if (!h_) return;
    if (WaitForSingleObject(h_, 0) == WAIT_TIMEOUT) TerminateProcess(h_, 0xDEAD);  // a failed test
    CloseHandle(h_);
  }
  bool Ended(DWORD timeoutMs) { return h_ && WaitForSingleObject(h_, timeoutMs) == WAIT_OBJECT_0; }

 private:
  HANDLE h_ = 0;
};

// What the package can touch, as far as a before and an after can show it.
struct MachineState {
  FolderSnapshot parent, startMenu, systemSub;
  std::set<std::string> windowsNames, systemNames;
  std::string ini;
  bool desktopLink = false;
  RegSnapshot keys[8];
};

// The package: unsigned, or the same signed (installs exactly alike).
class CycleTest : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(0);
    // Shortcuts saved in the Start menu would start Wine's menu builder, which
    // writes menu entries into the host's home folder, outside the prefix.
    SetValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    pkg = WinePath(GetParam());
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << GetParam() << " (build the host preset first)";
    parent = "C:\\循环e2e";
    install = parent + "\\" + kProduct + "\\";
    windowsDir = FolderFrom(GetWindowsDirectoryA);
    systemDir = FolderFrom(GetSystemDirectoryA);
    desktopLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "测试.lnk";
    group = SpecialFolder(CSIDL_PROGRAMS) + kProduct + "\\";
    marks = TempFolder() + "e2e-cycle-marks.txt";
    SetEnvironmentVariableA("E2E_MARKS", marks.c_str());
    Clean();
    CreateDirectoryA(parent.c_str(), 0);
    // Keys that other software owns beside the package's own: the package
    // names a value in each of them, never the key.
    SetValue(HKEY_CURRENT_USER, "Software\\E2E", "其他", "留下");
    SetValue(HKEY_LOCAL_MACHINE, "Software\\E2E", "Other", "stays");
  }
  void TearDown() override {
    if (!pkg.empty()) Clean();
  }

  void Clean() {
    RemoveTree(parent);
    RemoveTree(windowsDir + "\\e2e.ini");
    RemoveTree(systemDir + "\\e2e安装");
    RemoveTree(desktopLink);
    RemoveTree(SpecialFolder(CSIDL_STARTMENU) + "测试.lnk");
    RemoveTree(group.substr(0, group.size() - 1));
    for (const char* key : {".e2a", "e2afile", ".e2b", "e2bfile"}) RemoveKeyTree(HKEY_CLASSES_ROOT, key);
    RemoveKeyTree(HKEY_CURRENT_USER, "Software\\安装测试");
    RemoveKeyTree(HKEY_CURRENT_USER, "Software\\E2E");
    RemoveKeyTree(HKEY_LOCAL_MACHINE, "Software\\E2E");
    RemoveKeyTree(HKEY_LOCAL_MACHINE, kEntryKey);
    RemoveTree(marks);
  }

  MachineState Take() {
    MachineState s;
    s.parent = SnapshotFolder(parent);
    s.startMenu = SnapshotFolder(SpecialFolder(CSIDL_STARTMENU));
    s.systemSub = SnapshotFolder(systemDir + "\\e2e安装");
    s.windowsNames = Names(windowsDir);
    s.systemNames = Names(systemDir);
    s.ini = ReadBytes(windowsDir + "\\e2e.ini");
    // The desktop is the host's own folder under Wine, which other programs
    // change at will: only the package's shortcut is looked at there.
    s.desktopLink = FileExists(desktopLink);
    const std::pair<HKEY, const char*> keys[8] = {
        {HKEY_CLASSES_ROOT, ".e2a"},          {HKEY_CLASSES_ROOT, "e2afile"},   {HKEY_CLASSES_ROOT, ".e2b"},
        {HKEY_CLASSES_ROOT, "e2bfile"},       {HKEY_CURRENT_USER, "Software\\安装测试"},
        {HKEY_CURRENT_USER, "Software\\E2E"}, {HKEY_LOCAL_MACHINE, "Software\\E2E"},
        {HKEY_LOCAL_MACHINE, kEntryKey}};
    for (int i = 0; i < 8; i++) s.keys[i] = SnapshotKey(keys[i].first, keys[i].second);
    return s;
  }

  std::multiset<std::string> Marks(size_t n) { return MarkLines(marks, n); }

  std::string pkg, parent, install, windowsDir, systemDir, desktopLink, group, marks, copy;
};

TEST_P(CycleTest, InstallThenRemoveThroughTheShortcutLeavesTheMachineAsBefore) {
  MachineState before = Take();
  ASSERT_TRUE(before.parent.exists && before.parent.entries.empty());

  // The installation, every box of the finish page ticked.
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    wiz.rule = [](const Popup&) { return IDOK; };
    ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
    for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_README, IDC_FINISH_RUN})
      ASSERT_TRUE(wiz.SetCheck(box, true));
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    ASSERT_TRUE(wiz.WaitForExit(30000));
    EXPECT_TRUE(wiz.popups.empty()) << wiz.popups[0].text;
  }
  // The control registered; the program started twice (read-me and run)
  // and ended, so nothing of the installation is in use.
  std::string control = systemDir + "\\e2e安装\\e2ectl.ocx";
  ASSERT_EQ(Marks(3).size(), 3u);
  ASSERT_TRUE(FileExists(group + "ridkit.lnk"));
  // The wizard wrote the entry in the list of installed programs.
  RegSnapshot entry = SnapshotKey(HKEY_LOCAL_MACHINE, kEntryKey);
  EXPECT_EQ(SzValue(entry, "", "DisplayName"), kProduct);
  EXPECT_EQ(SzValue(entry, "", "UninstallString"), "\"" + install + "ridkit.exe\"");
  std::string uninstaller = ReadBytes(install + "ridkit.exe");
  ASSERT_FALSE(uninstaller.empty());
  // A signed package's uninstaller is signed too (the one it carries).
  const bool signedPackage = std::string(GetParam()) == SIGNED_PACKAGE;
  EXPECT_EQ(Signed(uninstaller), signedPackage);
  if (signedPackage) Keep("wizard-ridkit.exe", uninstaller);
  // What the product writes while in use: its own key and the two values
  // the package names for removal.
  SetValue(HKEY_CURRENT_USER, "Software\\安装测试\\设置\\窗口", "宽", "640");
  SetValue(HKEY_CURRENT_USER, "Software\\安装测试", "版本", "1.0");
  SetValue(HKEY_CURRENT_USER, "Software\\E2E\\Other", "x", "y");
  SetValue(HKEY_CURRENT_USER, "Software\\E2E", "值", "1");
  SetValue(HKEY_LOCAL_MACHINE, "Software\\E2E", "Second", "2");

  // The user opens the uninstaller's shortcut; it relaunches itself from
  // the temporary folder and ends.
  SHELLEXECUTEINFOA run = {sizeof run};
  run.fMask = SEE_MASK_NOCLOSEPROCESS;
  run.lpFile = (group + "ridkit.lnk").c_str();
  run.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(ShellExecuteExA(&run));
  if (run.hProcess) {
    EXPECT_EQ(WaitForSingleObject(run.hProcess, 30000), WAIT_OBJECT_0);
    CloseHandle(run.hProcess);
  }
  HWND dlg = WaitForTopWindow(DIALOG_CLASS, kProduct, 30000);
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  copy = ProcessImageOf(dlg);
  EXPECT_EQ(copy.substr(0, TempFolder().size()), TempFolder());
  EXPECT_TRUE(ReadBytes(copy) == uninstaller) << "the dialog is the temporary copy's";
  if (signedPackage) Keep("temporary-copy.exe", ReadBytes(copy));

  // Ready.
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), std::string("正在准备卸载") + kProduct + "...");
  EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), "如果取消卸载，请按[取消]退出");
  EXPECT_EQ(Robot::ControlText(dlg, IDOK), "卸载");
  EXPECT_EQ(Robot::ControlText(dlg, IDCANCEL), "取消");
  EXPECT_TRUE(Robot::Enabled(dlg, IDOK));
  EXPECT_FALSE(Robot::Visible(dlg, IDC_LEFT_LIST));

  // "卸载" runs to Finished: nothing of the installation is left to list.
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  // The end shows in button 1's caption ("" is a question the busy dialog
  // did not answer in time, not an end).
  ASSERT_TRUE(WaitFor(
      [&] {
        std::string button = Robot::ControlText(dlg, IDOK);
        return Robot::Enabled(dlg, IDOK) && (button == "完成" || button == "全部删除");
      },
      30000));
  EXPECT_EQ(Robot::ControlText(dlg, IDOK), "完成");
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), "卸载完成,请单击 [完成] 退出.");
  EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), "");
  EXPECT_FALSE(Robot::Visible(dlg, IDCANCEL));
  EXPECT_FALSE(Robot::Visible(dlg, IDC_LEFT_LIST));
  DWORD_PTR pos = 0;
  SendMessageTimeoutA(GetDlgItem(dlg, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &pos);
  EXPECT_EQ(pos, 1000u);
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  EXPECT_TRUE(process.Ended(30000));

  // The control was unregistered where it lay, before it was deleted; the
  // one without entry points leaves no mark either way.
  std::multiset<std::string> m = Marks(4);
  EXPECT_EQ(m.count("registered " + control), 1u);
  EXPECT_EQ(m.count("unregistered " + control), 1u);
  EXPECT_EQ(m.size(), 4u);

  MachineState after = Take();
  EXPECT_EQ(Diff(before.parent, after.parent), std::vector<std::string>{});
  EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
  EXPECT_EQ(after.windowsNames, before.windowsNames);
  EXPECT_EQ(after.ini, before.ini);
  EXPECT_EQ(after.desktopLink, before.desktopLink);
  const char* keyNames[8] = {".e2a",          "e2afile",  ".e2b",     "e2bfile",
                             "HKCU 安装测试", "HKCU E2E", "HKLM E2E", "installed programs entry"};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(after.keys[i].exists, before.keys[i].exists) << keyNames[i];
    EXPECT_EQ(Diff(before.keys[i], after.keys[i]), std::vector<std::string>{}) << keyNames[i];
  }
  for (int i = 0; i < 4; i++) EXPECT_FALSE(after.keys[i].exists) << "association key " << keyNames[i];
  // Expected: the log lists files, never folders, so the folder the package
  // made for its controls in the system folder stays, empty; and the
  // temporary copy of the uninstaller stays in its folder in the temporary
  // folder (it cannot delete the file it runs from) until the next restart.
  std::set<std::string> systemNames = before.systemNames;
  systemNames.insert("e2e安装");
  EXPECT_EQ(after.systemNames, systemNames);
  EXPECT_TRUE(after.systemSub.exists);
  EXPECT_EQ(after.systemSub.entries.size(), 0u);
  EXPECT_TRUE(ReadBytes(copy) == uninstaller);
  ASSERT_TRUE(RestartPrefix());
  EXPECT_FALSE(FileExists(copy));
  EXPECT_FALSE(FileExists(copy.substr(0, copy.rfind('\\'))));
}

INSTANTIATE_TEST_SUITE_P(Packages, CycleTest, ::testing::Values(INSTALL_PACKAGE, SIGNED_PACKAGE),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                           return std::string(p.index ? "Signed" : "Unsigned");
                         });

}  // namespace
