// Real products under Wine. The vendor's suite (three of Wine's own programs,
// the whole LGPL 2.1, three file types that Wine's own registry already
// knows or not): its licence read whole, scrolled to its end, selected and
// copied by the keyboard; every type opening its program; the removal
// leaving the machine as it was. And 64 file types with their names and
// icons, 64 registry keys and 64 values: written, then taken back.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "robot.h"
#include "snapshot.h"
#include "tests/fileutil.h"
#include "wizard.h"

#if !defined(SUITE_PACKAGE) || !defined(TYPES_PACKAGE) || !defined(SUITE_FILES)
#error SUITE_PACKAGE, TYPES_PACKAGE and SUITE_FILES name the inputs of this test
#endif

namespace {

// A program run with a command line, waited for; its exit code (or a value
// past any: it did not end in time).
DWORD RunProgram(const std::string& commandLine, DWORD timeoutMs = 120000) {
  STARTUPINFOA si = {sizeof si};
  PROCESS_INFORMATION pi;
  std::string line = commandLine;
  if (!CreateProcessA(0, &line[0], 0, 0, FALSE, 0, 0, 0, &si, &pi)) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else TerminateProcess(pi.hProcess, 0xDEAD);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

// A key pressed with Ctrl held, through the input queue (the edit reads the
// Ctrl key's state, which posted messages do not set).
void CtrlKey(WORD vk) {
  INPUT in[4] = {};
  WORD keys[4] = {VK_CONTROL, vk, vk, VK_CONTROL};
  for (int i = 0; i < 4; i++) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = keys[i];
    in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
  }
  SendInput(4, in, sizeof in[0]);
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(0)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* w = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = Narrow936(w);
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

LRESULT Ask(HWND w, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

// The licence as the page should hold it: the file's text with CR LF line
// breaks and no line breaks or blanks at its end.
std::string LicenceText() {
  std::string raw = ReadBytes(WinePath(SUITE_FILES) + "\\LGPL-2.1"), text;
  for (char c : raw) {
    if (c == '\r') continue;
    if (c == '\n') text += '\r';
    text += c;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string ProcessImage(HANDLE process) {
  char path[MAX_PATH + 1] = {0};
  DWORD n = MAX_PATH;
  return QueryFullProcessImageNameA(process, 0, path, &n) ? std::string(path, n) : std::string();
}

class ProductTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(0);
    // Shortcuts saved in the Start menu would start Wine's menu builder, which
    // writes menu entries into the host's home folder, outside the prefix.
    SetValue(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  std::vector<RegSnapshot> Snapshots(const std::vector<std::pair<HKEY, std::string>>& keys) {
    std::vector<RegSnapshot> s;
    for (const auto& k : keys) s.push_back(SnapshotKey(k.first, k.second));
    return s;
  }
  void ExpectSame(const std::vector<std::pair<HKEY, std::string>>& keys, const std::vector<RegSnapshot>& before,
                  const std::vector<RegSnapshot>& after) {
    for (size_t i = 0; i < keys.size(); i++) {
      EXPECT_EQ(after[i].exists, before[i].exists) << keys[i].second;
      EXPECT_EQ(Diff(before[i], after[i]), std::vector<std::string>{}) << keys[i].second;
    }
  }
};

const char kSuite[] = "附件套件";
const char kSuiteEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2E.Suite";

TEST_F(ProductTest, VendorSuiteWithItsWholeLicenceAndThreeTypesRemovesCleanly) {
  std::string pkg = WinePath(SUITE_PACKAGE);
  ASSERT_TRUE(FileExists(pkg)) << "no package at " << SUITE_PACKAGE << " (see e2e_suite_package)";
  std::string parent = "C:\\套件e2e", install = parent + "\\" + kSuite + "\\";
  std::string group = SpecialFolder(CSIDL_PROGRAMS) + kSuite;
  const char* exts[] = {"rtf", "wri", "txt"};
  const char* programs[] = {"wordpad.exe", "wordpad.exe", "notepad.exe"};
  std::vector<std::pair<HKEY, std::string>> keys = {{HKEY_LOCAL_MACHINE, kSuiteEntry}};
  for (const char* e : exts) {
    keys.push_back({HKEY_CLASSES_ROOT, std::string(".") + e});
    keys.push_back({HKEY_CLASSES_ROOT, std::string(kSuite) + "." + e});
    keys.push_back({HKEY_CLASSES_ROOT, std::string(e) + "file"});
  }
  RemoveTree(parent);
  RemoveTree(group);
  CreateDirectoryA(parent.c_str(), 0);
  std::vector<RegSnapshot> before = Snapshots(keys);
  FolderSnapshot menuBefore = SnapshotFolder(SpecialFolder(CSIDL_PROGRAMS));

  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    ASSERT_TRUE(wiz.WaitForSheet(kSuite));
    ASSERT_TRUE(wiz.WaitForPage(IDC_WELCOME_LINE1));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_AGREE));
    HWND page = wiz.CurrentPage();
    HWND edit = GetDlgItem(page, IDC_LICENCE);
    ASSERT_TRUE(edit);
    // The whole licence, read-only, with a vertical scroll bar, at its top.
    LONG style = GetWindowLongA(edit, GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & ES_READONLY);
    std::string licence = LicenceText();
    EXPECT_GT(licence.size(), 25000u);
    EXPECT_TRUE(Robot::Text(edit) == licence) << Robot::Text(edit).size() << " bytes of " << licence.size();
    EXPECT_EQ(Ask(edit, EM_GETFIRSTVISIBLELINE), 0);
    // "我同意" keeps its rule.
    EXPECT_FALSE(wiz.ButtonEnabled(ID_WIZNEXT));

    // Read to its end: the last line comes into view.
    LRESULT lines = Ask(edit, EM_GETLINECOUNT);
    ASSERT_GT(lines, 100);
    Ask(edit, WM_VSCROLL, SB_BOTTOM);
    RECT r;
    GetClientRect(edit, &r);
    LRESULT lastTop = Ask(edit, EM_POSFROMCHAR, Ask(edit, EM_LINEINDEX, lines - 1));
    EXPECT_GT(Ask(edit, EM_GETFIRSTVISIBLELINE), 0);
    EXPECT_GE(static_cast<short>(HIWORD(lastTop)), 0);
    EXPECT_LT(static_cast<short>(HIWORD(lastTop)), r.bottom) << "the last line is not in view";

    // Ctrl+A selects it all, Ctrl+C copies it.
    SetForegroundWindow(wiz.Sheet());
    PostMessageA(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    ASSERT_TRUE(WaitFor([&] {
      GUITHREADINFO info = {sizeof info};
      return GetGUIThreadInfo(GetWindowThreadProcessId(edit, 0), &info) && info.hwndFocus == edit;
    }, 10000));
    Ask(edit, EM_SETSEL, 0, 0);
    CtrlKey('A');
    DWORD selStart = 1, selEnd = 0;
    EXPECT_TRUE(WaitFor([&] {
      Ask(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
      return selStart == 0 && selEnd == static_cast<DWORD>(Ask(edit, WM_GETTEXTLENGTH));
    }, 10000)) << selStart << ".." << selEnd;
    if (OpenClipboard(0)) {
      EmptyClipboard();
      CloseClipboard();
    }
    CtrlKey('C');
    EXPECT_TRUE(WaitFor([&] { return ClipboardText() == licence; }, 10000)) << ClipboardText().size();
    EXPECT_TRUE(Robot::Text(edit) == licence) << "the text is as it was";

    ASSERT_TRUE(Robot::Click(page, IDC_AGREE));
    ASSERT_TRUE(wiz.WaitButtonEnabled(ID_WIZNEXT, true));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_FOLDER));
    ASSERT_TRUE(wiz.SetText(IDC_FOLDER, install));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1));
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    ASSERT_TRUE(wiz.WaitForExit(30000));
    EXPECT_TRUE(wiz.popups.empty()) << wiz.popups[0].text;
  }

  // The programs in place, byte for byte; each type opens its program.
  for (const char* p : {"wordpad.exe", "notepad.exe", "winemine.exe"})
    EXPECT_TRUE(ReadBytes(install + p) == ReadBytes(WinePath(SUITE_FILES) + "\\" + p)) << p;
  for (int i = 0; i < 3; i++) {
    SCOPED_TRACE(exts[i]);
    std::string cls = std::string(kSuite) + "." + exts[i];
    RegSnapshot dot = SnapshotKey(HKEY_CLASSES_ROOT, std::string(".") + exts[i]);
    RegSnapshot type = SnapshotKey(HKEY_CLASSES_ROOT, cls);
    EXPECT_EQ(SzValue(dot, ""), cls);
    EXPECT_EQ(SzValue(type, "shell\\open\\command"), "\"" + install + programs[i] + "\" \"%1\"");
    EXPECT_EQ(SzValue(type, "DefaultIcon"), install + programs[i] + ",0");
    std::string doc = parent + "\\文档." + exts[i];
    WriteBytes(doc, "{\\rtf1 text}");
    SHELLEXECUTEINFOA run = {sizeof run};
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpFile = doc.c_str();
    run.nShow = SW_SHOWMINNOACTIVE;
    ASSERT_TRUE(ShellExecuteExA(&run));
    ASSERT_TRUE(run.hProcess);
    EXPECT_EQ(ProcessImage(run.hProcess), install + programs[i]);
    TerminateProcess(run.hProcess, 0);
    WaitForSingleObject(run.hProcess, 10000);
    CloseHandle(run.hProcess);
    RemoveTree(doc);
  }
  std::string log = ReadBytes(install + "setup.log");
  EXPECT_NE(log.find("\r\r\n\r\r\n[TYPELIST2]\r\r\nrtf|"), std::string::npos) << log;

  // The removal, unattended; then the machine as before.
  EXPECT_EQ(RunProgram("\"" + install + "ridkit.exe\" /S"), 0u);
  ExpectSame(keys, before, Snapshots(keys));
  FolderSnapshot parentAfter = SnapshotFolder(parent);
  EXPECT_TRUE(parentAfter.entries.empty()) << parentAfter.entries.begin()->first;
  EXPECT_EQ(Diff(menuBefore, SnapshotFolder(SpecialFolder(CSIDL_PROGRAMS))), std::vector<std::string>{});
  RemoveTree(parent);
}

// 64 types of 15 characters, with their names and icons, two of them known
// before (one naming another program's type, one without a value); the
// program then writes the 64 keys and 64 values the package names.
TEST_F(ProductTest, SixtyFourTypesKeysAndValuesComeAndGo) {
  std::string pkg = WinePath(TYPES_PACKAGE);
  ASSERT_TRUE(FileExists(pkg)) << "no package at " << TYPES_PACKAGE << " (see e2e_types_package)";
  std::string parent = "C:\\类型e2e", install = parent + "\\App\\";
  std::vector<std::pair<HKEY, std::string>> keys = {{HKEY_CURRENT_USER, "Software\\E2EList"},
                                                    {HKEY_CURRENT_USER, "Software\\E2EListValues"}};
  std::vector<std::string> ext;
  for (int i = 1; i <= 64; i++) {
    char n[8];
    snprintf(n, sizeof n, "%04d", i);
    ext.push_back(std::string("e2elisttype") + n);
    keys.push_back({HKEY_CLASSES_ROOT, "." + ext.back()});
    keys.push_back({HKEY_CLASSES_ROOT, "类型测试." + ext.back()});
  }
  RemoveTree(parent);
  for (const auto& k : keys) RemoveKeyTree(k.first, k.second);
  CreateDirectoryA(parent.c_str(), 0);
  SetValue(HKEY_CLASSES_ROOT, "." + ext[0], "", "Other.Type");
  HKEY h;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ("." + ext[1]).c_str(), &h), ERROR_SUCCESS);
  RegCloseKey(h);
  SetValue(HKEY_CURRENT_USER, "Software\\E2EListValues", "其他", "留下");
  std::vector<RegSnapshot> before = Snapshots(keys);

  std::string account = parent + "\\setup-run.log";
  EXPECT_EQ(RunProgram("\"" + pkg + "\" /S /LOG=" + account + " /D=" + install.substr(0, install.size() - 1)), 0u);
  // Each one in the unattended run's account too.
  std::string run = ReadBytes(account);
  size_t said = 0;
  for (size_t at = 0; (at = run.find(".e2elisttype", at)) != std::string::npos; at++) said++;
  EXPECT_EQ(said, 64u) << run;
  RemoveTree(account);
  for (int i = 0; i < 64; i++) {
    SCOPED_TRACE(ext[i]);
    std::string cls = "类型测试." + ext[i];
    RegSnapshot type = SnapshotKey(HKEY_CLASSES_ROOT, cls);
    EXPECT_EQ(SzValue(SnapshotKey(HKEY_CLASSES_ROOT, "." + ext[i]), ""), cls);
    EXPECT_EQ(SzValue(type, ""), "测试类型 " + ext[i].substr(11));
    EXPECT_EQ(SzValue(type, "DefaultIcon"), install + "bin\\测试.exe," + std::to_string((i + 1) % 3));
    EXPECT_EQ(SzValue(type, "shell\\open\\command"), "\"" + install + "bin\\测试.exe\" \"%1\"");
  }
  std::string log = ReadBytes(install + "setup.log");
  EXPECT_NE(log.find("[TYPELIST2]\r\r\n" + ext[0] + "|was|Other.Type\r\r\n" + ext[1] + "|none\r\r\n" + ext[2] +
                     "|made\r\r\n"),
            std::string::npos)
      << log;
  // What the installed program writes while in use.
  for (int i = 1; i <= 64; i++) {
    char n[8];
    snprintf(n, sizeof n, "%04d", i);
    SetValue(HKEY_CURRENT_USER, std::string("Software\\E2EList\\键") + n + "\\子键", "x", "y");
    SetValue(HKEY_CURRENT_USER, "Software\\E2EListValues", std::string("值") + n, n);
  }

  EXPECT_EQ(RunProgram("\"" + install + "ridkit.exe\" /S"), 0u);
  // Each key went whole; the parent the program made for them stays, as a
  // key the package does not name.
  RegSnapshot list = SnapshotKey(HKEY_CURRENT_USER, "Software\\E2EList");
  EXPECT_TRUE(list.exists);
  EXPECT_EQ(list.keys.size(), 1u);
  RemoveKeyTree(HKEY_CURRENT_USER, "Software\\E2EList");
  std::vector<RegSnapshot> after = Snapshots(keys);
  ExpectSame(keys, before, after);
  EXPECT_EQ(SzValue(after[1], "", "其他"), "留下");
  EXPECT_FALSE(FileExists(install + "setup.log"));
  for (const auto& k : keys) RemoveKeyTree(k.first, k.second);
  RemoveTree(parent);
}

}  // namespace
