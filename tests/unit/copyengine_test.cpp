// The copy run without its page: destinations, copy rules, the estimate, the
// order of what the page is told, and files that could not be written.
#include "setup/core/copyengine.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
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
  InUseAnswer AskFilesInUse(const char* programs, const char* files) override {
    log.push_back(std::string("inuse ") + programs + "|" + files);
    InUseAnswer a = answers.empty() ? kInUseIgnore : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return a;
  }
  void OldFileRemoved(const char* path, bool atRestart) override {
    log.push_back(std::string(atRestart ? "gone at restart " : "gone ") + path);
  }
  void FileDone(const char* path, CopyFileResult r) override {
    if (r == kFileAtRestart) log.push_back(std::string("beside ") + path);
  }
  Log& log;
  bool overwrite;
  int stopAt = 0;
  int asked = 0;
  std::vector<InUseAnswer> answers;  // to the questions about files in use, in turn
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
  void DeleteKeyEntry(const char* r) override { log.push_back(std::string("delkey ") + r); }
  void DeleteValueEntry(const char* r) override { log.push_back(std::string("delvalue ") + r); }
  void UndoFileType(const char* ext) override { log.push_back(std::string("undofiletype ") + ext); }
  bool FileInUse(const char* path) override { return inUse.count(path) != 0; }
  CString ProgramsUsing(const CPathList&) override { return programs.c_str(); }
  bool AtRestart(const char* from, const char* to) override {
    log.push_back(std::string("restart ") + from + (to[0] ? std::string(" -> ") + to : std::string(" gone")));
    return !restartRefused;
  }
  Log& log;
  std::set<std::string> inUse;  // files "in use" by another program
  bool restartRefused = false;  // AtRestart fails (the system refuses to schedule)
  std::string programs;
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
  EXPECT_EQ(log, (Log{"undofiletype abc", "unlisttype Demo_App.odd odd|was|was.odd",
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
  EXPECT_EQ(Read(App("old.txt")), "old");  // overwritten: its old copy is back

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
  EXPECT_EQ(log, (Log{"undofiletype abc", "unregister " + App("bin\\a.ocx")}));
  for (const char* f : {UNINSTALLER_NAME, "other", "lib", "bin"}) EXPECT_FALSE(FileExists(Native(App(f)))) << f;
  EXPECT_EQ(Read(App("old.txt")), "old");
  EXPECT_EQ(FolderNames(Native(App(""))), std::vector<std::string>{"old.txt"}) << "the undo folder went too";
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

// Every file below a folder with its bytes (folders end with a backslash),
// for comparing a tree before and after.
std::map<std::string, std::string> Tree(const std::string& folder, const std::string& prefix = "") {
  std::map<std::string, std::string> tree;
  for (const std::string& name : FolderNames(Native(folder))) {
    std::string path = folder + "\\" + name;
    if (IsFolder(Native(path))) {
      tree[prefix + name + "\\"] = "";
      for (auto& e : Tree(path, prefix + name + "\\")) tree.insert(e);
    } else {
      tree[prefix + name] = ReadBytes(Native(path));
    }
  }
  return tree;
}

// The installation of version 1 that the upgrades below replace: files in
// the installation folder (a control among them) and the Windows folder,
// setup.log naming them, an association, shortcuts in a program group and
// elsewhere, a folder made above the installation folder.
class UpgradeTest : public CopyEngineTest {
 protected:
  UpgradeTest() {
    CreateFolder(App("").c_str());
    for (const char* f : {"data", "plugins"}) CreateFolder(App(f).c_str());
    CreateFolder((root + "win").c_str());
    CreateFolder((root + "win\\progs").c_str());
    CreateFolder((root + "win\\progs\\升级").c_str());
    const std::pair<std::string, std::string> files[] = {
        {App("app.exe"), "app 1"},           {App("old.dll"), "old 1"},
        {App("data\\notes.txt"), "my notes"}, {App("plugins\\gone.ocx"), "ocx 1"},
        {root + "win\\v1.ini", "ini 1"},    {App(UNINSTALLER_NAME), "ridkit 1"}};
    for (const auto& f : files) WriteBytes(Native(f.first), f.second);
    for (const char* link : {"win\\progs\\升级\\app.lnk", "win\\progs\\升级\\ridkit.lnk", "win\\desk.lnk"})
      WriteBytes(Native(root + link), "link");
    std::string lines[] = {"[FILELIST]", App("app.exe"), App("old.dll"), App("data\\notes.txt"),
                           App("plugins\\gone.ocx"), root + "win\\v1.ini", "", "[TYPELIST]", "upg", "",
                           "[SHORTCUTLIST]", root + "win\\progs\\升级\\app.lnk", root + "win\\desk.lnk", "",
                           "[FOLDERLIST]", root + "made"};
    std::string log;
    for (const std::string& l : lines) log += l + "\r\r\n";
    WriteBytes(Native(App("setup.log")), log);
    engine.PreviousLog = App("setup.log").c_str();
    // Version 2: app.exe changed, old.dll and the control gone, new.dll new,
    // the notes kept when they are there.
    WriteBytes(setupFile, std::string(100, 'M') + "app 2new 2notes 2");
    Add(Entry("app.exe", FOLDER_INSTALL, "", COPY_ALWAYS, 5, 100));
    Add(Entry("new.dll", FOLDER_INSTALL, "", COPY_ALWAYS, 5, 105));
    Add(Entry("notes.txt", FOLDER_INSTALL, "data", COPY_IF_ABSENT, 7, 110));
    strcpy(settings.TypeAssoc[0].Extension, "upn");
    services.writeUninstaller = true;
    before = Tree(root + "app");
    beforeWin = Tree(root + "win");
  }
  std::string UndoFolder() {
    for (const std::string& name : FolderNames(Native(App(""))))
      if (name.compare(0, strlen(UNDO_FOLDER_PREFIX), UNDO_FOLDER_PREFIX) == 0) return App(name);
    return "";
  }
  std::map<std::string, std::string> before, beforeWin;
};

// Version 2 over version 1: the folder holds exactly version 2 (the user's
// notes kept), what version 1 had and version 2 has not goes (files, the
// control unregistered, shortcuts, the program group, the association, the
// folders they leave empty), and the folders to take back at removal carry
// over into the new log.
TEST_F(UpgradeTest, LeavesExactlyTheNewVersionOnceItStands) {
  EXPECT_EQ(engine.CopyAll(), 0);
  EXPECT_FALSE(engine.RolledBack || engine.Stopped || engine.RestartNeeded);
  EXPECT_EQ(Only("unregister"), Log{"unregister " + App("plugins\\gone.ocx")});
  EXPECT_EQ(Only("gone"), (Log{"gone " + App("old.dll"), "gone " + App("plugins\\gone.ocx"), "gone " + root + "win\\v1.ini"}));
  // Until it stands, the old copies wait in the run's own folder.
  ASSERT_FALSE(UndoFolder().empty());
  EXPECT_EQ(Read(App("setup.log")), before["setup.log"]);

  CPathList links;
  links.Add((root + "win\\desk.lnk").c_str());
  log.clear();
  engine.Commit(links, (root + "win\\progs\\").c_str());
  EXPECT_EQ(log, Log{"unfiletype upg"});
  std::map<std::string, std::string> want = {{"app.exe", "app 2"},       {"new.dll", "new 2"},
                                             {"data\\", ""},            {"data\\notes.txt", "my notes"},
                                             {UNINSTALLER_NAME, "u"},     {"setup.log", before["setup.log"]}};
  EXPECT_EQ(Tree(root + "app"), want);
  EXPECT_EQ(Tree(root + "win"), (std::map<std::string, std::string>{{"desk.lnk", "link"}, {"progs\\", ""}}));
  CPathList folders;
  engine.FoldersToLog(folders);
  EXPECT_EQ(std::string(folders.Lines(10)), root + "made");
  engine.RollBack();  // stood: nothing to take back
  EXPECT_EQ(Tree(root + "app"), want);
}

// Version 1 with associations of the list too ([TYPELIST2] after its folder
// list): a run taken back leaves those version 2 makes again, and once
// version 2 stands the one it no longer has goes as the old log says; its
// header association, now in the list (in other letter case), stays.
TEST_F(UpgradeTest, OldListAssociationsGoOnlyWhenTheNewVersionHasThemNot) {
  WriteBytes(Native(App("setup.log")), Read(App("setup.log")) + "\r\r\n[TYPELIST2]\r\r\ndocx|was|Word.Document\r\r\n" +
                                           "odd|made\r\r\n");
  strcpy(settings.ProductName, "Demo");
  settings.TypeAssoc[0].Extension[0] = 0;
  settings.AssociationCount = 2;
  settings.Associations[0] = {"docx", "INSTALL_FOLDER\\app.exe", "", ""};
  settings.Associations[1] = {"UPG", "INSTALL_FOLDER\\app.exe", "", ""};
  EXPECT_EQ(engine.CopyAll(), 0);
  log.clear();
  engine.RollBack();
  EXPECT_EQ(Only("un"), Log{"unlisttype Demo.UPG UPG|was|was.UPG"});
  EXPECT_EQ(engine.CopyAll(), 0);
  log.clear();
  engine.Commit(CPathList(), (root + "win\\progs\\").c_str());
  EXPECT_EQ(Only("un"), Log{"unlisttype Demo.odd odd|made"});
}

// Version 1's uninstaller table names registry entries and its product had
// another name: once version 2 stands, what only version 1 named goes (keys
// first, then values, in its order), what version 2 still names, lies in or
// holds stays, and its list association's class is taken by the old name. A
// run taken back deletes nothing; an old uninstaller without a table gives
// nothing to delete and the new name.
TEST_F(UpgradeTest, OldRegistryEntriesGoOnlyWhenTheNewVersionNamesThemNot) {
  std::string program(100, 'p'), setupFile = App("old-setup.bin"), dirText = App("");
  WriteBytes(Native(setupFile), "");
  UninstallerSource old = {program.data(), 100, setupFile.c_str(), "Old Name", 0, 0, 0, 0,
                           {"HKEY_CURRENT_USER|Software\\A", "HKEY_CURRENT_USER|Software\\B",
                            "HKEY_CURRENT_USER|Software\\Kept\\Inner", "HKEY_CURRENT_USER|Software\\Holds"},
                           {"HKEY_CURRENT_USER|Software\\V|v", "HKEY_CURRENT_USER|Software\\A|w",
                            "HKEY_CURRENT_USER|Software\\V|same"},
                           dirText.c_str()};
  ASSERT_TRUE(WriteUninstaller(old));
  WriteBytes(Native(App("setup.log")), Read(App("setup.log")) + "\r\r\n[TYPELIST2]\r\r\nodd|made\r\r\n");
  strcpy(settings.ProductName, "New Name");
  settings.RegKeys[0] = "HKEY_CURRENT_USER|\\software\\a\\";
  settings.RegKeys[1] = "HKEY_CURRENT_USER|Software\\Kept";
  settings.RegValues[0] = "HKEY_CURRENT_USER|Software\\Holds\\Sub|x";
  settings.RegValues[1] = "HKEY_CURRENT_USER|software\\v|SAME";

  page.stopAt = 2;
  engine.CopyAll();
  engine.RollBack();
  EXPECT_EQ(Only("del"), Log{});
  page.stopAt = 0;
  page.asked = 0;
  EXPECT_EQ(engine.CopyAll(), 0);
  EXPECT_EQ(Only("del"), Log{});
  log.clear();
  engine.Commit(CPathList(), (root + "win\\progs\\").c_str());
  EXPECT_EQ(Only("del"), (Log{"delkey HKEY_CURRENT_USER|Software\\B", "delvalue HKEY_CURRENT_USER|Software\\V|v"}));
  EXPECT_EQ(Only("unlisttype"), Log{"unlisttype Old Name.odd odd|made"});

  // Version 2 over version 2, whose uninstaller the fixture wrote as bytes
  // without a table.
  log.clear();
  EXPECT_EQ(engine.CopyAll(), 0);
  engine.Commit(CPathList(), (root + "win\\progs\\").c_str());
  EXPECT_EQ(Only("del"), Log{});
  EXPECT_EQ(Only("unlisttype"), Log{"unlisttype New Name.odd odd|made"});
}

// A file that cannot be written, a run stopped half-way, a run stopped at
// its end, and an interrupted run that a later one finds: each time version
// 1 comes back byte for byte, its log too, and nothing of version 2 stays.
TEST_F(UpgradeTest, PutsThePreviousVersionBackWhenItFailsOrStops) {
  Add(Entry("broken.dll", FOLDER_INSTALL, "", COPY_ALWAYS, 50, 1000));  // past the end of the setup file
  engine.CopyAll();
  EXPECT_TRUE(engine.RolledBack);
  EXPECT_EQ(Only("error"), Log{"error 以下文件未能安装，已恢复原来安装的版本:\r\n" + App("broken.dll")});
  EXPECT_EQ(Only("register"), Log{"register " + App("plugins\\gone.ocx")});  // registered again
  EXPECT_EQ(Only("undofiletype"), Log{"undofiletype upn"});
  EXPECT_EQ(Tree(root + "app"), before);
  EXPECT_EQ(Tree(root + "win"), beforeWin);

  settings.FileList.Clear();
  Add(Entry("app.exe", FOLDER_INSTALL, "", COPY_ALWAYS, 5, 100));
  Add(Entry("new.dll", FOLDER_INSTALL, "", COPY_ALWAYS, 5, 105));
  for (int stopAt : {2, 3}) {  // after app.exe; after the last file
    page.asked = 0;
    page.stopAt = stopAt;
    engine.CopyAll();
    EXPECT_TRUE(engine.Stopped);
    engine.RollBack();
    EXPECT_EQ(Tree(root + "app"), before) << stopAt;
  }

  // A crash before the run stood: the next run's first look puts it back.
  page.stopAt = 0;
  {
    CCopyEngine crashed(settings, page, services);
    crashed.Folders = engine.Folders;
    crashed.PreviousLog = engine.PreviousLog;
    crashed.CopyAll();
    ASSERT_EQ(Read(App("app.exe")), "app 2");
  }
  std::string undo = UndoFolder();
  ASSERT_FALSE(undo.empty());
  EXPECT_EQ(RecoverInterruptedRuns(App("").c_str()), 1);
  EXPECT_EQ(Tree(root + "app"), before);
  EXPECT_EQ(Tree(root + "win"), beforeWin);
}

// Version 2 packed in solid blocks: the files of a block that reads are
// written from it and move the bar by their bytes; a block found damaged
// while the run writes its files fails them, and version 1 comes back.
TEST_F(UpgradeTest, ADamagedBlockPutsThePreviousVersionBack) {
  settings.FileList.Clear();
  const std::string good = "app 2new 2", bad = "more 2!";
  RegionRef block = {100, static_cast<long long>(good.size()), kMethodStored, kFilterNone, good.size(),
                     Crc32Update(0, good.data(), good.size())};
  ASSERT_TRUE(settings.Blocks.Set(1, block));
  block.Offset = 110;
  block.Length = static_cast<long long>(bad.size());
  block.Unpacked = bad.size();
  block.Crc = Crc32Update(0, bad.data(), bad.size()) ^ 1;  // not what the bytes give
  ASSERT_TRUE(settings.Blocks.Set(2, block));
  settings.Blocks.Finish();
  auto solid = [](const char* name, long long number, long long at, const std::string& bytes) {
    FileEntry e = Entry(name, FOLDER_INSTALL, "", COPY_ALWAYS, 0, 100);
    e.Method = kMethodSolid;
    e.Block = number;
    e.BlockOffset = at;
    e.Unpacked = bytes.size();
    e.Crc = Crc32Update(0, bytes.data(), bytes.size());
    return e;
  };
  Add(solid("app.exe", 1, 0, "app 2"));
  Add(solid("new.dll", 1, 5, "new 2"));
  Add(solid("more.dll", 2, 0, bad));
  engine.CopyAll();
  EXPECT_TRUE(engine.RolledBack);
  EXPECT_EQ(Only("error"), Log{"error 以下文件未能安装，已恢复原来安装的版本:\r\n" + App("more.dll")});
  // The bar moved by the bytes of the first block, and never back.
  int last = -1;
  for (const std::string& line : Only("progress ")) {
    int pos = atoi(line.c_str() + 9);
    EXPECT_GE(pos, last) << line;
    last = pos;
  }
  EXPECT_GE(last, 10 * 1000 / 17);
  EXPECT_EQ(Tree(root + "app"), before);
  EXPECT_EQ(Tree(root + "win"), beforeWin);
}

// Files in use: asked about (again on "重试"), then written beside their
// targets and, once the run stands, scheduled to replace them at the next
// restart; a file that is gone from the package and in use goes at the
// restart, with the folder it leaves. "取消" ends the run before its first
// file.
TEST_F(UpgradeTest, FilesInUseWaitForTheRestart) {
  services.inUse = {App("app.exe"), App("plugins\\gone.ocx")};
  services.programs = "app.exe (1234)";
  page.answers = {kInUseRetry, kInUseIgnore};
  engine.CopyAll();
  std::string files = App("app.exe") + "\r\n" + App("plugins\\gone.ocx");
  EXPECT_EQ(Only("inuse"), (Log{"inuse app.exe (1234)|" + files, "inuse app.exe (1234)|" + files}));
  EXPECT_TRUE(engine.RestartNeeded);
  EXPECT_EQ(Only("beside"), Log{"beside " + App("app.exe")});
  EXPECT_EQ(Read(App("app.exe")), "app 1");
  EXPECT_EQ(Read(App("app.exe" BESIDE_SUFFIX)), "app 2");
  EXPECT_EQ(Read(App("plugins\\gone.ocx")), "ocx 1");
  EXPECT_EQ(Only("gone at restart"), Log{"gone at restart " + App("plugins\\gone.ocx")});
  log.clear();
  CPathList links;
  engine.Commit(links, (root + "win\\progs\\").c_str());
  EXPECT_EQ(Only("restart"), (Log{"restart " + App("plugins\\gone.ocx") + " gone",
                                 "restart " + App("app.exe" BESIDE_SUFFIX) + " -> " + App("app.exe"),
                                 "restart " + App("plugins") + " gone"}));
  EXPECT_TRUE(engine.RestartNeeded);
  EXPECT_EQ(engine.NotScheduled.Count(), 0);

  // Taken back before it stood: the file beside goes, the control is
  // registered again.
  WriteBytes(Native(App("app.exe")), "app 1");
  RemoveFile(App("app.exe" BESIDE_SUFFIX).c_str());
  page.answers = {kInUseIgnore};
  engine.CopyAll();
  log.clear();
  engine.RollBack();
  EXPECT_FALSE(FileExists(Native(App("app.exe" BESIDE_SUFFIX))));
  EXPECT_EQ(Only("register"), Log{"register " + App("plugins\\gone.ocx")});

  // Scheduling refused: no restart is claimed, the files stay as they are
  // and are named, the file beside goes (nothing would put it in place).
  services.restartRefused = true;
  page.answers = {kInUseIgnore};
  engine.CopyAll();
  engine.Commit(links, (root + "win\\progs\\").c_str());
  EXPECT_FALSE(engine.RestartNeeded);
  ASSERT_EQ(engine.NotScheduled.Count(), 2);
  EXPECT_EQ(std::string(engine.NotScheduled[0]), App("plugins\\gone.ocx"));
  EXPECT_EQ(std::string(engine.NotScheduled[1]), App("app.exe"));
  EXPECT_FALSE(FileExists(Native(App("app.exe" BESIDE_SUFFIX))));
  EXPECT_EQ(Read(App("app.exe")), "app 1");
  services.restartRefused = false;

  page.answers = {kInUseCancel};
  RemoveFile(App("new.dll").c_str());
  engine.CopyAll();
  EXPECT_TRUE(engine.Stopped);
  EXPECT_FALSE(FileExists(Native(App("new.dll"))));
  EXPECT_TRUE(UndoFolder().empty());
}

}  // namespace
