// The copy run without its page: destinations, copy rules, the estimate, the
// order of what the page is told, and files that could not be written.
#include "setup/core/copyengine.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/container.h"
#include "common/shortenpath.h"
#include "framework/fsys.h"
#include "testutil.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <stdio.h>
#endif

namespace {

// Every call of the run, in order, as one line each.
typedef std::vector<std::string> Log;

struct FakePage : ICopyPage {
  explicit FakePage(Log& l) : log(l), overwrite(false) {}
  void SetStatus(const char* t) override { log.push_back(std::string("status ") + t); }
  void SetEstimate(const char* t) override { log.push_back(std::string("estimate ") + t); }
  void SetProgress(int pos) override { log.push_back("progress " + std::to_string(pos)); }
  bool AskOverwrite(const char* q) override {
    log.push_back(std::string("ask ") + q);
    return overwrite;
  }
  void ShowError(const char* t) override { log.push_back(std::string("error ") + t); }
  void StopAnimation() override { log.push_back("stop"); }
  // Answers "stop" from the stopAt-th question on (1 = before the first file).
  bool StopRequested() override {
    asked++;
    return stopAt > 0 && asked >= stopAt;
  }
  Log& log;
  bool overwrite;
  int stopAt = 0;
  int asked = 0;
};

struct FakeServices : ICopyServices {
  explicit FakeServices(Log& l) : log(l), next(0), uninstallerOk(true) {}
  // Hands out the planned readings in turn, then keeps the last one.
  DWORD TickCount() override {
    if (ticks.empty()) return 0;
    DWORD t = ticks[next < ticks.size() ? next : ticks.size() - 1];
    next++;
    return t;
  }
  void Sleep(DWORD ms) override { log.push_back("sleep " + std::to_string(ms)); }
  int RegisterServer(const char* p) override {
    log.push_back(std::string("register ") + p);
    return 1;
  }
  void RegisterFileType(const char* ext, const char* program) override {
    log.push_back(std::string("filetype ") + ext + " " + program);
  }
  bool WriteUninstaller(const char* installDir) override {
    log.push_back("uninstaller");
    uninstallerDir = installDir;
    if (writeUninstaller) WriteBytes(Native(std::string(installDir) + UNINSTALLER_NAME), "u");
    return uninstallerOk;
  }
  int UnregisterServer(const char* p) override {
    log.push_back(std::string("unregister ") + p);
    return 1;
  }
  void UnregisterFileType(const char* ext) override { log.push_back(std::string("unfiletype ") + ext); }
  void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                        const char* icon, TypeRecord& record) override {
    log.push_back(std::string("listtype ") + ext + " " + typeClass + " " + command + " [" + description + "] " + icon);
    record.State = kTypeWas;
    record.Previous = (std::string("was.") + ext).c_str();
  }
  void UnregisterListType(const char* typeClass, const TypeRecord& record) override {
    log.push_back(std::string("unlisttype ") + typeClass + " " + FormatTypeRecord(record).c_str());
  }
  Log& log;
  std::vector<DWORD> ticks;
  size_t next;
  bool uninstallerOk;
  bool writeUninstaller = false;
  std::string uninstallerDir;
};

bool IsFolder(const std::string& p) {
  DWORD a = GetAttributes(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_FOLDER);
}

FileEntry Entry(const char* name, int folder, const char* subDir, int mode, long long length, long long offset) {
  FileEntry e;
  memset(&e, 0, sizeof e);
  strcpy(e.Name, name);
  strcpy(e.SubDir, subDir);
  e.Folder = folder;
  e.CopyMode = mode;
  e.Length = length;
  e.Offset = offset;
  return e;
}

class CopyEngineTest : public ::testing::Test {
 protected:
  CopyEngineTest() : page(log), services(log), engine(settings, page, services) {
    root = dir.Dir();
    // The setup file: each region holds its own byte value.
    setupFile = dir.Path("setup.bin");
    WriteBytes(setupFile, std::string(100, 'M') + std::string(10, 'a') + std::string(20, 'b') +
                              std::string(30, 'c'));
    engine.Folders.WindowsDir = (root + "win").c_str();
    engine.Folders.SystemDir = (root + "sys\\").c_str();
    engine.Folders.InstallDir = (root + "app\\").c_str();
    settings.Path = setupFile.c_str();
  }
  ~CopyEngineTest() override {
    for (const char* sub : {"win", "sys", "app"}) RemoveTree(root + sub);
  }
  void Add(const FileEntry& e) { settings.FileList.Append(e); }
  std::string App(const std::string& rest) { return root + "app\\" + rest; }
  std::string Read(const std::string& path) { return ReadBytes(Native(path)); }
  std::string Status(const std::string& path) {
    return "status 正在拷贝至 " + std::string(ShortenPath(path.c_str(), 36).c_str()) + " ";
  }
  Log Only(const char* prefix) {
    Log out;
    for (const std::string& l : log)
      if (l.compare(0, strlen(prefix), prefix) == 0) out.push_back(l);
    return out;
  }

  TempDir dir;
  std::string root, setupFile;
  Log log;
  CPackage settings;
  FakePage page;
  FakeServices services;
  CCopyEngine engine;
};

TEST_F(CopyEngineTest, DestPathPerFolderKindAndCreatesFolders) {
  Add(Entry("a.dll", FOLDER_INSTALL, "bin", COPY_ALWAYS, 0, 0));
  Add(Entry("a.dll", FOLDER_INSTALL, "", COPY_ALWAYS, 0, 0));
  Add(Entry("w.ini", FOLDER_WINDOWS, "", COPY_ALWAYS, 0, 0));
  Add(Entry("s.dll", FOLDER_SYSTEM, "x\\y\\", COPY_ALWAYS, 0, 0));
  Add(Entry("o.dll", 0, "", COPY_ALWAYS, 0, 0));  // unknown kind: installation folder
  EXPECT_EQ(std::string(engine.DestPath(0)), App("bin\\a.dll"));
  EXPECT_TRUE(IsFolder(Native(App("bin"))));
  EXPECT_FALSE(FileExists(Native(App("bin\\a.dll"))));  // the name is never a folder
  EXPECT_EQ(std::string(engine.DestPath(1)), App("a.dll"));
  EXPECT_EQ(std::string(engine.DestPath(2)), root + "win\\w.ini");
  EXPECT_TRUE(IsFolder(Native(root + "win")));
  EXPECT_EQ(std::string(engine.DestPath(3)), root + "sys\\x\\y\\s.dll");
  EXPECT_TRUE(IsFolder(Native(root + "sys\\x\\y")));
  EXPECT_EQ(std::string(engine.DestPath(4)), App("o.dll"));
}

TEST_F(CopyEngineTest, EnsureFoldersSplitsOnlyAtBackslashCharacters) {
  // 0x95 0x5C is one double-byte character whose trail byte is a backslash.
  std::string path = App("d1\\x\x95\x5Cy\\f.txt");
  engine.EnsureFolders(path.c_str());
  EXPECT_TRUE(IsFolder(Native(App("d1\\x\x95\x5Cy"))));
  EXPECT_FALSE(IsFolder(Native(App("d1\\x\x95"))));
  EXPECT_FALSE(FileExists(Native(path)));
}

TEST_F(CopyEngineTest, CopyModesWithAnExistingDestination) {
  Add(Entry("always.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 10, 100));
  Add(Entry("keep.OCX", FOLDER_INSTALL, "", COPY_IF_ABSENT, 10, 100));
  Add(Entry("ask.txt", FOLDER_INSTALL, "", COPY_ASK, 20, 110));
  Add(Entry("new.txt", FOLDER_INSTALL, "", COPY_IF_ABSENT, 30, 130));
  for (int i = 0; i < 3; i++) engine.DestPath(i);
  for (const char* n : {"always.txt", "keep.OCX", "ask.txt"}) WriteBytes(Native(App(n)), "old");

  for (int i = 0; i < 4; i++) engine.CopyEntry(i);
  EXPECT_EQ(Read(App("always.txt")), std::string(10, 'a'));
  EXPECT_EQ(Read(App("keep.OCX")), "old");
  EXPECT_EQ(Read(App("ask.txt")), "old");  // answered "取消"
  EXPECT_EQ(Read(App("new.txt")), std::string(30, 'c'));
  EXPECT_EQ(Only("ask"), Log{"ask 文件 " + App("ask.txt") + " 已存在,要覆盖吗?"});
  // The kept control is registered all the same; nothing else is.
  EXPECT_EQ(Only("register"), Log{"register " + App("keep.OCX")});

  page.overwrite = true;
  engine.CopyEntry(2);
  EXPECT_EQ(Read(App("ask.txt")), std::string(20, 'b'));
  EXPECT_EQ(engine.FailedCount, 0);
}

TEST_F(CopyEngineTest, OrderOfEverythingInASmallRun) {
  Add(Entry("a.ocx", FOLDER_INSTALL, "bin", COPY_ALWAYS, 10, 100));
  strcpy(settings.TypeAssoc[1].Extension, "abc");
  strcpy(settings.TypeAssoc[1].Program, "INSTALL_FOLDER\\bin\\a.exe");
  services.ticks = {1000, 1010};
  log.push_back("returned " + std::to_string(engine.CopyAll()));
  std::string dest = App("bin\\a.ocx");
  Log want = {"estimate 估计剩余时间...", "status 正在获取文件信息...", "sleep 500", Status(dest),
              "register " + dest, "estimate 估计剩余时间0秒.", "progress 1000", "uninstaller",
              "status 正在创建文件类型关联...", "sleep 500", "filetype abc " + App("bin\\a.exe"),
              "status 安装完成", "estimate 估计剩余时间0秒.", "progress 1000", "stop", "sleep 500",
              "returned 0"};
  EXPECT_EQ(log, want);
  EXPECT_EQ(Read(dest), std::string(10, 'a'));
  EXPECT_EQ(services.uninstallerDir, App(""));
}

TEST_F(CopyEngineTest, EmptyListStillWritesUninstallerAndAssociations) {
  strcpy(settings.TypeAssoc[0].Extension, "aaa");
  strcpy(settings.TypeAssoc[0].Program, "WINDOWS_FOLDER\\x.exe");
  strcpy(settings.TypeAssoc[1].Extension, "bbb");
  strcpy(settings.TypeAssoc[1].Program, "y.exe");
  services.uninstallerOk = false;
  log.push_back("returned " + std::to_string(engine.CopyAll()));
  Log want = {"estimate 估计剩余时间...", "status 正在获取文件信息...", "sleep 500", "uninstaller",
              "error 创建 ridkit.exe 失败!", "status 正在创建文件类型关联...", "sleep 500",
              "filetype aaa " + root + "win\\x.exe", "filetype bbb " + App("y.exe"), "status 安装完成",
              "estimate 估计剩余时间0秒.", "progress 1000", "stop", "sleep 500", "returned 0"};
  EXPECT_EQ(log, want);
}

// The list's associations after the header's: each under a class of the
// product's own, with its command quoted, its description and its icon
// (the program's first when none is given); what each found is kept for the
// log, and RollBack takes them back newest first.
TEST_F(CopyEngineTest, ListAssociationsAndTheirRecords) {
  strcpy(settings.ProductName, "Demo\\App");
  strcpy(settings.TypeAssoc[0].Extension, "abc");
  strcpy(settings.TypeAssoc[0].Program, "a.exe");
  settings.AssociationCount = 3;
  settings.Associations[0] = {"docx", "INSTALL_FOLDER\\w.exe", "Word text", ""};
  settings.Associations[1] = {"drawio", "SYSTEM_FOLDER\\d.exe", "", "INSTALL_FOLDER\\i.dll,-101"};
  settings.Associations[2] = {"odd", "INSTALL_FOLDER\\o.exe", "", "INSTALL_FOLDER\\x,y"};
  engine.CopyAll();
  Log want = {"filetype abc " + App("a.exe"),
              "listtype docx Demo_App.docx \"" + App("w.exe") + "\" \"%1\" [Word text] " + App("w.exe") + ",0",
              "listtype drawio Demo_App.drawio \"" + root + "sys\\d.exe\" \"%1\" [] " + App("i.dll") + ",-101",
              "listtype odd Demo_App.odd \"" + App("o.exe") + "\" \"%1\" [] " + App("x,y") + ",0"};
  Log got = Only("filetype");
  for (const std::string& l : Only("listtype")) got.push_back(l);
  EXPECT_EQ(got, want);
  ASSERT_EQ(engine.Types.Count, 3);
  EXPECT_STREQ(FormatTypeRecord(engine.Types.Items[1]), "drawio|was|was.drawio");
  log.clear();
  engine.RollBack();
  EXPECT_EQ(log, (Log{"unfiletype abc", "unlisttype Demo_App.odd odd|was|was.odd",
                      "unlisttype Demo_App.drawio drawio|was|was.drawio", "unlisttype Demo_App.docx docx|was|was.docx"}));
  EXPECT_EQ(engine.Types.Count, 0);
}

TEST_F(CopyEngineTest, AllZeroLengthsShowNoEstimateAndLeaveTheBar) {
  Add(Entry("e1.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 0, 0));
  Add(Entry("e2.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 0, 0));
  services.ticks = {0, 0, 50};  // also a step with no time passed
  engine.CopyAll();
  EXPECT_EQ(Only("progress"), Log{"progress 1000"});
  EXPECT_EQ(Only("estimate"), (Log{"estimate 估计剩余时间...", "estimate 估计剩余时间0秒."}));
  EXPECT_TRUE(FileExists(Native(App("e2.txt"))));
  EXPECT_TRUE(Only("error").empty());
}

// One file of 1000 bytes in 1000 ms, then one of `remaining` bytes that is kept
// (no data needed): the estimate after the first file is `remaining` ms.
class EstimateTest : public CopyEngineTest {
 protected:
  std::string EstimateAfterFirst(LONG remaining) {
    WriteBytes(setupFile, std::string(1000, 'z'));
    Add(Entry("one.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 1000, 0));
    Add(Entry("two.txt", FOLDER_INSTALL, "", COPY_IF_ABSENT, remaining, 0));
    engine.DestPath(1);
    WriteBytes(Native(App("two.txt")), "kept");
    services.ticks = {0, 1000, 1000};
    services.next = 0;
    engine.CopyAll();
    Log e = Only("estimate");
    return e.size() > 1 ? e[1] : "";
  }
};

TEST_F(EstimateTest, FormatBoundaries) {
  EXPECT_EQ(EstimateAfterFirst(59999), "estimate 估计剩余时间59秒.");
  log.clear();
  settings.FileList.Clear();
  EXPECT_EQ(EstimateAfterFirst(60000), "estimate 估计剩余时间1分0秒.");
  log.clear();
  settings.FileList.Clear();
  EXPECT_EQ(EstimateAfterFirst(3600000), "estimate 估计剩余时间1小时0分0秒.");
}

TEST_F(CopyEngineTest, RateChangesOnlyBeyondAFactorOfFourAndLineOnlyOnChange) {
  WriteBytes(setupFile, std::string(1000, 'z'));
  for (const char* n : {"1", "2", "3", "4"}) Add(Entry(n, FOLDER_INSTALL, "", COPY_ALWAYS, 1000, 0));
  Add(Entry("5", FOLDER_INSTALL, "", COPY_ALWAYS, 0, 0));
  // Speeds 1, 0.4 (kept: within four times), 0.15 (taken), 0.2 (kept).
  services.ticks = {0, 1000, 5000, 20000, 20000, 20000};
  engine.CopyAll();
  EXPECT_EQ(Only("estimate"),
            (Log{"estimate 估计剩余时间...", "estimate 估计剩余时间3秒.", "estimate 估计剩余时间2秒.",
                 "estimate 估计剩余时间6秒.", "estimate 估计剩余时间0秒.", "estimate 估计剩余时间0秒."}));
  EXPECT_EQ(Only("progress"), (Log{"progress 250", "progress 500", "progress 750", "progress 1000",
                                   "progress 1000", "progress 1000"}));
}

TEST_F(CopyEngineTest, TotalsBeyondTwoGigabytesAndNegativeLengths) {
  Add(Entry("big1", FOLDER_INSTALL, "", COPY_IF_ABSENT, 0x7FFFFFFF, 0));
  Add(Entry("neg", FOLDER_INSTALL, "", COPY_IF_ABSENT, -5, 0));
  Add(Entry("big2", FOLDER_INSTALL, "", COPY_IF_ABSENT, 0x7FFFFFFF, 0));
  for (int i = 0; i < 3; i++) {
    engine.DestPath(i);
    WriteBytes(Native(engine.DestPath(i).c_str()), "kept");
  }
  services.ticks = {0, 1, 2, 3};
  engine.CopyAll();
  EXPECT_EQ(Only("progress"), (Log{"progress 500", "progress 500", "progress 1000", "progress 1000"}));
  EXPECT_EQ(Only("estimate")[1], "estimate 估计剩余时间0秒.");  // 2^31 - 1 bytes at that speed: 1 ms
}

TEST_F(CopyEngineTest, PackedFilesCountTheirUnpackedBytes) {
  // The bar and the estimate follow the bytes written, not the bytes read.
  FileEntry packed = Entry("packed", FOLDER_INSTALL, "", COPY_IF_ABSENT, 10, 100);
  packed.Method = kMethodLzma;
  packed.Unpacked = 1000;
  Add(packed);
  Add(Entry("stored", FOLDER_INSTALL, "", COPY_IF_ABSENT, 1000, 0));
  for (int i = 0; i < 2; i++) WriteBytes(Native(engine.DestPath(i).c_str()), "kept");
  services.ticks = {0, 1, 2};
  engine.CopyAll();
  EXPECT_EQ(Only("progress").at(0), "progress 500");
}

TEST_F(CopyEngineTest, ClaimedSizesBeyondAnyNumberDoNotWrap) {
  for (const char* name : {"a", "b", "c"}) {
    FileEntry e = Entry(name, FOLDER_INSTALL, "", COPY_IF_ABSENT, 10, 100);
    e.Method = kMethodLzma;
    e.Unpacked = 0x7FFFFFFFFFFFFFF0ULL;
    Add(e);
    WriteBytes(Native(engine.DestPath(settings.FileList.Count - 1).c_str()), "kept");
  }
  services.ticks = {0, 1, 2, 3};
  engine.CopyAll();
  EXPECT_EQ(Only("progress").back(), "progress 1000");
}

TEST_F(CopyEngineTest, FilesNotWrittenAreListedInOneMessage) {
  Add(Entry("good.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 10, 100));
  Add(Entry("outside.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 50, 150));  // past the end
  Add(Entry("folder", FOLDER_INSTALL, "", COPY_ALWAYS, 10, 100));
  Add(Entry("negative.txt", FOLDER_INSTALL, "", COPY_ALWAYS, -1, 0));
  engine.DestPath(2);
  CreateFolder(App("folder").c_str());
  services.ticks = {0, 10, 20, 30, 40};
  engine.CopyAll();
  Log errors = Only("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "error 以下文件未能安装:\r\n" + App("outside.txt") + "\r\n" + App("folder") + "\r\n" +
                           App("negative.txt"));
  EXPECT_FALSE(FileExists(Native(App("outside.txt"))));  // no partial file
  EXPECT_FALSE(FileExists(Native(App("negative.txt"))));
  EXPECT_TRUE(IsFolder(Native(App("folder"))));
  EXPECT_EQ(Read(App("good.txt")), std::string(10, 'a'));
  // The message comes after the associations' place and before the final state.
  auto at = [&](const std::string& s) { return std::find(log.begin(), log.end(), s) - log.begin(); };
  EXPECT_LT(at("uninstaller"), at(errors[0]));
  EXPECT_LT(at(errors[0]), at("status 安装完成"));
  EXPECT_EQ(Only("progress").back(), "progress 1000");
}

TEST_F(CopyEngineTest, RowsThatWouldLeaveTheirFolderAreRefused) {
  struct Row {
    const char* name;
    const char* subDir;
  } bad[] = {
      {"up.txt", ".."},               {"up2.txt", "sub\\..\\.."},     {"..\\up3.txt", ""},
      {"..", ""},                     {"root.txt", "\\top"},           {"drive.txt", "C:\\top"},
      {"x.txt:stream", ""},           {"slash.txt", "a/../.."},        {"b/../../up4.txt", ""},
      {"dots.txt", "sub\\ . ."},   {"sub\\name.txt", ""},
      // Text that is not whole code page 936: a lead byte before a slash, a
      // dot or the end, and 0xFF. What its lost bytes become differs between
      // systems, so none of it is taken for a path.
      {"lead.txt", "a\x81/..\x81/.."}, {"dot.txt", "\x81.\\x"},    {"end.txt", "x\x81"},
      {"ff.txt", "..\xFF"},           {"..\xFF", ""},
  };
  for (const Row& r : bad) Add(Entry(r.name, FOLDER_INSTALL, r.subDir, COPY_ALWAYS, 10, 100));
  // Dots inside a name are fine, and so is a double-byte character whose
  // trail byte is 0x5C.
  Add(Entry("a..b.txt", FOLDER_INSTALL, "v1..2\\...x", COPY_ALWAYS, 10, 100));
  Add(Entry("\x81\x5C.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 20, 110));
  // Pairs whose trail byte is a backslash between dots: one character each
  // (private use on Windows), so one part that climbs nowhere.
  Add(Entry("hidden.txt", FOLDER_INSTALL, "..\xA1\\..\xA1\\..\xA1\\", COPY_ALWAYS, 20, 110));
  engine.CopyAll();

  EXPECT_EQ(Read(App("v1..2\\...x\\a..b.txt")), std::string(10, 'a'));
  EXPECT_EQ(Read(App("\x81\x5C.txt")), std::string(20, 'b'));
  EXPECT_EQ(Read(App("..\xA1\\..\xA1\\..\xA1\\\\hidden.txt")), std::string(20, 'b'));
  Log errors = Only("error");
  ASSERT_EQ(errors.size(), 1u);
  std::string want = "error 以下文件未能安装:";
  for (const Row& r : bad) want += "\r\n" + App(std::string(r.subDir) + (r.subDir[0] ? "\\" : "") + r.name);
  EXPECT_EQ(errors[0], want);
  EXPECT_EQ(engine.FailedCount, static_cast<int>(sizeof bad / sizeof bad[0]));
  // Nothing written or made outside the installation folder, nor inside it
  // for a refused row.
  for (const char* f : {"up.txt", "up2.txt", "up3.txt", "up4.txt", "root.txt", "top", "a", "b"})
    EXPECT_FALSE(FileExists(Native(root + f))) << f;
  for (const char* f : {"sub", "top", "a", "b", "x.txt:stream", "C:"}) EXPECT_FALSE(FileExists(Native(App(f)))) << f;
  EXPECT_EQ(FolderNames(Native(root)), (std::vector<std::string>{"app", "setup.bin"}));
  EXPECT_EQ(FolderNames(Native(App(""))),
            (std::vector<std::string>{"..\xA1\\..\xA1\\..\xA1\\", "v1..2", "\x81\x5C.txt"}));
  EXPECT_TRUE(Only("register").empty());
}

// A run stopped between files ends there; its undoing removes what it
// created and nothing else. A run that went to its end is undone as far as the
// uninstaller and the associations.
TEST_F(CopyEngineTest, StoppedRunAndRollBackRemoveOnlyWhatTheRunCreated) {
  Add(Entry("old.txt", FOLDER_INSTALL, "", COPY_ALWAYS, 10, 100));
  Add(Entry("a.ocx", FOLDER_INSTALL, "bin", COPY_ALWAYS, 10, 100));
  Add(Entry("x.txt", FOLDER_INSTALL, "lib\\deep", COPY_ALWAYS, 20, 110));
  Add(Entry("y.txt", FOLDER_INSTALL, "lib\\deep", COPY_ALWAYS, 20, 110));
  Add(Entry("z.txt", FOLDER_INSTALL, "other", COPY_ALWAYS, 30, 130));
  strcpy(settings.TypeAssoc[0].Extension, "abc");
  CreateFolder(App("").c_str());
  WriteBytes(Native(App("old.txt")), "old");
  page.stopAt = 4;  // before y.txt
  engine.CopyAll();
  EXPECT_TRUE(engine.Stopped);
  EXPECT_EQ(page.asked, 4);
  EXPECT_FALSE(FileExists(Native(App("lib\\deep\\y.txt"))));
  EXPECT_TRUE(Only("uninstaller").empty());
  EXPECT_TRUE(Only("filetype").empty());
  EXPECT_TRUE(Only("status 安装完成").empty());
  // Something of the user's put into a folder the run made keeps that folder.
  CreateFolder(App("bin\\mine").c_str());
  log.clear();
  engine.RollBack();
  EXPECT_EQ(log, Log{"unregister " + App("bin\\a.ocx")});
  EXPECT_FALSE(FileExists(Native(App("bin\\a.ocx"))));
  EXPECT_FALSE(FileExists(Native(App("lib"))));
  EXPECT_TRUE(IsFolder(Native(App("bin\\mine"))));
  EXPECT_EQ(Read(App("old.txt")), std::string(10, 'a'));  // overwritten: stays so

  RemoveTree(Native(App("bin")));
  services.writeUninstaller = true;
  page.stopAt = 0;
  EXPECT_EQ(engine.CopyAll(), 0);
  EXPECT_FALSE(engine.Stopped);
  EXPECT_TRUE(FileExists(Native(App("other\\z.txt"))));
  EXPECT_TRUE(FileExists(Native(App(UNINSTALLER_NAME))));
  log.clear();
  engine.RollBack();
  engine.RollBack();
  EXPECT_EQ(log, (Log{"unfiletype abc", "unregister " + App("bin\\a.ocx")}));
  for (const char* f : {UNINSTALLER_NAME, "other", "lib", "bin"}) EXPECT_FALSE(FileExists(Native(App(f)))) << f;
  EXPECT_EQ(Read(App("old.txt")), std::string(10, 'a'));
  // The installation folder, made for this installation, goes once empty.
  engine.MadeFolder = App("").c_str();
  engine.RollBack();
  EXPECT_TRUE(IsFolder(Native(App(""))));
  RemoveFile(App("old.txt").c_str());
  engine.RollBack();
  EXPECT_FALSE(IsFolder(Native(App(""))));
}

TEST_F(CopyEngineTest, LongFailureListIsCut) {
  for (int i = 0; i < kFailedListMax + 2; i++) {
    std::string n = "f" + std::to_string(i);
    Add(Entry(n.c_str(), FOLDER_INSTALL, "", COPY_ALWAYS, 10, 1000));
  }
  EXPECT_EQ(engine.CopyAll(), kFailedListMax + 2);
  Log errors = Only("error");
  ASSERT_EQ(errors.size(), 1u);
  std::string want = "error 以下文件未能安装:";
  for (int i = 0; i < kFailedListMax; i++) want += "\r\n" + App("f" + std::to_string(i));
  EXPECT_EQ(errors[0], want + "\r\n...");
  EXPECT_EQ(engine.FailedCount, kFailedListMax + 2);
}

}  // namespace
