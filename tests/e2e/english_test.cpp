// The English package (examples/english, ui.language = "en") under Wine with
// code page 1252, as an English Windows runs it: the wizard from its first
// page to its last with a cancel confirmation and a refused folder on the
// way, a damaged package, the list of switches and the accounts of the
// unattended runs, and the uninstaller with a file left and "Delete All".
// Every text a window of the setup or the uninstaller shows is read in
// UTF-16 and holds no CJK character; the texts the programs say themselves
// are those of their English tables. The removal leaves nothing.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/package.h"
#include "robot.h"
#include "setup/core/texts.h"
#include "snapshot.h"
#include "tests/fileutil.h"
#include "uninstall/core/texts.h"
#include "uninstall/resource.h"
#include "wizard.h"

#ifndef ENGLISH_PACKAGE
#error ENGLISH_PACKAGE names the package of this test
#endif

namespace {

const char kProduct[] = "Demo App";

// The English tables, whatever language this process chose.
const char* En(SetupTextId id) { return SetupLanguages().Find("en")->Texts[id]; }
const char* En(UninstallTextId id) { return UninstallLanguages().Find("en")->Texts[id]; }

std::wstring WideText(HWND w) {
  WCHAR text[4096] = {0};
  DWORD_PTR r = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &r);
  text[4095] = 0;
  return text;
}

std::string Utf8(const std::wstring& w) {
  char out[16384] = {0};
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out, sizeof out, 0, 0);
  return out;
}

// CJK ideographs, their punctuation, kana, compatibility forms and the
// full-width forms.
bool HasCjk(const std::wstring& text) {
  for (wchar_t c : text)
    if ((c >= 0x2E80 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF))
      return true;
  return false;
}

BOOL CALLBACK AddText(HWND w, LPARAM lp) {
  auto* texts = reinterpret_cast<std::vector<std::wstring>*>(lp);
  if (!IsWindowVisible(w)) return TRUE;
  texts->push_back(WideText(w));
  WCHAR cls[32] = {0};
  GetClassNameW(w, cls, 32);
  if (lstrcmpiW(cls, L"ListBox") == 0) {
    DWORD_PTR n = 0;
    SendMessageTimeoutW(w, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &n);
    for (DWORD_PTR i = 0; i < n; i++) {
      WCHAR item[1024] = {0};
      DWORD_PTR r = 0;
      SendMessageTimeoutW(w, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG, 5000, &r);
      texts->push_back(item);
    }
  }
  return TRUE;
}

// Every text of a window (its caption, its visible controls, the lines of a
// list) is free of CJK characters; how many texts that were.
size_t ExpectEnglish(HWND top, const std::string& where) {
  std::vector<std::wstring> texts = {WideText(top)};
  EnumChildWindows(top, AddText, reinterpret_cast<LPARAM>(&texts));
  for (const std::wstring& t : texts) EXPECT_FALSE(HasCjk(t)) << where << ": " << Utf8(t);
  return texts.size();
}

std::string ReadLog(const std::string& path) {
  std::string bytes = ReadBytes(path);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes = bytes.substr(3);  // UTF-8 with its mark
  return bytes;
}

void ExpectEnglishLog(const std::string& log, const std::string& where) {
  WCHAR wide[16384] = {0};
  MultiByteToWideChar(CP_UTF8, 0, log.c_str(), -1, wide, 16384);
  EXPECT_FALSE(HasCjk(wide)) << where << ":\n" << log;
}

class EnglishTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The tests run in a prefix of code page 1252, an English system.
    ASSERT_EQ(GetACP(), 1252u);
    // Shortcuts saved in the Start menu would start Wine's menu builder.
    HKEY k;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, 0, 0, KEY_ALL_ACCESS, 0, &k, 0) ==
        ERROR_SUCCESS) {
      RegSetValueExA(k, "winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
      RegCloseKey(k);
    }
  }
  void SetUp() override {
    pkg = WinePath(ENGLISH_PACKAGE);
    if (!FileExists(pkg)) GTEST_FAIL() << "no package at " << ENGLISH_PACKAGE << " (build the host preset first)";
    parent = "C:\\english-e2e";
    install = parent + "\\" + kProduct + "\\";
    group = SpecialFolder(CSIDL_PROGRAMS) + kProduct;
    Clean();
    CreateDirectoryA(parent.c_str(), 0);
  }
  void TearDown() override { Clean(); }
  void Clean() {
    RemoveTree(parent);
    RemoveTree(group);
    RemoveTree(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "Demo App.lnk");
    RemoveTree(SpecialFolder(CSIDL_STARTMENU) + "Demo App.lnk");
    for (const char* key : {".dmx", "dmxfile"}) RemoveKeyTree(HKEY_CLASSES_ROOT, key);
    RemoveKeyTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DemoVendor.DemoApp");
  }
  // Nothing of the installation left.
  void ExpectRemoved() {
    EXPECT_FALSE(FileExists(install));
    EXPECT_FALSE(FileExists(group));
    EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "Demo App.lnk"));
    EXPECT_FALSE(SnapshotKey(HKEY_CLASSES_ROOT, ".dmx").exists);
    EXPECT_FALSE(SnapshotKey(HKEY_CLASSES_ROOT, "dmxfile").exists);
  }

  std::string pkg, parent, install, group;
};

// The uninstaller's dialog, found by its caption (it is the temporary
// copy's, not a child of the robot), and the process behind it.
HWND UninstallDialog(const std::string& installDir) {
  Robot first;
  if (!first.Start(installDir + UNINSTALLER_NAME)) return 0;
  HWND dlg = WaitForTopWindow(DIALOG_CLASS, kProduct, 30000);
  first.WaitForExit(30000);
  return dlg;
}

TEST_F(EnglishTest, WizardToTheEndThenRemovalWithAFileLeft) {
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg));
    Wizard wiz(robot);
    ASSERT_TRUE(wiz.WaitForSheet(kProduct, 60000));
    ASSERT_TRUE(wiz.WaitForPage(IDC_WELCOME_LINE1));
    EXPECT_GT(ExpectEnglish(wiz.Sheet(), "welcome page"), 8u);
    // Cancel asks, in English; "Continue" goes on.
    Robot::CloseBox(wiz.Sheet());
    HWND confirm = wiz.WaitConfirmation();
    ASSERT_TRUE(confirm);
    ExpectEnglish(confirm, "cancel confirmation");
    EXPECT_EQ(Robot::ControlText(confirm, IDC_CANCEL_MESSAGE), En(kTextQuitNotStarted));
    EXPECT_EQ(Robot::ControlText(confirm, IDOK), En(kTextContinue));
    EXPECT_EQ(Robot::ControlText(confirm, IDCANCEL), En(kTextQuit));
    ASSERT_TRUE(Robot::Click(confirm, IDOK));
    ASSERT_TRUE(wiz.NextTo(1));
    EXPECT_EQ(wiz.PageText(IDC_AGREE), En(kTextAgree));
    EXPECT_EQ(wiz.PageText(IDC_DISAGREE), En(kTextDisagree));
    ASSERT_TRUE(Robot::Click(wiz.CurrentPage(), IDC_AGREE));
    ExpectEnglish(wiz.Sheet(), "licence page");
    ASSERT_TRUE(wiz.NextTo(2));
    EXPECT_EQ(wiz.ButtonText(ID_WIZNEXT), En(kTextInstall));
    EXPECT_EQ(wiz.PageText(IDC_BROWSE), En(kTextBrowse));
    ExpectEnglish(wiz.Sheet(), "folder page");

    // A folder on a drive that is not there is refused, in English.
    ASSERT_TRUE(wiz.SetText(IDC_FOLDER, "Q:\\Demo App"));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    Popup refusal;
    HWND box = 0;
    ASSERT_TRUE(wiz.WaitForPopup(refusal, box, 30000, Wizard::kPopupMessage));
    ExpectEnglish(box, "refused folder");
    EXPECT_EQ(refusal.text, En(kTextBadDrive));
    EXPECT_TRUE(wiz.Answer(Wizard::kPopupMessage, refusal.text, IDOK));
    EXPECT_EQ(wiz.PageIndex(), 2);

    ASSERT_TRUE(wiz.SetText(IDC_FOLDER, install));
    ASSERT_TRUE(wiz.Press(ID_WIZNEXT));
    ASSERT_TRUE(wiz.WaitForPage(IDC_COPY_STATUS));
    ExpectEnglish(wiz.Sheet(), "copy page");
    ASSERT_TRUE(wiz.WaitForPage(IDC_FINISH_LINE1, 120000));
    EXPECT_EQ(wiz.PageText(IDC_FINISH_DESKTOP), En(kTextFinishDesktop));
    ExpectEnglish(wiz.Sheet(), "finish page");
    ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_DESKTOP, true));
    ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_README, false));
    ASSERT_TRUE(wiz.SetCheck(IDC_FINISH_RUN, false));
    ASSERT_TRUE(wiz.Press(ID_WIZFINISH));
    DWORD code = 1;
    ASSERT_TRUE(wiz.WaitForExit(60000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(wiz.popups.size() == 1) << "only the refusal";
  }
  ASSERT_TRUE(FileExists(install + "Demo App.exe"));
  ASSERT_TRUE(FileExists(group + "\\ridkit.lnk"));
  // A file of the user's in the installation folder stays after the run.
  ASSERT_TRUE(WriteBytes(install + "notes.txt", "mine"));

  HWND dlg = UninstallDialog(install);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(Robot::ControlText(dlg, IDOK), En(kTextUninstallButton));
  EXPECT_EQ(Robot::ControlText(dlg, IDC_STATUS), En(kTextReadyStatus));
  ExpectEnglish(dlg, "uninstall dialog, Ready");
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  DWORD start = GetTickCount();
  std::string button;
  while (!(Robot::Enabled(dlg, IDOK) && ((button = Robot::ControlText(dlg, IDOK)) == En(kTextDone) ||
                                         button == En(kTextDeleteAll)))) {
    ASSERT_LT(GetTickCount() - start, 60000u) << "the removal did not end";
    Sleep(50);
  }
  EXPECT_EQ(button, En(kTextDeleteAll));
  EXPECT_EQ(Robot::ControlText(dlg, IDC_HEADLINE), En(kTextFilesLeft));
  EXPECT_EQ(Robot::ControlText(dlg, IDCANCEL), En(kTextExitButton));
  EXPECT_GE(ExpectEnglish(dlg, "uninstall dialog, Files left"), 7u);
  EXPECT_TRUE(FileExists(install + "notes.txt"));
  // "Delete All" takes the folder and closes the dialog.
  ASSERT_TRUE(Robot::Click(dlg, IDOK));
  start = GetTickCount();
  while (IsWindow(dlg) && IsWindowVisible(dlg) && GetTickCount() - start < 30000) Sleep(50);
  EXPECT_FALSE(IsWindow(dlg) && IsWindowVisible(dlg));
  ExpectRemoved();
}

// A package whose payload does not match its checksum: the copy page says
// so in English, nothing is installed and the setup ends with code 2.
TEST_F(EnglishTest, DamagedPackageSaysSoInEnglish) {
  CPackage package;
  ASSERT_EQ(package.Open(pkg.c_str()), kPackageOpened);
  const FileEntry& first = package.FileList.Head->Entry;
  std::string bytes = ReadBytes(pkg);
  bytes[static_cast<size_t>(first.Offset + first.Length / 2)] ^= 0x20;
  std::string damaged = parent + "\\damaged-setup.exe";
  ASSERT_TRUE(WriteBytes(damaged, bytes));

  Robot robot;
  ASSERT_TRUE(robot.Start(damaged));
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  ASSERT_TRUE(wiz.ToCopyPage(kProduct, install));
  DWORD code = 0;
  ASSERT_TRUE(wiz.WaitForExit(60000, &code));
  EXPECT_EQ(code, 2u);
  ASSERT_EQ(wiz.popups.size(), 1u);
  EXPECT_EQ(wiz.popups[0].text, En(kTextPackageDamaged));
  EXPECT_FALSE(HasCjk(Wide936(wiz.popups[0].caption)));
  EXPECT_FALSE(FileExists(install));
}

// The list of switches, and the accounts of the unattended installation and
// removal, in English.
TEST_F(EnglishTest, SwitchesAndUnattendedAccountsInEnglish) {
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg, "/?"));
    HWND box = robot.WaitForWindow(DIALOG_CLASS, 0, 60000);
    ASSERT_TRUE(box);
    ExpectEnglish(box, "the list of switches");
    EXPECT_EQ(Robot::Text(box), En(kTextUsageCaption));
    EXPECT_EQ(Robot::ControlText(box, MSGBOX_TEXT_ID), En(kTextUsage));
    ASSERT_TRUE(Robot::Click(box, IDOK) || Robot::Click(box, IDCANCEL));
    DWORD code = 0;
    ASSERT_TRUE(robot.WaitForExit(30000, &code));
    EXPECT_EQ(code, 1u);
  }
  std::string setupLog = parent + "\\setup-account.txt", removalLog = parent + "\\removal-account.txt";
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(pkg, "/S /LOG=" + setupLog + " /D=" + install));
    DWORD code = 1;
    ASSERT_TRUE(robot.WaitForExit(120000, &code));
    EXPECT_EQ(code, 0u);
  }
  std::string account = ReadLog(setupLog);
  ExpectEnglishLog(account, "the setup's account");
  CString line;
  line.Format(En(kTextRunStart), kProduct);
  EXPECT_NE(account.find(line.c_str()), std::string::npos) << account;
  line.Format(En(kTextRunExitCode), 0);
  EXPECT_NE(account.find(line.c_str()), std::string::npos) << account;
  ASSERT_TRUE(FileExists(install + "Demo App.exe"));
  {
    Robot robot;
    ASSERT_TRUE(robot.Start(install + UNINSTALLER_NAME, "/S /LOG=" + removalLog));
    DWORD code = 1;
    ASSERT_TRUE(robot.WaitForExit(120000, &code));
    EXPECT_EQ(code, 0u);
  }
  account = ReadLog(removalLog);
  ExpectEnglishLog(account, "the uninstaller's account");
  line.Format(En(kTextSilentStart), "");
  EXPECT_EQ(account.find(line.c_str()), 0u) << account;
  line.Format(En(kTextSilentExit), 0);
  EXPECT_NE(account.find(line.c_str()), std::string::npos) << account;
  ExpectRemoved();
}

}  // namespace
