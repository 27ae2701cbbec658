// The uninstaller end to end: a package made by the builder is laid out as the
// setup leaves it (files, controls, associations, ridkit.exe, setup.log,
// shortcuts, the package's registry keys), then ridkit.exe is started as a user
// starts it and driven through its dialog. The file system and the registry
// afterwards are compared with a snapshot taken before the installation.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "plant.h"
#include "robot.h"
#include "setup/core/copyengine.h"
#include "setup/setupapp.h"
#include "tempcopy.h"
#include "tests/fileutil.h"
#include "common/regcleanup.h"
#include "uninstall/resource.h"

#ifndef RIDKIT_EXE
#error RIDKIT_EXE names the built uninstaller
#endif

namespace {

const char kProduct[] = "卸载 测试";
const char kUninstall[] = "卸载";
const char kDeleteAll[] = "全部删除";
const char kDone[] = "完成";
const int kList = IDC_LEFT_LIST;

std::string Special(int csidl) {
  char p[MAX_PATH] = {0};
  SHGetFolderPathA(0, csidl, 0, 0, p);
  return p;
}

void RemoveTree(const std::string& dir) {
  // Never a drive's root (an empty text would name the current one).
  if (dir.size() < 4 || dir.find('\\', 3) == std::string::npos) return;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
      std::string p = dir + "\\" + fd.cFileName;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(p);
      else DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

// ---- snapshots ------------------------------------------------------------------

typedef std::set<std::string> Snapshot;

// Folders the walk leaves out: the temporary folder (the uninstaller's copy
// lives there) and the user's folders that Wine links to the host's home
// folder, which other programs on the machine change at any time. The
// shortcuts the tests make there are checked one by one instead.
std::vector<std::string> SkippedFolders() {
  std::string temp = TempFolder();
  std::vector<std::string> skip = {temp.substr(0, temp.size() - 1)};
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO,
                    CSIDL_TEMPLATES})
    skip.push_back(Special(csidl));
  skip.push_back(Special(CSIDL_PROFILE) + "\\Downloads");
  // A 32-bit process sees SysWOW64 twice: as itself and as the system folder.
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) skip.push_back(Special(CSIDL_WINDOWS) + "\\syswow64");
  return skip;
}

void AddFiles(Snapshot& s, const std::string& dir, const std::vector<std::string>& skip) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
    std::string p = dir + "\\" + fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bool skipped = fd.cFileName[0] == '.' || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
      for (const std::string& k : skip) skipped = skipped || _stricmp(p.c_str(), k.c_str()) == 0;
      if (skipped) continue;
      s.insert("folder " + p);
      AddFiles(s, p, skip);
    } else {
      s.insert("file " + p + " " + std::to_string(fd.nFileSizeLow));
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

void AddKeys(Snapshot& s, HKEY root, const std::string& name, const std::string& path, bool deep) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
  char buf[512];
  for (DWORD i = 0;; i++) {
    DWORD n = sizeof buf;
    if (RegEnumValueA(k, i, buf, &n, 0, 0, 0, 0) != ERROR_SUCCESS) break;
    s.insert("value " + name + "\\" + path + "|" + buf);
  }
  for (DWORD i = 0;; i++) {
    DWORD n = sizeof buf;
    if (RegEnumKeyExA(k, i, buf, &n, 0, 0, 0, 0) != ERROR_SUCCESS) break;
    std::string child = path.empty() ? buf : path + "\\" + buf;
    s.insert("key " + name + "\\" + child);
    // Wine's own settings and the shell's lists of recent files change with
    // every program run.
    if (deep && _stricmp(buf, "Wine") != 0 && _stricmp(buf, "Microsoft") != 0) AddKeys(s, root, name, child, deep);
  }
  RegCloseKey(k);
}

Snapshot TakeSnapshot() {
  Snapshot s;
  AddFiles(s, "C:", SkippedFolders());
  AddKeys(s, HKEY_CURRENT_USER, "HKCU", "Software", true);
  AddKeys(s, HKEY_CLASSES_ROOT, "HKCR", "", false);
  AddKeys(s, HKEY_LOCAL_MACHINE, "HKLM", "Software", false);
  return s;
}

std::vector<std::string> Difference(const Snapshot& a, const Snapshot& b) {
  std::vector<std::string> d;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(d));
  return d;
}

// ---- windows of the temporary copy ----------------------------------------------------

struct AnySearch {
  const char* cls;
  const char* caption;  // null: any
  HWND found;
};

BOOL CALLBACK MatchAny(HWND w, LPARAM lp) {
  AnySearch* s = reinterpret_cast<AnySearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == GetCurrentProcessId() || !IsWindowVisible(w)) return TRUE;
  char cls[64] = {0};
  GetClassNameA(w, cls, sizeof cls);
  if (strcmp(cls, s->cls) != 0) return TRUE;
  if (s->caption && Robot::Text(w) != s->caption) return TRUE;
  s->found = w;
  return FALSE;
}

// A visible top-level window of another process: the dialog belongs to the
// temporary copy, which the robot did not start.
HWND FindAnyWindow(const char* cls, const char* caption) {
  AnySearch s = {cls, caption, 0};
  EnumWindows(MatchAny, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

HWND WaitForAnyWindow(const char* cls, const char* caption, DWORD timeoutMs = 30000) {
  HWND w = 0;
  WaitUntil([&] { return (w = FindAnyWindow(cls, caption)) != 0; }, timeoutMs);
  return w;
}

// An entry of the list box of another process, as code page 936 text. Wine
// carries the text across processes only in its wide form.
std::string ListText(HWND list, int i) {
  WCHAR buf[1024] = {0};
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &r))
    return "";
  char text[2048] = {0};
  WideCharToMultiByte(CP_ACP, 0, buf, -1, text, sizeof text, 0, 0);
  return text;
}

std::vector<std::string> ListTexts(HWND dialog) {
  HWND list = GetDlgItem(dialog, kList);
  DWORD_PTR n = 0;
  SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &n);
  std::vector<std::string> out;
  for (int i = 0; i < static_cast<int>(n); i++) out.push_back(ListText(list, i));
  return out;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != 0; }

// The process of a window, to wait for its end (or end it).
class WindowProcess {
 public:
  explicit WindowProcess(HWND w) : h_(0) {
    DWORD pid = 0;
    if (w) GetWindowThreadProcessId(w, &pid);
    if (pid) h_ = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  }
  ~WindowProcess() {
    if (!h_) return;
    if (WaitForSingleObject(h_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(h_, 0xDEAD);
      WaitForSingleObject(h_, 5000);
    }
    CloseHandle(h_);
  }
  bool Ended(DWORD timeoutMs) { return h_ && WaitForSingleObject(h_, timeoutMs) == WAIT_OBJECT_0; }
  // The exit code once ended within the time, else STILL_ACTIVE.
  DWORD ExitCode(DWORD timeoutMs = 30000) { return ExitCodeOf(h_, timeoutMs); }

 private:
  HANDLE h_;
};

// ---- the installed state ------------------------------------------------------------

struct NoPage : ICopyPage {
  void SetStatus(const char*) override {}
  void SetEstimate(const char*) override {}
  void SetProgress(int) override {}
  bool AskOverwrite(const char*) override { return true; }
  void ShowError(const char*) override {}
  void StopAnimation() override {}
};

struct InstallServices : ICopyServices {
  DWORD TickCount() override { return GetTickCount(); }
  void Sleep(DWORD) override {}
  int RegisterServer(const char* path) override {
    int r = ::RegisterServer(path, false);
    // Registered, but not kept loaded by the test: the uninstaller deletes it.
    if (HMODULE m = GetModuleHandleA(path)) FreeLibrary(m);
    return r;
  }
  void RegisterFileType(const char* ext, const char* program) override { ::RegisterFileType(ext, program, false); }
  bool WriteUninstaller(const char*) override { return ::WriteUninstaller(*source); }
  int UnregisterServer(const char*) override { return 1; }
  void UnregisterFileType(const char*) override {}
  void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                        const char* icon, TypeRecord& record) override {
    ::RegisterListType(ext, typeClass, command, description, icon, record, false);
  }
  void UnregisterListType(const char*, const TypeRecord&) override {}
  void DeleteKeyEntry(const char*) override {}
  void DeleteValueEntry(const char*) override {}
  bool FileInUse(const char*) override { return false; }
  bool AtRestart(const char*, const char*) override { return false; }
  const UninstallerSource* source;
};

void MakeKey(const std::string& path) {
  HKEY k;
  RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL);
  RegCloseKey(k);
}

void SetValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL) != ERROR_SUCCESS) return;
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(k);
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  bool found = RegQueryValueExA(k, name.c_str(), NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

class UninstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(0);
    // Shortcuts saved in the Start menu would start Wine's menu builder, which
    // writes menu entries into the host's home folder: not in this prefix.
    HKEY k;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k,
                        NULL) == ERROR_SUCCESS) {
      RegSetValueExA(k, "winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
      RegCloseKey(k);
    }
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    pkg = WinePath(UNINSTALL_PACKAGE);
    if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder (build the host preset first)";
    app.ModulePath = pkg.c_str();
    ASSERT_TRUE(app.LoadPackage());
    ASSERT_STREQ(app.Package.ProductName, kProduct);
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    windowsDir = dir;
    GetSystemDirectoryA(dir, MAX_PATH);
    systemDir = dir;
    installDir = Special(CSIDL_PROGRAM_FILES) + "\\" + kProduct + "\\";
    folders = CInstallFolders(windowsDir.c_str(), systemDir.c_str(), installDir.c_str());
    groupDir = Special(CSIDL_PROGRAMS) + "\\" + kProduct + "\\";
    mark = TempFolder() + "uninstall-e2e.mark";
    SetEnvironmentVariableA("TESTCTL_MARK", mark.c_str());
    regKeys[0] = app.Package.RegKeys[0];
    regKeys[1] = app.Package.RegKeys[1];
    regValues[0] = app.Package.RegValues[0];
    regValues[1] = app.Package.RegValues[1];
    CleanUp();
  }

  void TearDown() override {
    // A test that failed half-way may leave the temporary copy running.
    for (int i = 0; i < 10; i++) {
      HWND w = FindAnyWindow(DIALOG_CLASS, 0);
      if (!w) break;
      WindowProcess stray(w);
    }
    if (!pkg.empty() && FileExists(pkg)) CleanUp();
  }

  // Everything an installation may have left, gone again.
  void CleanUp() {
    RemoveTree(installDir.substr(0, installDir.size() - 1));
    RemoveTree(groupDir.substr(0, groupDir.size() - 1));
    RemoveTree(systemDir + "\\uninstall-test");
    if (!other.empty()) RemoveTree(other);
    DeleteFileA((Special(CSIDL_DESKTOPDIRECTORY) + "\\app.lnk").c_str());
    DeleteFileA((Special(CSIDL_STARTMENU) + "\\app.lnk").c_str());
    for (const char* k : {"Software\\UninstallTest", "Software\\UninstallTest2", "Software\\UninstallTestValues"})
      DeleteKeyTree(HKEY_CURRENT_USER, k);
    RegDeleteValueA(HKEY_CURRENT_USER, "UninstallTestValue");
    RemoveFileType("utt", false);
    RemoveFileType("ut2", false);
    DeleteFileA(mark.c_str());
  }

  std::string Installed(const char* rest) const { return installDir + rest; }

  // Lays out the installation as the setup leaves it; the log lines are
  // written as given (the sections of the package when none are given).
  void Install(bool withLog = true, const std::vector<std::string>* logLines = 0) {
    ridkitBytes = ReadBytes(WinePath(RIDKIT_EXE));
    ASSERT_FALSE(ridkitBytes.empty());
    ASSERT_TRUE(CreateDirectoryA(installDir.c_str(), 0));
    UninstallerSource src = {ridkitBytes.data(), static_cast<DWORD>(ridkitBytes.size()), pkg.c_str(),
                             app.Package.ProductName, app.Package.PictureLength, app.Package.PictureOffset, app.Package.IconLength,
                             app.Package.IconOffset, {regKeys[0].c_str(), regKeys[1].c_str()},
                             {regValues[0].c_str(), regValues[1].c_str()}, installDir.c_str()};
    NoPage page;
    InstallServices services;
    services.source = &src;
    CCopyEngine engine(app.Package, page, services);
    engine.Folders = folders;
    ASSERT_EQ(engine.CopyAll(), 0);
    ASSERT_TRUE(FileExists(Installed("ridkit.exe")));

    // The shortcuts, each written to the log, and the uninstaller's own.
    CreateDirectoryA(groupDir.c_str(), 0);
    std::vector<std::string> shortcuts;
    for (CFileList::Node* n = app.Package.FileList.Head; n; n = n->Next) {
      CString target;
      folders.Resolve(n->Entry, target);
      std::string name = ShortcutName(n->Entry.Name).c_str();
      if (n->Entry.Shortcuts & SHORTCUT_DESKTOP) shortcuts.push_back(Special(CSIDL_DESKTOPDIRECTORY) + "\\" + name);
      if (n->Entry.Shortcuts & SHORTCUT_STARTMENU) shortcuts.push_back(Special(CSIDL_STARTMENU) + "\\" + name);
      if (n->Entry.Shortcuts & SHORTCUT_GROUP) shortcuts.push_back(groupDir + name);
      for (size_t i = created; i < shortcuts.size(); i++) ASSERT_TRUE(CreateShortcut(target, shortcuts[i].c_str()));
      created = shortcuts.size();
    }
    ASSERT_TRUE(CreateShortcut(Installed("ridkit.exe").c_str(), (groupDir + "ridkit.lnk").c_str()));
    if (withLog) {
      CSetupLogWriter log;
      ASSERT_TRUE(log.Create(Installed("setup.log").c_str()));
      if (logLines) {
        for (const std::string& l : *logLines) log.WriteLine(l.c_str());
      } else {
        ASSERT_TRUE(WriteLogSections(log, app.Package, folders));
        for (const std::string& s : shortcuts) log.WriteLine(s.c_str());
      }
      ASSERT_TRUE(log.Close());
    }
    this->shortcuts = shortcuts;

    // The package's registry keys, with subkeys on several levels.
    for (const char* k : {"Software\\UninstallTest\\a\\b\\c", "Software\\UninstallTest\\a\\x",
                          "Software\\UninstallTest\\d", "Software\\UninstallTest2\\z"})
      MakeKey(k);
    SetValue(HKEY_CURRENT_USER, "Software\\UninstallTest\\a\\b", "v");
    SetValue(HKEY_CURRENT_USER, "Software\\UninstallTestValues", "one");
    SetValue(HKEY_CURRENT_USER, "Software\\UninstallTestValues", "two");
    DeleteFileA(mark.c_str());  // what the registration left
  }

  // Starts ridkit.exe of the installation and waits for the dialog of its
  // temporary copy in state Ready.
  HWND StartUninstaller() {
    if (!robot.Start(Installed("ridkit.exe"))) return 0;
    EXPECT_TRUE(robot.WaitForExit(30000));  // the first instance only relaunches
    return WaitForAnyWindow(DIALOG_CLASS, kProduct);
  }

  // Presses button 1 in state Ready and waits for the run's end.
  bool RunRemoval(HWND dlg, const char* endText) {
    if (!Robot::Click(dlg, IDOK)) return false;
    return WaitUntil([&] { return Robot::ControlText(dlg, IDOK) == endText && Enabled(dlg, IDOK); }, 30000);
  }

  void ExpectReady(HWND dlg) {
    EXPECT_EQ(Robot::Text(dlg), kProduct);
    EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), std::string("正在准备卸载") + kProduct + "...");
    EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), "如果取消卸载，请按[取消]退出");
    EXPECT_EQ(Robot::ControlText(dlg, IDOK), kUninstall);
    EXPECT_EQ(Robot::ControlText(dlg, IDCANCEL), "取消");
    EXPECT_TRUE(Enabled(dlg, IDOK));
    EXPECT_FALSE(Visible(dlg, IDC_ANIMATION));  // animation
    EXPECT_FALSE(Visible(dlg, kList));
    EXPECT_TRUE(GetDlgItem(dlg, kList) != 0);
  }

  // What the run removes, whatever state it ends in; the values only when
  // the package's own references were kept.
  void ExpectRemoved(bool packageValues = true) {
    for (const char* f : {"app.exe", "readme.txt", "bin\\ctl.OCX", "bin\\keep.ocx.bak", "ridkit.exe", "setup.log"})
      EXPECT_FALSE(FileExists(Installed(f))) << f;
    EXPECT_FALSE(FileExists(systemDir + "\\uninstall-test\\one.dat"));
    EXPECT_FALSE(FileExists(systemDir + "\\uninstall-test\\two.dat"));
    for (const std::string& s : shortcuts) EXPECT_FALSE(FileExists(s)) << s;
    EXPECT_FALSE(FileExists(groupDir)) << "the program group with ridkit.lnk";
    EXPECT_TRUE(FileExists(Special(CSIDL_PROGRAMS)));
    for (const char* k : {".utt", "uttfile", ".ut2", "ut2file"}) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, k)) << k;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\UninstallTest"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\UninstallTest2"));
    EXPECT_NE(ValueExists(HKEY_CURRENT_USER, "Software\\UninstallTestValues", "one"), packageValues);
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, "Software\\UninstallTestValues", "two"));
    // Unregistered once: ctl.OCX, not the backup copy named .ocx.bak.
    EXPECT_EQ(ReadBytes(mark), "unregistered");
  }

  std::string pkg, windowsDir, systemDir, installDir, groupDir, mark, other, ridkitBytes;
  CInstallFolders folders;  // the three above, as the setup's run takes them
  std::string regKeys[2], regValues[2];
  std::vector<std::string> shortcuts;
  size_t created = 0;
  CSetupApp app;
  Robot robot;
};

TEST_F(UninstallTest, UserFileIsListedAndDeleteAllLeavesTheMachineAsBefore) {
  // A file of the copy's name in the temporary folder itself is neither used
  // nor touched: the copy gets a folder of its own.
  std::string stale = TempFolder() + "glb1a2b.exe";
  WriteBytes(stale, "stale");
  std::vector<std::string> foldersBefore = TemporaryCopyFolders();
  Snapshot before = TakeSnapshot();
  Install();
  std::string user = Installed("data\\笔记.txt");
  CreateDirectoryA(Installed("data").c_str(), 0);
  WriteBytes(user, "mine");
  SetFileAttributesA(user.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA(Installed("empty").c_str(), 0);

  std::string uninstaller = ReadBytes(Installed("ridkit.exe"));
  HWND dlg = StartUninstaller();
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  std::string copy = ProcessImageOf(dlg);
  std::string folder = copy.substr(0, copy.rfind('\\'));
  EXPECT_EQ(folder.substr(0, folder.rfind('\\') + 1), TempFolder()) << copy;
  EXPECT_EQ(copy, folder + "\\glb1a2b.exe");
  EXPECT_TRUE(std::find(foldersBefore.begin(), foldersBefore.end(), folder) == foldersBefore.end())
      << "a fresh folder";
  if (FileSystemKeepsAcls()) EXPECT_TRUE(OnlyUserAdministratorsAndSystem(folder));
  else std::printf("note: this prefix keeps no access lists; the copy's folder's list is not checked\n");
  EXPECT_TRUE(ReadBytes(copy) == uninstaller) << "the temporary copy is ridkit.exe as installed";
  EXPECT_EQ(ReadBytes(stale), "stale");
  // Scheduled for removal at the next restart: the copy, then its folder.
  std::vector<std::string> pending = PendingRemovals();
  auto copyAt = std::find(pending.begin(), pending.end(), copy);
  EXPECT_TRUE(copyAt != pending.end());
  EXPECT_TRUE(std::find(copyAt, pending.end(), folder) != pending.end());
  ExpectReady(dlg);
  ASSERT_TRUE(RunRemoval(dlg, kDeleteAll));
  EXPECT_EQ(ListTexts(dlg), std::vector<std::string>{user});
  EXPECT_TRUE(Visible(dlg, kList));
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), "以下文件未被删除...");
  EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), "");
  EXPECT_EQ(Robot::ControlText(dlg, IDCANCEL), "退出");
  DWORD_PTR pos = 0;
  SendMessageTimeoutA(GetDlgItem(dlg, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &pos);
  EXPECT_EQ(pos, 1000u);
  ExpectRemoved();
  EXPECT_TRUE(FileExists(user));

  Robot::PressKey(dlg, VK_RETURN);  // button 1 is the default: 全部删除
  EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_DONE));
  EXPECT_FALSE(FileExists(installDir));
  // The temporary copy stays until the next restart, then it goes with its
  // folder. The system folder keeps the empty folder that the package's
  // files were put in (the log names no folders), and the value that the
  // package did not name stays in its key.
  EXPECT_TRUE(ReadBytes(copy) == uninstaller);
  ASSERT_TRUE(RestartPrefix());
  EXPECT_FALSE(FileExists(copy));
  EXPECT_FALSE(FileExists(folder));
  EXPECT_EQ(ReadBytes(stale), "stale");
  DeleteFileA(stale.c_str());
  Snapshot after = TakeSnapshot();
  EXPECT_EQ(Difference(after, before),
            (std::vector<std::string>{"folder " + systemDir + "\\uninstall-test", "key HKCU\\Software\\UninstallTestValues",
                                      "value HKCU\\Software\\UninstallTestValues|two"}));
  EXPECT_EQ(Difference(before, after), std::vector<std::string>{});
}

TEST_F(UninstallTest, EmptyFoldersLeftEndFinishedAndOddLogLinesAreHandled) {
  // The log by hand: a file already gone, a read-only one, an extension line
  // longer than three characters; a value reference with one "|" and one
  // with its root name in small letters.
  regValues[0] = "HKEY_CURRENT_USER|UninstallTestValue";
  regValues[1] = "hkey_current_user|Software\\UninstallTestValues|two";
  SetValue(HKEY_CURRENT_USER, "", "UninstallTestValue");
  std::vector<std::string> lines = {"[FILELIST]", Installed("app.exe"), Installed("readme.txt"),
                                    Installed("gone.txt"), Installed("bin\\ctl.OCX"), Installed("bin\\keep.ocx.bak"),
                                    systemDir + "\\uninstall-test\\one.dat", systemDir + "\\uninstall-test\\two.dat",
                                    "", "[TYPELIST]", "uttx", "ut2", "", "[SHORTCUTLIST]"};
  Install(true, &lines);
  for (const std::string& s : shortcuts) lines.push_back(s);
  {
    CSetupLogWriter log;  // again, with the shortcuts
    ASSERT_TRUE(log.Create(Installed("setup.log").c_str()));
    for (const std::string& l : lines) log.WriteLine(l.c_str());
    ASSERT_TRUE(log.Close());
  }
  SetFileAttributesA(Installed("readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryA(Installed("empty").c_str(), 0);
  CreateDirectoryA(Installed("empty\\deeper").c_str(), 0);

  HWND dlg = StartUninstaller();
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  RECT before;
  GetWindowRect(GetDlgItem(dlg, IDOK), &before);
  ASSERT_TRUE(RunRemoval(dlg, kDone));
  RECT after;
  GetWindowRect(GetDlgItem(dlg, IDOK), &after);
  EXPECT_EQ(after.left - before.left, 60);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_FALSE(Visible(dlg, IDCANCEL));
  EXPECT_FALSE(Visible(dlg, kList));
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), "卸载完成,请单击 [完成] 退出.");
  EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), "");
  ExpectRemoved(false);
  EXPECT_FALSE(FileExists(installDir));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, "", "UninstallTestValue"));

  Robot::PressKey(dlg, VK_ESCAPE);  // closes as 完成 does
  EXPECT_TRUE(process.Ended(30000));
}

TEST_F(UninstallTest, LogThatCannotBeOpenedKeepsEverythingUntilItIsBack) {
  Install();
  HWND dlg = StartUninstaller();
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  std::string log = ReadBytes(Installed("setup.log"));
  ASSERT_TRUE(DeleteFileA(Installed("setup.log").c_str()));
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  HWND box = WaitForAnyWindow(DIALOG_CLASS, "glb1a2b");
  ASSERT_TRUE(box);
  EXPECT_EQ(Robot::ControlText(box, MSGBOX_TEXT_ID), "打开 setup.log 失败!");
  Robot::Click(box, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return Enabled(dlg, IDOK); }, 10000));
  EXPECT_EQ(Robot::ControlText(dlg, IDOK), kUninstall);
  EXPECT_TRUE(Visible(dlg, IDC_ANIMATION));  // the animation stays visible, stopped
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), std::string("正在准备卸载") + kProduct + "...");
  EXPECT_TRUE(FileExists(Installed("app.exe")));
  EXPECT_TRUE(FileExists(Installed("ridkit.exe")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\UninstallTest"));

  // Once the log is back, the same button runs the removal.
  WriteBytes(Installed("setup.log"), log);
  ASSERT_TRUE(RunRemoval(dlg, kDone));
  ExpectRemoved();
  Robot::Click(dlg, IDOK);
  EXPECT_TRUE(process.Ended(30000));
}

// The open-file dialog of the temporary copy when the log is not where it
// was told: fills in a name and confirms, or cancels.
HWND WaitForOpenDialog() {
  HWND w = 0;
  WaitUntil(
      [&] {
        w = FindAnyWindow(DIALOG_CLASS, 0);
        return w && Robot::Text(w) != kProduct;
      },
      30000);
  return w;
}

bool ChooseFile(HWND box, const std::string& path) {
  HWND name = GetDlgItem(box, 0x47C);  // the file name box (a combo box)
  if (!name) name = GetDlgItem(box, 0x480);
  if (!name) return false;
  DWORD_PTR r = 0;
  SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, &r);
  return Robot::Click(box, IDOK);
}

TEST_F(UninstallTest, MissingLogAsksForIt) {
  Install(false);
  // Cancelled: the program ends without a word.
  ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
  ASSERT_TRUE(robot.WaitForExit(30000));
  HWND box = WaitForOpenDialog();
  ASSERT_TRUE(box);
  {
    WindowProcess process(box);
    Robot::Click(box, IDCANCEL);
    EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_CANCELLED));
  }
  EXPECT_FALSE(FindAnyWindow(DIALOG_CLASS, kProduct));

  // A file of another name: the same.
  other = Special(CSIDL_PROGRAM_FILES) + "\\卸载 其他";
  CreateDirectoryA(other.c_str(), 0);
  WriteBytes(other + "\\notes.txt", "x");
  ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
  ASSERT_TRUE(robot.WaitForExit(30000));
  box = WaitForOpenDialog();
  ASSERT_TRUE(box);
  {
    WindowProcess process(box);
    ASSERT_TRUE(ChooseFile(box, other + "\\notes.txt"));
    EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_CANCELLED));
  }
  EXPECT_FALSE(FindAnyWindow(DIALOG_CLASS, kProduct));

  // SETUP.LOG in capitals, in another folder: accepted, and that folder is the
  // installation folder the run works on.
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create((other + "\\SETUP.LOG").c_str()));
  for (const char* l : {"[FILELIST]", "", "[TYPELIST]", "", "[SHORTCUTLIST]"}) log.WriteLine(l);
  ASSERT_TRUE(log.Close());
  ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
  ASSERT_TRUE(robot.WaitForExit(30000));
  box = WaitForOpenDialog();
  ASSERT_TRUE(box);
  ASSERT_TRUE(ChooseFile(box, other + "\\SETUP.LOG"));
  HWND dlg = WaitForAnyWindow(DIALOG_CLASS, kProduct);
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  ASSERT_TRUE(RunRemoval(dlg, kDeleteAll));
  EXPECT_EQ(ListTexts(dlg), std::vector<std::string>{other + "\\notes.txt"});
  EXPECT_FALSE(FileExists(other + "\\SETUP.LOG"));
  EXPECT_TRUE(FileExists(Installed("app.exe")));  // not in that log
  Robot::Click(dlg, IDCANCEL);  // 退出
  EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_FILES_LEFT));
  EXPECT_TRUE(FileExists(other + "\\notes.txt"));
}

TEST_F(UninstallTest, DllsPlantedBesideTheUninstallerAndInTheTemporaryFolderAreNeverLoaded) {
  // No log: the copy asks for it with the common file dialog, then shows its
  // own dialog with the common controls.
  Install(false);
  std::string temp = TempFolder();
  ASSERT_TRUE(PlantDlls(installDir));
  ASSERT_TRUE(PlantDlls(temp));
  {
    PreferPlantedDlls prefer({"ridkit.exe", "glb1a2b.exe"});
    ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
    DWORD code = 1;
    ASSERT_TRUE(robot.WaitForExit(30000, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXIT_DONE)) << "the copy was made and started";
    // A copy that loaded a planted DLL may never show a window: the markers
    // below tell.
    HWND box = WaitForOpenDialog();
    EXPECT_TRUE(box);
    if (box) {
      CSetupLogWriter log;
      ASSERT_TRUE(log.Create(Installed("setup.log").c_str()));
      for (const char* l : {"[FILELIST]", "", "[TYPELIST]", "", "[SHORTCUTLIST]"}) log.WriteLine(l);
      ASSERT_TRUE(log.Close());
      ASSERT_TRUE(ChooseFile(box, Installed("setup.log")));
      HWND dlg = WaitForAnyWindow(DIALOG_CLASS, kProduct);
      ASSERT_TRUE(dlg);
      WindowProcess process(dlg);
      Robot::Click(dlg, IDCANCEL);
      EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_CANCELLED));
    }
  }
  EXPECT_EQ(LoadedPlants(installDir), std::vector<std::string>{});
  EXPECT_EQ(LoadedPlants(temp), std::vector<std::string>{});
  RemovePlants(installDir);
  RemovePlants(temp);
}

TEST_F(UninstallTest, RefusedRemovalEndsWithItsCode) {
  Install(false);
  // A log in Program Files itself: the run lists what Program Files holds,
  // and "全部删除" refuses the folder.
  std::string programFiles = Special(CSIDL_PROGRAM_FILES);
  std::string log = programFiles + "\\SETUP.LOG";
  {
    CSetupLogWriter writer;
    ASSERT_TRUE(writer.Create(log.c_str()));
    for (const char* l : {"[FILELIST]", "", "[TYPELIST]", "", "[SHORTCUTLIST]"}) writer.WriteLine(l);
    ASSERT_TRUE(writer.Close());
  }
  ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
  ASSERT_TRUE(robot.WaitForExit(30000));
  HWND box = WaitForOpenDialog();
  ASSERT_TRUE(box);
  ASSERT_TRUE(ChooseFile(box, log));
  HWND dlg = WaitForAnyWindow(DIALOG_CLASS, kProduct);
  ASSERT_TRUE(dlg);
  WindowProcess process(dlg);
  ASSERT_TRUE(RunRemoval(dlg, kDeleteAll));
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  HWND refused = WaitForAnyWindow(DIALOG_CLASS, "glb1a2b");
  ASSERT_TRUE(refused);
  EXPECT_EQ(Robot::ControlText(refused, MSGBOX_TEXT_ID).find("不能删除文件夹"), 0u);
  Robot::Click(refused, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return !FindAnyWindow(DIALOG_CLASS, "glb1a2b"); }, 10000));
  ASSERT_TRUE(WaitUntil([&] { return Enabled(dlg, IDCANCEL); }, 10000));  // "全部删除" has ended
  Robot::Click(dlg, IDCANCEL);  // 退出
  EXPECT_EQ(process.ExitCode(), static_cast<DWORD>(EXIT_REMOVAL_REFUSED));
  EXPECT_TRUE(FileExists(programFiles));
  DeleteFileA(log.c_str());
}

TEST_F(UninstallTest, WithoutItsAppendedDataTheUninstallerOnlySaysSo) {
  std::vector<std::string> foldersBefore = TemporaryCopyFolders();
  CreateDirectoryA(installDir.c_str(), 0);
  WriteBytes(Installed("ridkit.exe"), ReadBytes(WinePath(RIDKIT_EXE)));
  ASSERT_TRUE(robot.Start(Installed("ridkit.exe")));
  HWND box = robot.WaitForWindow(DIALOG_CLASS, 0, 30000);
  ASSERT_TRUE(box);
  EXPECT_EQ(Robot::Text(box), "ridkit");
  EXPECT_EQ(Robot::ControlText(box, MSGBOX_TEXT_ID), "初始化数据失败!");
  Robot::Click(box, IDOK);
  DWORD code = 0;
  EXPECT_TRUE(robot.WaitForExit(30000, &code));
  EXPECT_EQ(code, static_cast<DWORD>(EXIT_DAMAGED_PACKAGE));
  EXPECT_EQ(TemporaryCopyFolders(), foldersBefore) << "no temporary copy is made";
}

}  // namespace
