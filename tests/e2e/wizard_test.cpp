// The wizard as a user meets it: captions, page texts, buttons, the licence
// choice, the confirmation of every way out, the folder checks, the background
// window and the page-text length limit, all through the real windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "robot.h"
#include "setup/core/texts.h"
#include "setupfile.h"
#include "wizard.h"

namespace {

const char kProduct[] = "向导测试";
const char kNotStarted[] = "安装程序尚未进行,您真得要取消安装吗?";
const char kStarting[] = "安装即将开始,您真得要取消安装吗?";

// Index fields of the test package: page texts, the product and, when asked,
// a background window.
enum Background { kNoBackground, kBackgroundWithCaption, kBackgroundPlain };

std::vector<std::string> WizardFields(Background background) {
  std::vector<std::string> f = IndexFields(kProduct, {"a.exe"});
  const char* welcome[] = {"欢迎一", "欢迎二", "", "欢迎四", "欢迎五", "欢迎六", "欢迎七", "欢迎八"};
  for (int i = 0; i < 8; i++) f[i] = welcome[i];
  f[8] = "许可一";
  f[9] = "许可二";
  f[10] = "许可正文\r\n第二行";
  for (int i = 0; i < 4; i++) f[16 + i] = "目标" + std::to_string(i + 1);
  if (background != kNoBackground) {
    f[56] = "TRUE";
    f[59] = "背景标题";
    f[60] = "1056816";  // 0x102030
    f[61] = background == kBackgroundWithCaption ? "TRUE" : "FALSE";
  }
  return f;
}

// The icon a confirmation shows in its icon static (null when none).
HICON ConfirmationIcon(HWND c) {
  DWORD_PTR icon = 0;
  SendMessageTimeoutA(GetDlgItem(c, IDC_CANCEL_ICON), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
  return reinterpret_cast<HICON>(icon);
}

BOOL CALLBACK FindTitle(HWND w, LPARAM lp) {
  if (Robot::Text(w) == "请选择安装目录") *reinterpret_cast<bool*>(lp) = true;
  return TRUE;
}


class WizardTest : public ::testing::Test {
 protected:
  void Start(const std::string& name, const std::vector<std::string>& fields, const std::string& args = "") {
    path_ = CaseFile(name);
    WriteBytes(path_, SetupFile(ScrambledIndex(fields)));
    ASSERT_TRUE(robot_.Start(path_, args));
    ASSERT_TRUE(wizard_.WaitForSheet());
    ASSERT_TRUE(wizard_.WaitPage(0));
  }
  void TearDown() override {
    robot_.Kill();
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }

  // The confirmation that the way out brings up: its texts and icon; it is
  // then answered by `answer` and true comes back when it went away.
  void ExpectConfirmation(const std::function<void()>& wayOut, const char* message,
                          const std::function<void(HWND)>& answer) {
    static int round = 0;
    SCOPED_TRACE("confirmation " + std::to_string(++round));
    wayOut();
    HWND c = wizard_.WaitConfirmation();
    ASSERT_TRUE(c);
    EXPECT_EQ(Robot::Text(c), kProduct);
    EXPECT_EQ(Robot::ControlText(c, IDC_CANCEL_MESSAGE), message);
    EXPECT_EQ(Robot::ControlText(c, IDOK), "继续安装");
    EXPECT_EQ(Robot::ControlText(c, IDCANCEL), "退出安装");
    EXPECT_TRUE(ConfirmationIcon(c)) << "every confirmation shows the product icon";
    answer(c);
    EXPECT_TRUE(robot_.WaitUntil([&] { return !IsWindow(c) || !IsWindowVisible(c); }));
  }

  // A message box (no owner) that the wizard shows: its text; OK pressed.
  std::string MessageBoxText(const char* caption) {
    HWND box = robot_.WaitForWindow(DIALOG_CLASS, caption);
    if (!box) return "(no message box)";
    std::string text = Robot::ControlText(box, MSGBOX_TEXT_ID);
    Robot::Click(box, IDOK);
    robot_.WaitUntil([&] { return !IsWindow(box); });
    return text;
  }

  Robot robot_;
  Wizard wizard_{robot_};
  std::string path_;
};

TEST_F(WizardTest, PagesOneToThreeForwardAndBack) {
  Start("wizard-walk", WizardFields(kBackgroundWithCaption));
  HWND sheet = wizard_.Sheet();
  EXPECT_EQ(Robot::Text(sheet), kProduct);
  const char* lines[] = {"欢迎一", "欢迎二", "", "欢迎四", "欢迎五", "欢迎六", "欢迎七", "欢迎八"};
  for (int i = 0; i < 8; i++) EXPECT_EQ(wizard_.PageText(IDC_WELCOME_LINE1 + i), lines[i]) << "line " << i + 1;
  EXPECT_FALSE(wizard_.ButtonVisible(ID_WIZBACK));
  EXPECT_FALSE(wizard_.ButtonVisible(ID_SHEET_HELP));
  EXPECT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, true));
  // The first WM_SIZE: minimise box, the product icon (icon 128 here), topmost.
  EXPECT_TRUE(GetWindowLongA(sheet, GWL_STYLE) & WS_MINIMIZEBOX);
  EXPECT_TRUE(GetWindowLongA(sheet, GWL_EXSTYLE) & WS_EX_TOPMOST);

  // Licence page: not agreed, so Back only; agreeing enables Next.
  ASSERT_TRUE(wizard_.NextTo(1));
  EXPECT_EQ(wizard_.PageText(IDC_LICENCE_LINE1), "许可一");
  EXPECT_EQ(wizard_.PageText(IDC_LICENCE_LINE2), "许可二");
  EXPECT_EQ(wizard_.PageText(IDC_LICENCE), "许可正文\r\n第二行");
  EXPECT_TRUE(Robot::Checked(wizard_.CurrentPage(), IDC_DISAGREE));
  EXPECT_FALSE(Robot::Checked(wizard_.CurrentPage(), IDC_AGREE));
  EXPECT_TRUE(wizard_.ButtonVisible(ID_WIZBACK));
  EXPECT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, false));
  EXPECT_EQ(wizard_.ButtonText(ID_WIZNEXT), "下一步");
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));
  EXPECT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, true));
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_DISAGREE));
  EXPECT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, false));
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));

  // Folder page: "安装" on Next, the default folder, the four lines.
  ASSERT_TRUE(wizard_.NextTo(2));
  EXPECT_EQ(wizard_.ButtonText(ID_WIZNEXT), "安装");
  EXPECT_EQ(wizard_.PageText(IDC_FOLDER), std::string("C:\\Program Files\\") + kProduct);
  for (int i = 0; i < 4; i++) EXPECT_EQ(wizard_.PageText(IDC_FOLDER_LINE1 + i), "目标" + std::to_string(i + 1));

  // Back: the choice survived; then page 1 hides Back again.
  ASSERT_TRUE(wizard_.BackTo(1));
  EXPECT_TRUE(Robot::Checked(wizard_.CurrentPage(), IDC_AGREE));
  EXPECT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, true));
  EXPECT_EQ(wizard_.ButtonText(ID_WIZNEXT), "下一步");
  ASSERT_TRUE(wizard_.BackTo(0));
  EXPECT_TRUE(robot_.WaitUntil([&] { return !wizard_.ButtonVisible(ID_WIZBACK); }));
  EXPECT_EQ(wizard_.ButtonText(ID_WIZNEXT), "下一步");
  EXPECT_EQ(Robot::Text(sheet), kProduct);
  ASSERT_TRUE(wizard_.NextTo(1));
  EXPECT_TRUE(Robot::Checked(wizard_.CurrentPage(), IDC_AGREE));
  EXPECT_TRUE(wizard_.Quit());
}

TEST_F(WizardTest, EveryWayOutIsConfirmed) {
  Start("wizard-cancel", WizardFields(kBackgroundWithCaption));
  HWND sheet = wizard_.Sheet();
  // The background window: full screen, its caption bar and caption, deaf to
  // input (a close request and keys posted to it are dropped).
  HWND back = robot_.WaitForWindow(DIALOG_CLASS, "背景标题");
  ASSERT_TRUE(back);
  RECT r;
  GetWindowRect(back, &r);
  EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_TRUE(GetWindowLongA(back, GWL_STYLE) & WS_CAPTION);
  PostMessageA(back, WM_CLOSE, 0, 0);
  PostMessageA(back, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageA(back, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));

  auto keep = [](HWND c) { Robot::Click(c, IDOK); };
  auto enter = [](HWND c) { Robot::PressKey(c, VK_RETURN); };
  ExpectConfirmation([&] { Robot::Click(sheet, IDCANCEL); }, kNotStarted, keep);
  EXPECT_EQ(wizard_.PageIndex(), 0);
  ExpectConfirmation([&] { Robot::PressKey(sheet, VK_ESCAPE); }, kNotStarted, enter);
  EXPECT_EQ(wizard_.PageIndex(), 0);
  EXPECT_TRUE(IsWindowVisible(back)) << "the background window reacted to input";

  ASSERT_TRUE(wizard_.NextTo(1));
  ExpectConfirmation([&] { Robot::CloseBox(sheet); }, kNotStarted, keep);
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));
  ASSERT_TRUE(wizard_.NextTo(2));
  ExpectConfirmation([&] { Robot::Click(sheet, IDCANCEL); }, kStarting, keep);
  EXPECT_EQ(wizard_.PageIndex(), 2);
  // Esc in the confirmation quits.
  ExpectConfirmation([&] { Robot::CloseBox(sheet); }, kStarting, [](HWND c) { Robot::PressKey(c, VK_ESCAPE); });
  EXPECT_TRUE(robot_.WaitForExit(20000));
}

TEST_F(WizardTest, FolderPageRefusesWhatCannotBeCreated) {
  // A folder given with /D= (without /S) is the page's proposal.
  Start("wizard-folder", WizardFields(kBackgroundPlain), "/D=C:\\Given Dir\\给定");
  // A background window without its caption bar still covers the screen.
  HWND back = robot_.WaitForWindow(DIALOG_CLASS, "背景标题");
  ASSERT_TRUE(back);
  EXPECT_FALSE(GetWindowLongA(back, GWL_STYLE) & WS_CAPTION);
  RECT r;
  GetWindowRect(back, &r);
  EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYSCREEN));

  ASSERT_TRUE(wizard_.NextTo(1));
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));
  ASSERT_TRUE(wizard_.NextTo(2));
  EXPECT_EQ(wizard_.PageText(IDC_FOLDER), "C:\\Given Dir\\给定");
  HWND sheet = wizard_.Sheet();

  struct Case {
    const char* folder;
    const char* message;
  } cases[] = {
      {"", "无效的驱动器"},
      {"C:\\", "无效的驱动器"},
      {"App", "无效的驱动器"},
      {"Q:\\App", "无效的驱动器"},
      {"C:\\NoSuchFolder\\Sub", "无效的文件夹"},
      {"A:\\App", "软盘驱动器"},
      {"N:\\App", "网络驱动器"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    Robot::SetControlText(wizard_.CurrentPage(), IDC_FOLDER, c.folder);
    ASSERT_TRUE(Robot::Click(sheet, ID_WIZNEXT));
    EXPECT_EQ(MessageBoxText(""), c.message);
    EXPECT_EQ(wizard_.PageIndex(), 2);
    EXPECT_EQ(wizard_.PageText(IDC_FOLDER), c.folder) << "the edit never shows the appended backslash";
  }
  EXPECT_EQ(GetFileAttributesA("C:\\NoSuchFolder"), INVALID_FILE_ATTRIBUTES);

  // A folder whose name has no code page 936 form (a Hangul syllable), though
  // its parent exists: setup.log could not name it, so the page refuses it.
  const std::wstring hangul = L"C:\\\xD55C";
  Robot::SetControlText(wizard_.CurrentPage(), IDC_FOLDER, hangul);
  ASSERT_TRUE(Robot::Click(sheet, ID_WIZNEXT));
  EXPECT_EQ(MessageBoxText(""), Text(kTextFolderNotGbk));
  EXPECT_EQ(wizard_.PageIndex(), 2);
  EXPECT_EQ(GetFileAttributesW(hangul.c_str()), INVALID_FILE_ATTRIBUTES);

  // The browse dialog: caption, title, and a cancelled browse changes nothing.
  Robot::SetControlText(wizard_.CurrentPage(), IDC_FOLDER, "C:\\windows");
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_BROWSE));
  HWND browse = robot_.WaitForOwnedDialog(sheet);
  ASSERT_TRUE(browse);
  EXPECT_TRUE(robot_.WaitUntil([&] { return Robot::Text(browse) == kProduct; }));
  bool titled = false;
  EnumChildWindows(browse, FindTitle, reinterpret_cast<LPARAM>(&titled));
  EXPECT_TRUE(titled);
  Robot::Click(browse, IDCANCEL);
  EXPECT_TRUE(robot_.WaitUntil([&] { return !IsWindow(browse); }));
  EXPECT_EQ(wizard_.PageText(IDC_FOLDER), "C:\\windows");

  // A folder on a fixed drive whose parent exists, typed with a trailing
  // backslash: created (only its last level), and the wizard goes on.
  char name[64];
  snprintf(name, sizeof name, "C:\\wizard-%lu\\", GetCurrentProcessId());
  std::string folder = name;
  Robot::SetControlText(wizard_.CurrentPage(), IDC_FOLDER, folder);
  ASSERT_TRUE(Robot::Click(sheet, ID_WIZNEXT));
  // The copy page installs at once and moves on by itself: page 4 or already 5.
  EXPECT_TRUE(robot_.WaitUntil([&] { return wizard_.PageIndex() >= 3; }, 20000));
  DWORD attr = GetFileAttributesA(folder.c_str());
  EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY));
  robot_.Kill();
  for (const char* f : {"a.exe", "ridkit.exe"}) DeleteFileA((folder + f).c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST_F(WizardTest, CancelTypedAheadOfTheCopyRunAsksOneQuestionAtATime) {
  // The file exists already and its rule is "ask": the run has a question
  // of its own.
  std::vector<std::string> f = WizardFields(kNoBackground);
  f[64 + 4] = "ASK_COPY";  // the first row's copy rule
  char name[64];
  snprintf(name, sizeof name, "C:\\wizard-ahead-%lu", GetCurrentProcessId());
  std::string folder = name;
  struct Cleanup {
    Robot& robot;
    std::string folder;
    ~Cleanup() {
      robot.Kill();
      for (const char* n : {"\\a.exe", "\\ridkit.exe"}) DeleteFileA((folder + n).c_str());
      RemoveDirectoryA(folder.c_str());
    }
  } cleanup{robot_, folder};
  CreateDirectoryA(folder.c_str(), 0);
  WriteBytes(folder + "\\a.exe", "old");
  Start("wizard-ahead", f);
  ASSERT_TRUE(wizard_.NextTo(1));
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));
  ASSERT_TRUE(wizard_.NextTo(2));
  Robot::SetControlText(wizard_.CurrentPage(), IDC_FOLDER, folder);
  ASSERT_TRUE(wizard_.WaitButtonEnabled(ID_WIZNEXT, true));
  // Next, and Esc queued behind it: the cancel question comes up before the
  // copy page was ever painted.
  ASSERT_TRUE(Robot::Click(wizard_.Sheet(), ID_WIZNEXT));
  Robot::PressKey(wizard_.Sheet(), VK_ESCAPE);

  Popup p;
  HWND c = 0;
  ASSERT_TRUE(wizard_.WaitForPopup(p, c, 10000, Wizard::kPopupQuestion));
  EXPECT_EQ(p.text, "安装程序正在进行,您真得要取消安装吗?");
  EXPECT_TRUE(ConfirmationIcon(c));
  Robot::Click(c, IDOK);  // 继续安装
  ASSERT_TRUE(robot_.WaitUntil([&] { return !IsWindow(c); }));
  // Only then does the run start, and ask about the file.
  ASSERT_TRUE(wizard_.WaitForPopup(p, c, 20000, Wizard::kPopupQuestion));
  EXPECT_EQ(p.text, "文件 " + folder + "\\a.exe 已存在,要覆盖吗?");
  EXPECT_TRUE(ConfirmationIcon(c)) << "the second confirmation shows the icon too";
  Robot::Click(c, IDOK);  // 覆盖
  ASSERT_TRUE(robot_.WaitUntil([&] { return !IsWindow(c); }));
  EXPECT_TRUE(robot_.WaitUntil([&] { return wizard_.PageIndex() == 4; }, 20000));

  // And the setup can still end.
  PostMessageA(wizard_.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(wizard_.WaitForPopup(p, c, 10000, Wizard::kPopupQuestion));
  EXPECT_TRUE(ConfirmationIcon(c));
  Robot::Click(c, IDCANCEL);  // 退出安装
  EXPECT_TRUE(robot_.WaitForExit(20000));
  EXPECT_EQ(ReadBytes(folder + "\\a.exe"), "");  // overwritten with the package's empty file
}

TEST_F(WizardTest, OverlongPageLineKeepsThePage) {
  // The licence page's first line is 48 bytes: it shows whole, but neither
  // Next nor Back can leave the page.
  std::vector<std::string> f = WizardFields(kNoBackground);
  std::string line;
  for (int i = 0; i < 24; i++) line += "长";
  f[8] = line;
  // The file's title (the message boxes' caption) ends in a double-byte
  // character whose trail byte is 0x5C.
  const char title[] = "wizard-long\x81\x5C";
  Start(title, f);
  EXPECT_FALSE(robot_.FindWindowOf(DIALOG_CLASS, "背景标题")) << "no background window was asked for";
  ASSERT_TRUE(wizard_.NextTo(1));
  EXPECT_EQ(wizard_.PageText(IDC_LICENCE_LINE1), line);
  ASSERT_TRUE(Robot::Click(wizard_.CurrentPage(), IDC_AGREE));
  for (int id : {ID_WIZBACK, ID_WIZNEXT}) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(wizard_.WaitButtonEnabled(id, true));
    ASSERT_TRUE(Robot::Click(wizard_.Sheet(), id));
    EXPECT_NE(MessageBoxText(title).find("47"), std::string::npos);
    EXPECT_EQ(wizard_.PageIndex(), 1);
  }
  EXPECT_TRUE(wizard_.Quit());
}

}  // namespace
