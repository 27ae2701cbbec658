// The finish run without its page: setup.log's bytes, the order of the
// shortcut pass, the uninstaller's shortcut made once, the read-me and the
// program after the log is closed, and a log that cannot be made.
#include "setup/core/finishrun.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/setuplog.h"
#include "framework/fsys.h"
#include "testutil.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

typedef std::vector<std::string> Log;

void RemoveFolder(const std::string& path) {
#ifdef _WIN32
  RemoveDirectoryA(path.c_str());
#else
  rmdir(path.c_str());
#endif
}

struct FakeShell : IFinishServices {
  explicit FakeShell(const std::string& logPath) : logPath(logPath) {
    folders[kFolderIdDesktop] = "D:\\桌面\\";
    folders[kFolderIdStartMenu] = "D:\\开始";  // one without its backslash
    folders[kFolderIdPrograms] = "D:\\开始\\程序\\";
  }
  CString SpecialFolder(int csidl) override {
    calls.push_back("folder " + std::to_string(csidl));
    return CString(folders[csidl].c_str());
  }
  bool CreateShortcut(const char* target, const char* link) override {
    calls.push_back(std::string("link ") + link + " -> " + target);
    return false;  // a failed save is listed all the same
  }
  void CreateFolder(const char* path) override { calls.push_back(std::string("mkdir ") + path); }
  void Open(const char* path) override {
    // What the log holds when the read-me or the program starts.
    calls.push_back(std::string("open ") + path + " log " + std::to_string(ReadBytes(logPath).size()));
  }
  void ShowError(const char* text) override { calls.push_back(std::string("error ") + text); }

  std::string logPath;
  std::string folders[64];
  Log calls;
};

FileEntry Entry(const char* name, int folder, const char* subDir, int shortcuts) {
  FileEntry e;
  memset(&e, 0, sizeof e);
  strcpy(e.Name, name);
  strcpy(e.SubDir, subDir);
  e.Folder = folder;
  e.Shortcuts = shortcuts;
  e.CopyMode = COPY_ALWAYS;
  return e;
}

const std::string T = LOG_TERMINATOR;

class FinishRunTest : public ::testing::Test {
 protected:
  FinishRunTest()
      : install(dir.Dir() + "inst\\"),
        logFile(Native(install + "setup.log")),
        shell(logFile),
        pending(true),
        run(settings, shell, pending) {
    run.Folders.WindowsDir = "C:\\WINDOWS";
    run.Folders.SystemDir = "C:\\WINDOWS\\system32";
    run.Folders.InstallDir = install.c_str();
    run.GroupName = "演示";
    strcpy(settings.ProductName, "演示");
    CreateFolder(install.c_str());
  }
  ~FinishRunTest() override {
    RemoveFile(logFile.c_str());
    RemoveFolder(Native(install));
  }
  void Add(const FileEntry& e) { settings.FileList.Append(e); }
  FinishChoices Choices(int desktop, int start, int group, int readme = 0, int runIt = 0) {
    FinishChoices c = {desktop, start, group, readme, runIt};
    return c;
  }
  Log Only(const char* prefix) {
    Log out;
    for (const std::string& l : shell.calls)
      if (l.compare(0, strlen(prefix), prefix) == 0) out.push_back(l);
    return out;
  }

  TempDir dir;
  std::string install, logFile;
  PackageSettings settings;
  FakeShell shell;
  bool pending;
  CFinishRun run;
};

TEST_F(FinishRunTest, DefaultChoicesMakeTheGroupWithTheUninstallerFirst) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", SHORTCUT_DESKTOP | SHORTCUT_GROUP));
  Add(Entry("ctl.ocx", FOLDER_SYSTEM, "", 0));
  Add(Entry("说明.txt", FOLDER_INSTALL, "doc", SHORTCUT_GROUP));
  strcpy(settings.TypeAssoc[0].Extension, "abc");
  ASSERT_TRUE(run.Run(Choices(0, 0, 1)));

  EXPECT_EQ(ReadBytes(logFile), "[FILELIST]" + T + install + "app.exe" + T + "C:\\WINDOWS\\system32\\ctl.ocx" + T +
                                    install + "doc\\说明.txt" + T + T + "[TYPELIST]" + T + "abc" + T + T +
                                    "[SHORTCUTLIST]" + T + "D:\\开始\\程序\\演示\\app.lnk" + T +
                                    "D:\\开始\\程序\\演示\\说明.lnk" + T);
  Log want = {"folder 2", "mkdir D:\\开始\\程序\\演示",
              "link D:\\开始\\程序\\演示\\ridkit.lnk -> " + install + "ridkit.exe",
              "link D:\\开始\\程序\\演示\\app.lnk -> " + install + "app.exe",
              "link D:\\开始\\程序\\演示\\说明.lnk -> " + install + "doc\\说明.txt"};
  EXPECT_EQ(shell.calls, want);
  EXPECT_FALSE(pending);
}

// The copy run's list associations follow the shortcut list.
TEST_F(FinishRunTest, ListAssociationsAfterTheShortcuts) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", SHORTCUT_DESKTOP));
  TypeRecordList types;
  ParseTypeRecord("docx|made", types.Items[types.Count++]);
  ParseTypeRecord("rtf|was|rtffile", types.Items[types.Count++]);
  run.Types = &types;
  ASSERT_TRUE(run.Run(Choices(1, 0, 0)));
  EXPECT_EQ(ReadBytes(logFile), "[FILELIST]" + T + install + "app.exe" + T + T + "[TYPELIST]" + T + T +
                                    "[SHORTCUTLIST]" + T + "D:\\桌面\\app.lnk" + T + T + "[TYPELIST2]" + T +
                                    "docx|made" + T + "rtf|was|rtffile" + T);
}

TEST_F(FinishRunTest, EveryKindInOrderPerFileAndTheUninstallerLinkOncePerProcess) {
  Add(Entry("tool.exe", FOLDER_INSTALL, "bin", 7));
  Add(Entry("tool.txt", FOLDER_WINDOWS, "", 7));  // the same shortcut name: listed twice
  Add(Entry("a.b.exe", FOLDER_INSTALL, "", SHORTCUT_STARTMENU));
  Add(Entry("noext", FOLDER_INSTALL, "", SHORTCUT_DESKTOP));
  ASSERT_TRUE(run.Run(Choices(1, 1, 1)));
  std::string d = "D:\\桌面\\", s = "D:\\开始\\", g = "D:\\开始\\程序\\演示\\";
  Log links = {"link " + d + "tool.lnk -> " + install + "bin\\tool.exe",
               "link " + s + "tool.lnk -> " + install + "bin\\tool.exe",
               "link " + g + "ridkit.lnk -> " + install + "ridkit.exe",
               "link " + g + "tool.lnk -> " + install + "bin\\tool.exe",
               "link " + d + "tool.lnk -> C:\\WINDOWS\\tool.txt",
               "link " + s + "tool.lnk -> C:\\WINDOWS\\tool.txt",
               "link " + g + "tool.lnk -> C:\\WINDOWS\\tool.txt",
               "link " + s + "a.lnk -> " + install + "a.b.exe",
               "link " + d + "lnk -> " + install + "noext"};
  EXPECT_EQ(Only("link "), links);
  // Every shortcut but the uninstaller's is listed, in the order made.
  std::string log = ReadBytes(logFile);
  std::string tail = "[SHORTCUTLIST]" + T;
  for (const std::string& l : links)
    if (l.find("ridkit") == std::string::npos) tail += l.substr(5, l.find(" -> ") - 5) + T;
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_EQ(Only("mkdir").size(), 1u);
  // Each special folder is asked once.
  EXPECT_EQ(Only("folder"), (Log{"folder 16", "folder 11", "folder 2"}));

  // A second run in the same process (as after a repeated Finish) makes no
  // second uninstaller shortcut.
  shell.calls.clear();
  CFinishRun again(settings, shell, pending);
  again.Folders.InstallDir = install.c_str();
  again.GroupName = "演示";
  ASSERT_TRUE(again.Run(Choices(0, 0, 1)));
  for (const std::string& c : shell.calls) EXPECT_EQ(c.find("ridkit"), std::string::npos) << c;
  EXPECT_TRUE(Only("mkdir").empty());
}

TEST_F(FinishRunTest, UntickedGroupMakesNoUninstallerShortcut) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", 7));
  ASSERT_TRUE(run.Run(Choices(1, 0, 0)));
  EXPECT_EQ(shell.calls, (Log{"folder 16", "link D:\\桌面\\app.lnk -> " + install + "app.exe"}));
  EXPECT_TRUE(pending);
  std::string log = ReadBytes(logFile);
  EXPECT_EQ(log.substr(log.find("[SHORTCUTLIST]")), "[SHORTCUTLIST]" + T + "D:\\桌面\\app.lnk" + T);
}

TEST_F(FinishRunTest, RowsThatWouldLeaveTheirFolderAreNeitherListedNorLinked) {
  // Such rows were refused by the copy run: the removal must not be told to
  // delete what their paths name.
  Add(Entry("app.exe", FOLDER_INSTALL, "", SHORTCUT_DESKTOP));
  Add(Entry("evil.exe", FOLDER_INSTALL, "..\\..", SHORTCUT_DESKTOP));
  Add(Entry("..", FOLDER_INSTALL, "", SHORTCUT_DESKTOP));
  Add(Entry("boot.ini", FOLDER_WINDOWS, "\\", SHORTCUT_DESKTOP));
  Add(Entry("x.exe", FOLDER_INSTALL, "C:\\Windows", SHORTCUT_DESKTOP));
  ASSERT_TRUE(run.Run(Choices(1, 0, 0)));
  EXPECT_EQ(ReadBytes(logFile), "[FILELIST]" + T + install + "app.exe" + T + T + "[TYPELIST]" + T + T +
                                    "[SHORTCUTLIST]" + T + "D:\\桌面\\app.lnk" + T);
  EXPECT_EQ(Only("link "), Log{"link D:\\桌面\\app.lnk -> " + install + "app.exe"});
}

TEST_F(FinishRunTest, NoFilesNoExtensionsNoShortcuts) {
  ASSERT_TRUE(run.Run(Choices(1, 1, 1, 1, 1)));
  EXPECT_EQ(ReadBytes(logFile), "[FILELIST]" + T + T + "[TYPELIST]" + T + T + "[SHORTCUTLIST]" + T);
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(pending);
}

TEST_F(FinishRunTest, ReadmeThenProgramAfterTheLogIsClosed) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", SHORTCUT_GROUP));
  strcpy(settings.TypeAssoc[1].Extension, "xyz");  // only the second one
  strcpy(settings.ReadmeFile, "WINDOWS_FOLDER\\readme.txt");
  strcpy(settings.RunFile, "app.exe");
  ASSERT_TRUE(run.Run(Choices(0, 0, 1, 1, 1)));
  std::string log = ReadBytes(logFile);
  EXPECT_NE(log.find("[TYPELIST]" + T + "xyz" + T + T), std::string::npos);
  std::string size = std::to_string(log.size());
  EXPECT_EQ(Only("open"), (Log{"open C:\\WINDOWS\\readme.txt log " + size, "open " + install + "app.exe log " + size}));

  // Each needs its box and its setting.
  shell.calls.clear();
  strcpy(settings.ReadmeFile, "SYSTEM_FOLDER\\r.txt");
  settings.RunFile[0] = 0;
  ASSERT_TRUE(run.Run(Choices(0, 0, 0, 1, 1)));
  EXPECT_EQ(Only("open").size(), 1u);
  EXPECT_EQ(Only("open")[0].find("open C:\\WINDOWS\\system32\\r.txt "), 0u);
  shell.calls.clear();
  strcpy(settings.RunFile, "app.exe");
  ASSERT_TRUE(run.Run(Choices(0, 0, 0, 0, 0)));
  EXPECT_TRUE(Only("open").empty());
}

TEST_F(FinishRunTest, LogThatCannotBeCreatedStopsEverythingElse) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", 7));
  strcpy(settings.ReadmeFile, "readme.txt");
  strcpy(settings.RunFile, "app.exe");
  run.Folders.InstallDir = (install + "missing\\").c_str();
  EXPECT_FALSE(run.Run(Choices(1, 1, 1, 1, 1)));
  EXPECT_EQ(shell.calls, Log{"error 创建 setup.log 文件失败!"});
  EXPECT_TRUE(pending);
  EXPECT_FALSE(FileExists(Native(install + "missing")));
}

TEST_F(FinishRunTest, UnknownSpecialFolderGetsNoShortcut) {
  Add(Entry("app.exe", FOLDER_INSTALL, "", 7));
  shell.folders[kFolderIdDesktop] = "\\";
  shell.folders[kFolderIdPrograms] = "";
  ASSERT_TRUE(run.Run(Choices(1, 1, 1)));
  EXPECT_EQ(Only("link"), Log{"link D:\\开始\\app.lnk -> " + install + "app.exe"});
  EXPECT_TRUE(Only("mkdir").empty());
  EXPECT_TRUE(pending);
  std::string log = ReadBytes(logFile);
  EXPECT_EQ(log.substr(log.find("[SHORTCUTLIST]")), "[SHORTCUTLIST]" + T + "D:\\开始\\app.lnk" + T);
}

#ifndef _WIN32
TEST_F(FinishRunTest, LogThatCannotBeWrittenToTheEndIsReported) {
  // A full disk: every write fails once the log is open.
  if (symlink("/dev/full", logFile.c_str()) != 0) GTEST_SKIP() << "no symbolic link to /dev/full";
  Add(Entry("app.exe", FOLDER_INSTALL, "", SHORTCUT_GROUP));
  EXPECT_TRUE(run.Run(Choices(0, 0, 1)));
  // The shortcuts are made all the same, and the failure is told once.
  Log want = {"folder 2", "mkdir D:\\开始\\程序\\演示",
              "link D:\\开始\\程序\\演示\\ridkit.lnk -> " + install + "ridkit.exe",
              "link D:\\开始\\程序\\演示\\app.lnk -> " + install + "app.exe", "error 写入 setup.log 文件失败!"};
  EXPECT_EQ(shell.calls, want);
}
#endif

}  // namespace
