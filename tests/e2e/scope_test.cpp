// Installing for the current user alone (install.scope = "user"): the
// package of data/user.toml installed through the wizard and removed
// unattended by the uninstaller it wrote. The machine's part of the registry
// (HKEY_LOCAL_MACHINE, and with it the machine's classes) and of the disk
// (Program Files, the Windows and system folders) is compared before, during
// and after: nothing may change there. The user's part gets the installation
// and gives all of it back. Wine runs every program with the same rights
// whatever its manifest asks for, so the manifests are read back from the
// files: the elevation itself is the system's to grant.
//
// The package of data/ask.toml lets the user choose. Wine gives every
// program the elevated half of the token; the tests start the programs with
// its limited half where a user without the administrator's rights matters.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/exitcodes.h"
#include "commandrun.h"
#include "robot.h"
#include "snapshot.h"
#include "tempcopy.h"
#include "tests/fileutil.h"
#include "wizard.h"

#if !defined(USER_PACKAGE) || !defined(INSTALL_PACKAGE) || !defined(ASK_PACKAGE)
#error USER_PACKAGE, INSTALL_PACKAGE and ASK_PACKAGE name the packages of this test
#endif

namespace {

const char kProduct[] = "用户测试";
const char kEntries[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E.UserScope";
const char kAskProduct[] = "选择测试";
const char kAskEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E.AskScope";

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

// The level a program's manifest asks for (requestedExecutionLevel), read
// from the file's resources; "(none)" without a manifest or a level.
std::string ManifestLevel(const std::string& path) {
  HMODULE m = LoadLibraryExA(path.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return "(not loaded)";
  std::string text;
  if (HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    HGLOBAL g = LoadResource(m, r);
    const char* bytes = g ? static_cast<const char*>(LockResource(g)) : 0;
    if (bytes) text.assign(bytes, SizeofResource(m, r));
  }
  FreeLibrary(m);
  size_t at = text.find("requestedExecutionLevel level=\"");
  if (at == std::string::npos) return "(none)";
  at += 31;
  return text.substr(at, text.find('"', at) - at);
}

// A command line run to its end; its exit code, or STILL_ACTIVE.
DWORD RunToEnd(const std::string& commandLine, DWORD timeoutMs = 60000) {
  STARTUPINFOA si = {sizeof si};
  PROCESS_INFORMATION pi = {};
  std::string line = commandLine;
  if (!CreateProcessA(0, &line[0], 0, 0, FALSE, 0, 0, 0, &si, &pi)) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else TerminateProcess(pi.hProcess, 0xDEAD);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

// The machine's list of renames and removals for the next restart, as it
// stands (raw bytes; empty without it).
std::string PendingRenames() {
  std::string data;
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &k) !=
      ERROR_SUCCESS)
    return data;
  DWORD size = 0;
  if (RegQueryValueExA(k, "PendingFileRenameOperations", 0, 0, 0, &size) == ERROR_SUCCESS && size > 0) {
    data.resize(size);
    if (RegQueryValueExA(k, "PendingFileRenameOperations", 0, 0, reinterpret_cast<BYTE*>(&data[0]), &size) !=
        ERROR_SUCCESS)
      data.clear();
  }
  RegCloseKey(k);
  return data;
}

const WCHAR kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const WCHAR kLogonWork[] = L"logon-work-";

// The values of the user's RunOnce key that the runs left for the next
// logon: name and command line.
std::vector<std::pair<std::wstring, std::wstring>> LogonWork() {
  std::vector<std::pair<std::wstring, std::wstring>> work;
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnce, 0, KEY_READ, &k) != ERROR_SUCCESS) return work;
  WCHAR name[256];
  WCHAR data[1024];
  for (DWORD i = 0;; i++) {
    DWORD nameLength = 256, size = sizeof data - sizeof(WCHAR), type = 0;
    LONG r = RegEnumValueW(k, i, name, &nameLength, 0, &type, reinterpret_cast<BYTE*>(data), &size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ || wcsncmp(name, kLogonWork, wcslen(kLogonWork)) != 0) continue;
    data[size / sizeof(WCHAR)] = 0;
    work.push_back({name, data});
  }
  RegCloseKey(k);
  return work;
}

// The user logs on: each of those values is deleted and its command run, as
// the system does (with a console of its own: the shell that starts it has
// none), and waited for here. How many ran.
size_t LogOn() {
  std::vector<std::pair<std::wstring, std::wstring>> work = LogonWork();
  HKEY k;
  if (work.empty() || RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnce, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return 0;
  size_t ran = 0;
  for (auto& value : work) {
    RegDeleteValueW(k, value.first.c_str());
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(0, &value.second[0], 0, 0, FALSE, CREATE_NEW_CONSOLE, 0, 0, &si, &pi)) continue;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) ran++;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  RegCloseKey(k);
  return ran;
}

// The scripts of that work in the user's local application data folder.
std::vector<std::string> LogonScripts() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((SpecialFolder(CSIDL_LOCAL_APPDATA) + "logon-work-*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(fd.cFileName);
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

// The machine's part, which an installation for one user must not touch,
// and the user's part, where it goes.
struct State {
  std::string pendingRenames;
  RegSnapshot machine, user;
  FolderSnapshot programFiles, userPrograms, startMenu;
  std::set<std::string> windowsNames, systemNames, rootNames;
  bool desktopLink = false;
};

class ScopeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(0);
    // Shortcuts saved in the Start menu would start Wine's menu builder, which
    // writes menu entries into the host's home folder, outside the prefix.
    SetValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
    // Wine writes the defaults of some known folders into the machine's
    // part the first time any program asks for them (the uninstaller asks
    // for all): asked here first, so that the snapshots see only the runs.
    IKnownFolderManager* manager = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, 0, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                                   reinterpret_cast<void**>(&manager)))) {
      KNOWNFOLDERID* ids = 0;
      UINT count = 0;
      if (SUCCEEDED(manager->GetFolderIds(&ids, &count))) {
        for (UINT i = 0; i < count; i++) {
          IKnownFolder* known = 0;
          if (FAILED(manager->GetFolder(ids[i], &known))) continue;
          PWSTR path = 0;
          if (SUCCEEDED(known->GetPath(KF_FLAG_DONT_VERIFY, &path))) CoTaskMemFree(path);
          known->Release();
        }
        CoTaskMemFree(ids);
      }
      manager->Release();
    }
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    pkg = WinePath(USER_PACKAGE);
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << USER_PACKAGE << " (build the host preset first)";
    userPrograms = SpecialFolder(CSIDL_LOCAL_APPDATA) + "Programs";
    install = userPrograms + "\\" + kProduct + "\\";
    desktopLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "测试.lnk";
    group = SpecialFolder(CSIDL_PROGRAMS) + kProduct + "\\";
    marks = TempFolder() + "e2e-scope-marks.txt";
    SetEnvironmentVariableA("E2E_MARKS", marks.c_str());
    Clean();
  }
  void TearDown() override {
    if (!pkg.empty()) Clean();
  }

  void Clean() {
    LogOn();  // what a failed test left for the logon
    RemoveTree(install.substr(0, install.size() - 1));
    RemoveTree(userPrograms + "\\另一处");
    RemoveTree(desktopLink);
    RemoveTree(SpecialFolder(CSIDL_STARTMENU) + "测试.lnk");
    RemoveTree(group.substr(0, group.size() - 1));
    for (const char* key : {".e2u", "e2ufile", "用户测试.e2u", ".e2l", "用户测试.e2l", "E2E.MarkCtl", "E2E.MarkCtl.Machine"})
      RemoveKeyTree(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + key);
    RemoveKeyTree(HKEY_CURRENT_USER, kEntryKey);
    // Left in the machine's part only by a registration gone wrong.
    for (const char* key : {"E2E.MarkCtl", "E2E.MarkCtl.Machine"})
      RemoveKeyTree(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + key);
    for (const char* key : {"Software\\用户测试", "Software\\用户测试二", "Software\\用户测试三"})
      RemoveKeyTree(HKEY_CURRENT_USER, key);
    RemoveTree(marks);
  }

  State Take() {
    State s;
    s.pendingRenames = PendingRenames();
    s.machine = SnapshotKey(HKEY_LOCAL_MACHINE, "Software");
    s.user = SnapshotKey(HKEY_CURRENT_USER, "Software");
    s.programFiles = SnapshotFolder(SpecialFolder(CSIDL_PROGRAM_FILES));
    s.userPrograms = SnapshotFolder(userPrograms);
    s.startMenu = SnapshotFolder(SpecialFolder(CSIDL_STARTMENU));
    s.windowsNames = Names(FolderFrom(GetWindowsDirectoryA));
    s.systemNames = Names(FolderFrom(GetSystemDirectoryA));
    s.rootNames = Names("C:");
    // The desktop is the host's own folder under Wine: only the package's
    // shortcut is looked at there.
    s.desktopLink = FileExists(desktopLink);
    return s;
  }

  // The machine's part as before. machineRemoval: a removal for all users
  // ran, whose temporary copy waits in the machine's list for the restart.
  void ExpectMachineUntouched(const State& before, const State& now, const char* when,
                              bool machineRemoval = false) {
    if (!machineRemoval) EXPECT_EQ(now.pendingRenames, before.pendingRenames) << when;
    EXPECT_EQ(Diff(before.machine, now.machine), std::vector<std::string>{}) << when;
    EXPECT_EQ(Diff(before.programFiles, now.programFiles), std::vector<std::string>{}) << when;
    EXPECT_EQ(now.windowsNames, before.windowsNames) << when;
    EXPECT_EQ(now.systemNames, before.systemNames) << when;
    EXPECT_EQ(now.rootNames, before.rootNames) << when;
  }

  std::multiset<std::string> Marks(size_t n) { return MarkLines(marks, n); }

  std::string pkg, userPrograms, install, desktopLink, group, marks;
};

TEST_F(ScopeTest, ManifestsAskForElevationOnlyForTheWholeMachine) {
  EXPECT_EQ(ManifestLevel(pkg), "asInvoker");
  EXPECT_EQ(ManifestLevel(WinePath(INSTALL_PACKAGE)), "requireAdministrator");
}

TEST_F(ScopeTest, InstallsAndRemovesInTheUsersPartAlone) {
  State before = Take();
  ASSERT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kEntryKey).exists);

  // The wizard proposes the user's Programs folder and installs there, every
  // kind of shortcut asked for.
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    wiz.rule = [](const Popup&) { return IDOK; };
    ASSERT_TRUE(wiz.WaitForSheet(kProduct) && wiz.WaitForPage(IDC_WELCOME_LINE1) && wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_AGREE) && Robot::Click(wiz.CurrentPage(), IDC_AGREE) && wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_FOLDER));
    EXPECT_EQ(wiz.PageText(IDC_FOLDER), install.substr(0, install.size() - 1));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
    for (int box : {IDC_FINISH_DESKTOP, IDC_FINISH_STARTMENU, IDC_FINISH_GROUP}) ASSERT_TRUE(wiz.SetCheck(box, true));
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    ASSERT_TRUE(wiz.WaitForExit(30000));
    EXPECT_TRUE(wiz.popups.empty()) << wiz.popups[0].text;
  }
  State installed = Take();
  ExpectMachineUntouched(before, installed, "installed");
  EXPECT_TRUE(FileExists(install + "测试.exe"));
  EXPECT_TRUE(FileExists(install + "setup.log"));
  EXPECT_TRUE(installed.desktopLink);
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_STARTMENU) + "测试.lnk"));
  EXPECT_TRUE(FileExists(group + "测试.lnk"));
  EXPECT_TRUE(FileExists(group + "ridkit.lnk"));
  EXPECT_EQ(ManifestLevel(install + "ridkit.exe"), "asInvoker");
  // The association, the entry in the list of programs and the control's
  // classes (written through both machine roots) in the user's part.
  const std::string classes = "Classes\\";  // below HKEY_CURRENT_USER\Software
  // With a type of its own in the list, every association is of the list's
  // kind: a class named for the product.
  EXPECT_EQ(SzValue(installed.user, classes + ".e2u"), "用户测试.e2u");
  EXPECT_EQ(SzValue(installed.user, classes + ".e2l"), "用户测试.e2l");
  EXPECT_EQ(SzValue(installed.user, classes + "用户测试.e2l"), "用户文档");
  const std::string control = install + "bin\\userctl.ocx";
  EXPECT_EQ(SzValue(installed.user, classes + "E2E.MarkCtl"), control);
  EXPECT_EQ(SzValue(installed.user, classes + "E2E.MarkCtl.Machine"), control);
  RegSnapshot entry = SnapshotKey(HKEY_CURRENT_USER, kEntryKey);
  EXPECT_EQ(SzValue(entry, "", "DisplayName"), kProduct);
  EXPECT_EQ(SzValue(entry, "", "QuietUninstallString"), "\"" + install + "ridkit.exe\" /S");

  // The association opens the program with the document. Wine's
  // HKEY_CLASSES_ROOT is the machine's classes alone (Windows lays the
  // user's over them), so its shell does not see a user's association: the
  // command is run as the shell runs it, %1 standing for the document.
  std::string command = SzValue(installed.user, classes + "用户测试.e2u\\shell\\open\\command");
  std::string document = install + "样本.e2u";
  EXPECT_EQ(command, "\"" + install + "测试.exe\" \"%1\"");
  ASSERT_NE(command.find("%1"), std::string::npos) << command;
  command.replace(command.find("%1"), 2, document);
  EXPECT_EQ(RunToEnd(command), 0u);
  std::multiset<std::string> m = Marks(2);
  EXPECT_EQ(m.count("registered " + control), 1u);
  // The program is given the document as the command quotes it.
  EXPECT_EQ(m.count("started " + install + "测试.exe|\"" + document + "\""), 1u);

  // What the product writes while in use, for the uninstaller to remove.
  SetValue(HKEY_CURRENT_USER, "Software\\用户测试\\设置", "宽", "640");
  SetValue(HKEY_CURRENT_USER, "Software\\用户测试三", "高", "480");

  // The quiet removal the entry names, as the list of programs runs it.
  EXPECT_EQ(RunToEnd("\"" + install + "ridkit.exe\" /S"), static_cast<DWORD>(EXIT_DONE));
  m = Marks(3);
  EXPECT_EQ(m.count("unregistered " + control), 1u);
  // The uninstaller's temporary copy goes at the next logon.
  std::vector<std::string> copies = TemporaryCopyFolders();
  EXPECT_EQ(LogOn(), 1u);
  EXPECT_EQ(TemporaryCopyFolders().size() + 1, copies.size());
  EXPECT_EQ(LogonScripts(), std::vector<std::string>{});

  State after = Take();
  ExpectMachineUntouched(before, after, "removed");
  EXPECT_FALSE(FileExists(install.substr(0, install.size() - 1)));
  EXPECT_FALSE(after.desktopLink);
  EXPECT_EQ(Diff(before.startMenu, after.startMenu), std::vector<std::string>{});
  // Expected in the user's part: the containers an installation for one
  // user makes where they are missing, as the system would, and leaves (the
  // user's Programs folder, empty; the user's classes and the list of the
  // user's programs, empty). A fresh prefix lacks them until a program asks.
  std::vector<std::string> expected;
  if (!before.user.keys.count("Classes")) expected.push_back("+ Classes");
  if (!before.user.keys.count("Microsoft\\Windows\\CurrentVersion\\Uninstall"))
    expected.push_back("+ Microsoft\\Windows\\CurrentVersion\\Uninstall");
  if (!before.user.keys.count("Microsoft\\Windows\\CurrentVersion\\RunOnce"))
    expected.push_back("+ Microsoft\\Windows\\CurrentVersion\\RunOnce");
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> userDiff = Diff(before.user, after.user);
  // Wine keeps its own state below Software\Wine as programs run.
  userDiff.erase(std::remove_if(userDiff.begin(), userDiff.end(),
                                [](const std::string& line) { return line.compare(2, 5, "Wine\\") == 0; }),
                 userDiff.end());
  EXPECT_EQ(userDiff, expected);
  EXPECT_EQ(after.userPrograms.exists, true);
  EXPECT_EQ(after.userPrograms.entries.size(), before.userPrograms.entries.size());
  EXPECT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kEntries).keys.count("E2E.UserScope"));
}

// Unattended: /S without /D= installs into the proposed folder, the user's
// Programs folder made where it is missing; the quiet removal takes it back.
TEST_F(ScopeTest, UnattendedInstallGoesIntoTheUsersProgramsFolder) {
  RemoveDirectoryA(userPrograms.c_str());  // only when empty: made again by the setup
  State before = Take();
  std::string account = userPrograms + "\\..\\scope-run.log";
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S /LOG=" + account), static_cast<DWORD>(EXIT_DONE));
  // The account names the entry where it went.
  EXPECT_NE(LogText(account).find("已写入程序列表项: HKEY_CURRENT_USER\\" + std::string(kEntryKey)), std::string::npos)
      << LogText(account);
  DeleteFileA(account.c_str());
  State installed = Take();
  ExpectMachineUntouched(before, installed, "installed");
  EXPECT_TRUE(FileExists(install + "测试.exe"));
  EXPECT_TRUE(FileExists(install + "ridkit.exe"));
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_CURRENT_USER, kEntryKey), "", "InstallLocation"),
            install.substr(0, install.size() - 1));
  EXPECT_EQ(RunToEnd("\"" + install + "ridkit.exe\" /S"), static_cast<DWORD>(EXIT_DONE));
  State after = Take();
  ExpectMachineUntouched(before, after, "removed");
  EXPECT_FALSE(FileExists(install.substr(0, install.size() - 1)));
  EXPECT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kEntryKey).exists);
  EXPECT_TRUE(after.userPrograms.exists);
}

// A second run (a repair) finds the installation in the user's list of
// programs, not the machine's, and goes over it in the folder /D= chose the
// first time; the removal takes back the folders /D= made.
TEST_F(ScopeTest, UnattendedRunFindsTheUsersInstallation) {
  const std::string other = userPrograms + "\\另一处\\" + kProduct;
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S /D=" + other), static_cast<DWORD>(EXIT_DONE));
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S"), static_cast<DWORD>(EXIT_DONE));
  EXPECT_FALSE(FileExists(install.substr(0, install.size() - 1)));
  EXPECT_TRUE(FileExists(other + "\\测试.exe"));
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_CURRENT_USER, kEntryKey), "", "InstallLocation"), other);
  EXPECT_EQ(RunToEnd("\"" + other + "\\ridkit.exe\" /S"), static_cast<DWORD>(EXIT_DONE));
  EXPECT_FALSE(FileExists(userPrograms + "\\另一处"));
  EXPECT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kEntryKey).exists);
}

// A file in use in a repair for the current user alone: the run ends with
// 3010 as for the machine, but the replacement waits for the user's next
// logon (the system's delayed renames are the administrators'), scheduled in
// the user's part alone; at the logon the file is replaced and nothing of
// the work stays. The removal's temporary copy goes the same way.
TEST_F(ScopeTest, FileInUseWaitsForTheUsersNextLogon) {
  ASSERT_EQ(RunToEnd("\"" + pkg + "\" /S"), static_cast<DWORD>(EXIT_DONE));
  const std::string sample = install + "样本.e2u", beside = sample + ".~new";
  const std::string original = ReadBytes(sample);
  ASSERT_TRUE(WriteBytes(sample, "damaged"));
  ASSERT_TRUE(LogonWork().empty());
  State before = Take();
  // Open, shared with nobody: a document open in an editor.
  HANDLE held = CreateFileA(sample.c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S"), static_cast<DWORD>(EXIT_RESTART_REQUIRED));
  CloseHandle(held);
  ExpectMachineUntouched(before, Take(), "repaired");
  EXPECT_EQ(LogonWork().size(), 1u);
  EXPECT_EQ(ReadBytes(sample), "damaged");
  EXPECT_EQ(ReadBytes(beside), original);
  EXPECT_EQ(LogOn(), 1u);
  EXPECT_EQ(ReadBytes(sample), original);
  EXPECT_FALSE(FileExists(beside));
  EXPECT_EQ(LogonScripts(), std::vector<std::string>{});

  // The removal with the document open: the file, then its folder, at the
  // logon; the temporary copy's work is a value of its own.
  held = CreateFileA(sample.c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunToEnd("\"" + install + "ridkit.exe\" /S"), static_cast<DWORD>(EXIT_RESTART_REQUIRED));
  CloseHandle(held);
  ExpectMachineUntouched(before, Take(), "removed");
  EXPECT_EQ(SnapshotFolder(install).entries, (std::map<std::string, std::string>{{"样本.e2u", original}}));
  EXPECT_EQ(LogOn(), 2u);
  EXPECT_FALSE(FileExists(install.substr(0, install.size() - 1)));
  EXPECT_EQ(LogonScripts(), std::vector<std::string>{});
}

// The package that lets the user choose for whom: its installation for the
// user and for the machine, and their entries in the lists of both.
class AskTest : public ScopeTest {
 protected:
  void SetUp() override {
    ScopeTest::SetUp();
    pkg = WinePath(ASK_PACKAGE);
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << ASK_PACKAGE << " (build the host preset first)";
    mine = userPrograms + "\\" + kAskProduct + "\\";
    // Program Files of the Windows drive, as the setup proposes it.
    everyone = FolderFrom(GetWindowsDirectoryA).substr(0, 3) + "Program Files\\" + kAskProduct + "\\";
    CleanAsk();
  }
  void TearDown() override {
    CleanAsk();
    ScopeTest::TearDown();
  }
  void CleanAsk() {
    for (const std::string& folder : {mine, everyone})
      if (!folder.empty()) RemoveTree(folder.substr(0, folder.size() - 1));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RemoveKeyTree(root, kAskEntryKey);
  }
  // Run to its end without the administrator's rights; its exit code.
  static DWORD RunLimited(const std::string& program, const std::string& args) {
    Robot robot;
    DWORD code = STILL_ACTIVE;
    if (!robot.StartLimited(program, args) || !robot.WaitForExit(60000, &code)) return STILL_ACTIVE;
    return code;
  }
  static std::string NoBackslash(const std::string& folder) { return folder.substr(0, folder.size() - 1); }
  std::string mine, everyone;
};

// Unattended: /CURRENTUSER and /ALLUSERS choose; a run without either stays
// with the scope of the installation there is (the user's here, though the
// run has the rights an installation for everyone would take without it).
// For all users without the administrator's rights nobody can be asked: the
// run fails with the code that says so, the installation and the removal
// alike; a removal for the user alone never needs them.
TEST_F(AskTest, UnattendedRunsInstallAndRemoveForTheScopeChosen) {
  State before = Take();
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S /CURRENTUSER"), static_cast<DWORD>(EXIT_DONE));
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S"), static_cast<DWORD>(EXIT_DONE));
  ExpectMachineUntouched(before, Take(), "for the user");
  EXPECT_TRUE(FileExists(mine + "测试.exe"));
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_CURRENT_USER, kAskEntryKey), "", "InstallLocation"), NoBackslash(mine));
  EXPECT_EQ(ManifestLevel(pkg), "asInvoker");
  EXPECT_EQ(ManifestLevel(mine + "ridkit.exe"), "asInvoker");
  EXPECT_EQ(RunLimited(mine + "ridkit.exe", "/S"), static_cast<DWORD>(EXIT_DONE));
  EXPECT_FALSE(FileExists(NoBackslash(mine)));
  EXPECT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kAskEntryKey).exists);

  EXPECT_EQ(RunLimited(pkg, "/S /ALLUSERS"), static_cast<DWORD>(EXIT_ELEVATION_REQUIRED));
  ExpectMachineUntouched(before, Take(), "refused");
  EXPECT_EQ(RunToEnd("\"" + pkg + "\" /S /ALLUSERS"), static_cast<DWORD>(EXIT_DONE));
  EXPECT_TRUE(FileExists(everyone + "测试.exe"));
  EXPECT_FALSE(FileExists(NoBackslash(mine)));
  EXPECT_EQ(SzValue(SnapshotKey(HKEY_LOCAL_MACHINE, kAskEntryKey), "", "InstallLocation"), NoBackslash(everyone));
  EXPECT_FALSE(SnapshotKey(HKEY_CURRENT_USER, kAskEntryKey).exists);
  EXPECT_EQ(RunLimited(everyone + "ridkit.exe", "/S"), static_cast<DWORD>(EXIT_ELEVATION_REQUIRED));
  EXPECT_TRUE(FileExists(everyone + "测试.exe"));
  EXPECT_EQ(RunToEnd("\"" + everyone + "ridkit.exe\" /S"), static_cast<DWORD>(EXIT_DONE));
  ExpectMachineUntouched(before, Take(), "removed", true);
  EXPECT_FALSE(SnapshotKey(HKEY_LOCAL_MACHINE, kAskEntryKey).exists);
}

// The top-level wizard of another process than the one given, with that caption.
struct SheetSearch {
  DWORD notThis;
  std::string caption;
  HWND found;
};
BOOL CALLBACK FindOtherSheet(HWND w, LPARAM lp) {
  SheetSearch& s = *reinterpret_cast<SheetSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == s.notThis || !IsWindowVisible(w) || !Robot::IsClass(w, DIALOG_CLASS) || Robot::Text(w) != s.caption)
    return TRUE;
  s.found = w;
  return FALSE;
}
HWND OtherSheet(DWORD notThis, const char* caption) {
  SheetSearch search = {notThis, caption, 0};
  WaitFor(
      [&] {
        EnumWindows(FindOtherSheet, reinterpret_cast<LPARAM>(&search));
        return search.found != 0;
      },
      30000);
  return search.found;
}

// Pages 1 and 2 of a wizard; true at the folder page.
bool ToFolderPage(Wizard& wiz) {
  return wiz.WaitForSheet(kAskProduct) && wiz.WaitForPage(IDC_WELCOME_LINE1) && wiz.Press(ID_WIZNEXT) &&
         wiz.WaitForPage(IDC_AGREE) && Robot::Click(wiz.CurrentPage(), IDC_AGREE) && wiz.Press(ID_WIZNEXT) &&
         wiz.WaitForPage(IDC_FOLDER);
}

// The wizard without the administrator's rights proposes the user's folder;
// the choice moves the proposal (not a folder the user typed). For all users
// the folder page starts the setup again with "runas" and ends with it: the
// new instance opens at the folder page, for all users, and installs there,
// and the first one ends with its exit code. Wine grants the new instance
// no elevation; it starts no other one (the page's /RESUME). The next run
// proposes the scope of that installation.
TEST_F(AskTest, WizardOffersTheChoiceAndStartsAgainForAllUsers) {
  State before = Take();
  Robot robot;
  ASSERT_TRUE(robot.StartLimited(pkg));
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  ASSERT_TRUE(ToFolderPage(wiz));
  EXPECT_TRUE(wiz.IsVisible(IDC_SCOPE_MACHINE) && wiz.IsVisible(IDC_SCOPE_USER));
  EXPECT_TRUE(wiz.IsChecked(IDC_SCOPE_USER));
  EXPECT_FALSE(wiz.IsChecked(IDC_SCOPE_MACHINE));
  EXPECT_EQ(wiz.PageText(IDC_FOLDER), NoBackslash(mine));
  // A click is posted: what it changes is waited for.
  auto choose = [&](int id, const std::string& folder) {
    return Robot::Click(wiz.CurrentPage(), id) &&
           robot.WaitUntil([&] { return wiz.IsChecked(id) && wiz.PageText(IDC_FOLDER) == folder; });
  };
  EXPECT_TRUE(choose(IDC_SCOPE_MACHINE, NoBackslash(everyone)));
  const std::string typed = "C:\\选择测试的文件夹";
  EXPECT_TRUE(wiz.SetText(IDC_FOLDER, typed) && choose(IDC_SCOPE_USER, typed));
  EXPECT_TRUE(wiz.SetText(IDC_FOLDER, NoBackslash(mine)) && choose(IDC_SCOPE_MACHINE, NoBackslash(everyone)));
  ASSERT_TRUE(wiz.Press(ID_WIZNEXT));

  HWND sheet = OtherSheet(robot.ProcessId(), kAskProduct);
  ASSERT_TRUE(sheet) << "no second instance" << (wiz.popups.empty() ? "" : ": " + wiz.popups[0].text);
  DWORD pid = 0;
  GetWindowThreadProcessId(sheet, &pid);
  Robot second;
  ASSERT_TRUE(second.Attach(pid));
  Wizard again(second);
  again.rule = [](const Popup&) { return IDOK; };
  ASSERT_TRUE(again.WaitForSheet(kAskProduct) && again.WaitForPage(IDC_FOLDER));
  EXPECT_TRUE(again.IsChecked(IDC_SCOPE_MACHINE));
  // The choice is made: the setup started for all users does not install
  // into its own (the administrator's) profile instead.
  EXPECT_FALSE(again.IsEnabled(IDC_SCOPE_MACHINE) || again.IsEnabled(IDC_SCOPE_USER));
  EXPECT_EQ(again.PageText(IDC_FOLDER), NoBackslash(everyone));
  EXPECT_TRUE(robot.Running());  // waiting for the second
  EXPECT_FALSE(robot.FindWindowOf(DIALOG_CLASS, kAskProduct));
  ASSERT_TRUE(again.Press(ID_WIZNEXT));
  ASSERT_TRUE(again.WaitForPage(IDC_FINISH_LINE1));
  ASSERT_TRUE(again.Press(ID_WIZFINISH));
  ASSERT_TRUE(again.WaitForExit(30000));
  EXPECT_TRUE(again.popups.empty()) << again.popups[0].text;
  DWORD code = STILL_ACTIVE;
  ASSERT_TRUE(robot.WaitForExit(30000, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXIT_DONE));
  EXPECT_TRUE(FileExists(everyone + "测试.exe"));
  EXPECT_TRUE(SnapshotKey(HKEY_LOCAL_MACHINE, kAskEntryKey).exists);
  EXPECT_FALSE(FileExists(NoBackslash(mine)));

  {
    Robot next;
    ASSERT_TRUE(next.StartLimited(pkg));
    Wizard third(next);
    ASSERT_TRUE(ToFolderPage(third));
    EXPECT_TRUE(third.IsChecked(IDC_SCOPE_MACHINE));
    EXPECT_EQ(third.PageText(IDC_FOLDER), NoBackslash(everyone));
    EXPECT_TRUE(third.Quit());
  }
  EXPECT_EQ(RunToEnd("\"" + everyone + "ridkit.exe\" /S"), static_cast<DWORD>(EXIT_DONE));
  ExpectMachineUntouched(before, Take(), "removed", true);
}

}  // namespace
