// The removal run without its dialog: what it reports and in which order, how
// it ends, what goes from the disk and what stays, the folder guard, and the
// progress bar for big totals. Real files in a folder of their own; the
// platform's registry, control and special-folder services are fakes.
#include "uninstall/core/removalengine.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/setuplog.h"
#include "common/shortenpath.h"
#include "framework/fsys.h"
#include "testutil.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

typedef std::vector<std::string> Log;

bool Exists(const std::string& p) { return GetAttributes(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Put(const std::string& path, size_t size) {
  // Every folder on the way.
  for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1))
    CreateFolder(path.substr(0, i).c_str());
  ASSERT_TRUE(WriteBytes(Native(path), std::string(size, 'x'))) << path;
}

#ifdef _WIN32
// A folder of our own with a lower-case name (the program-group rule works
// on the lower-cased path).
std::string NewRoot() {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  static int n = 0;
  for (;;) {
    std::string d = std::string(base) + "rm" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n++);
    if (CreateDirectoryA(d.c_str(), NULL)) return d + "\\";
  }
}
#else
std::string NewRoot() {
  static int n = 0;
  for (;;) {
    std::string d = "/tmp/rm" + std::to_string(getpid()) + "_" + std::to_string(n++);
    if (mkdir(d.c_str(), 0755) == 0) return d + "/";
  }
}
#endif

struct FakeProgress : IRemovalProgress {
  explicit FakeProgress(Log& l) : log(l) {}
  void SetHeadline(const char* t) override { log.push_back(std::string("headline ") + t); }
  void SetStatus(const char* t) override { log.push_back(std::string("status ") + t); }
  void SetProgress(int pos) override { log.push_back("progress " + std::to_string(pos)); }
  void ShowMessage(const char* t) override { log.push_back(std::string("message ") + t); }
  void FileLeft(const char* p) override { list.push_back(p); }
  Log& log;
  Log list;
};

struct FakeServices : IRemovalServices {
  explicit FakeServices(Log& l) : log(l) {}
  void Sleep(DWORD ms) override { log.push_back("sleep " + std::to_string(ms)); }
  int UnregisterServer(const char* p) override {
    log.push_back(std::string("unregister ") + p + (Exists(p) ? " (present)" : " (absent)"));
    return 1;
  }
  void RemoveTypeAssociation(const char* e) override { log.push_back(std::string("type ") + e); }
  void RemoveListType(const char* c, const TypeRecord& r) override {
    log.push_back(std::string("list type ") + c + " " + FormatTypeRecord(r).c_str());
  }
  void DeleteKeyEntry(const char* r) override { log.push_back(std::string("key ") + r); }
  void DeleteValueEntry(const char* r) override { log.push_back(std::string("value ") + r); }
  void RemoveProductEntries(const char* folder) override { log.push_back(std::string("entry ") + folder); }
  CString ProgramsFolder() override { return CString(programs.c_str()); }
  int ProtectedFolders(CString* out, int max) override {
    int n = 0;
    for (const std::string& p : protectedFolders)
      if (n < max) out[n++] = p.c_str();
    return n;
  }
  CString ProfilesFolder() override { return CString(profiles.c_str()); }
  // As the platform resolves paths: a drive letter without a backslash ("C:",
  // "C:name") is taken from that drive's current folder.
  CString FullPath(const char* p) override {
    std::string s = p;
    if (s.size() >= 2 && s[1] == ':' && (s.size() == 2 || (s[2] != '\\' && s[2] != '/')))
      return CString((s.substr(0, 2) + "\\current\\folder\\" + s.substr(2)).c_str());
    return CString(p);
  }
  bool IdentifyFolder(const char* p, FolderIdentity& id) override {
#ifdef _WIN32
    HANDLE h = CreateFileA(p, 0, 7, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ok;
#else
    struct stat st;
    if (stat(Native(p).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    id = {static_cast<DWORD>(st.st_dev), static_cast<DWORD>(st.st_ino >> 32), static_cast<DWORD>(st.st_ino)};
    return true;
#endif
  }
  bool DeleteAtRestart(const char* p) override {
    log.push_back(std::string("at restart ") + p);
    return true;
  }
  Log& log;
  std::string programs, profiles;
  std::vector<std::string> protectedFolders;
};

class RemovalTest : public ::testing::Test {
 protected:
  RemovalTest() : page(log), services(log), engine(settings, page, services) {
    root = NewRoot();
    app = root + "my app\\";
    services.programs = root + "programs\\";
    services.protectedFolders = {root + "programs", root + "desk"};
    settings.ProductName = "测试";
    settings.SetupLogPath = (app + "setup.log").c_str();
    CreateFolder(app.c_str());
    CreateFolder((root + "programs").c_str());
    CreateFolder((root + "desk").c_str());
  }
  ~RemovalTest() override { RemoveTree(Native(root).substr(0, Native(root).size() - 1)); }

  void WriteLog(const Log& files, const Log& exts, const Log& shortcuts, const Log& folders = Log()) {
    CSetupLogWriter w;
    ASSERT_TRUE(w.Create(settings.SetupLogPath));
    w.WriteLine(LOG_FILES_SECTION);
    for (const std::string& f : files) w.WriteLine(f.c_str());
    w.WriteLine("");
    w.WriteLine(LOG_TYPES_SECTION);
    for (const std::string& e : exts) w.WriteLine(e.c_str());
    w.WriteLine("");
    w.WriteLine(LOG_SHORTCUTS_SECTION);
    for (const std::string& s : shortcuts) w.WriteLine(s.c_str());
    CPathList made;
    for (const std::string& f : folders) made.Add(f.c_str());
    WriteLaterSections(w, &made, 0);
    ASSERT_TRUE(w.Close());
  }
  std::string Deleting(const std::string& path) {
    return "status 正在删除 " + std::string(ShortenPath(path.c_str(), 35).c_str());
  }
  Log Only(const char* prefix) {
    Log out;
    for (const std::string& l : log)
      if (l.compare(0, strlen(prefix), prefix) == 0) out.push_back(l);
    return out;
  }
  bool Has(const std::string& p) { return Exists(p); }

  std::string root, app;
  Log log;
  UninstallSettings settings;
  FakeProgress page;
  FakeServices services;
  CRemovalEngine engine;
};

TEST_F(RemovalTest, WholeRunInOrderEndsFinishedWithNothingLeft) {
  std::string ctl = app + "bin\\ctl.OCX", bak = app + "bin\\keep.ocx.bak", exe = app + "app.exe";
  std::string gone = app + "gone.txt", shared = root + "sys\\shared.dll";
  Put(exe, 100);
  Put(ctl, 300);
  Put(bak, 100);
  Put(shared, 500);
  MakeReadOnly(Native(exe));
  Put(app + "ridkit.exe", 10);
  CreateFolder((app + "empty").c_str());
  CreateFolder((app + "empty\\deeper").c_str());
  std::string desk = root + "desk\\app.lnk";
  std::string group = services.programs + "my app\\";
  std::string other = services.programs + "other\\x.lnk";
  Put(desk, 1);
  Put(group + "app.lnk", 1);
  Put(group + "ridkit.lnk", 1);  // not in the log: goes with the group
  Put(other, 1);
  WriteLog({exe, ctl, bak, gone, shared}, {"abcd", "x"}, {desk, group + "app.lnk", other});
  settings.RegKeys[0] = "HKEY_CURRENT_USER|Software\\A";
  settings.RegValues[0] = "HKEY_CURRENT_USER|Software\\A|v";
  settings.RegValues[1] = "hkey_current_user|x|y";

  EXPECT_EQ(engine.RunRemoval(), kRemovalFinished);

  Log want = {"headline 正在卸载测试...", "status 正在读取文件信息...", "sleep 500",
              Deleting(exe), "progress 100",
              Deleting(ctl), "unregister " + ctl + " (present)", "progress 400",
              Deleting(bak), "progress 500",
              Deleting(gone), "progress 500",
              Deleting(shared), "progress 1000",
              "type abc", "type x", "status 正在删除文件类型关联", "sleep 500",
              "key HKEY_CURRENT_USER|Software\\A", "key ",
              "value HKEY_CURRENT_USER|Software\\A|v", "value hkey_current_user|x|y",
              "entry " + app.substr(0, app.size() - 1),
              "status 正在删除文件快捷式", "sleep 500"};
  EXPECT_EQ(log, want);
  EXPECT_TRUE(page.list.empty());
  for (const std::string& p : {exe, ctl, bak, shared, desk, other, group, app})
    EXPECT_FALSE(Has(Native(p))) << p;
  // Only the first group goes whole; the Programs folder and the desktop stay.
  EXPECT_TRUE(Has(Native(services.programs + "other")));
  EXPECT_TRUE(Has(Native(root + "desk")));
  EXPECT_TRUE(Has(Native(root + "sys")));
}

// The list's associations (after the shortcut list) go in the type pass, by
// the class the product's name gives them, lines that are no record passed
// over; then every registry key and every value, in the package's order.
TEST_F(RemovalTest, ListAssociationsAndEveryRegistryEntryInOrder) {
  std::string desk = root + "desk\\app.lnk";
  Put(desk, 1);
  WriteLog({}, {"abc"}, {desk});
  {
    std::string text = ReadBytes(Native(app + "setup.log"));
    text += "\r\r\n[FOLDERLIST]\r\r\nC:\\x\r\r\n\r\r\n[TYPELIST2]\r\r\ndocx|made\r\r\nrtf|was|rtffile\r\r\n"
            "..\\x|made\r\r\njson|kept\r\r\n";
    WriteBytes(Native(app + "setup.log"), text);
  }
  for (int i : {0, 2, 63}) settings.RegKeys[i] = ("HKEY_USERS|k" + std::to_string(i + 1)).c_str();
  for (int i : {1, 5}) settings.RegValues[i] = ("HKEY_USERS|k|v" + std::to_string(i + 1)).c_str();
  EXPECT_EQ(engine.RunRemoval(), kRemovalFinished);
  Log want = {"type abc",
              "list type 测试.docx docx|made",
              "list type 测试.rtf rtf|was|rtffile",
              "list type 测试.json json|kept",
              "key HKEY_USERS|k1",
              "key ",
              "key HKEY_USERS|k3",
              "key HKEY_USERS|k64",
              "value ",
              "value HKEY_USERS|k|v2",
              "value HKEY_USERS|k|v6"};
  Log got;
  for (const std::string& l : log)
    if (l.compare(0, 5, "type ") == 0 || l.compare(0, 10, "list type ") == 0 || l.compare(0, 4, "key ") == 0 ||
        l.compare(0, 6, "value ") == 0)
      got.push_back(l);
  EXPECT_EQ(got, want);
  EXPECT_FALSE(Has(Native(desk)));
}

TEST_F(RemovalTest, LogThatCannotBeOpenedRemovesNothing) {
  Put(app + "app.exe", 10);
  Put(app + "ridkit.exe", 10);
  EXPECT_EQ(engine.RunRemoval(), kRemovalNoLog);
  EXPECT_EQ(log, (Log{"message 打开 setup.log 失败!"}));
  EXPECT_TRUE(Has(Native(app + "app.exe")));
  EXPECT_TRUE(Has(Native(app + "ridkit.exe")));

  // Pressed again once the log is there (all its sections empty), the run
  // goes through, with no type or shortcut step and no pause for them.
  log.clear();
  WriteLog({}, {}, {});
  EXPECT_EQ(engine.RunRemoval(), kRemovalFilesLeft);
  Log want = {"headline 正在卸载测试...", "status 正在读取文件信息...", "sleep 500",
              "key ", "key ", "value ", "value ", "entry " + app.substr(0, app.size() - 1)};
  EXPECT_EQ(log, want);
  EXPECT_EQ(page.list, Log{app + "app.exe"});

  log.clear();
  EXPECT_EQ(engine.RemoveInstallFolder(), kFolderRemoved);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(Has(Native(app)));
}

TEST_F(RemovalTest, GuardRefusesRootsSystemFoldersAndWhatHoldsThem) {
  services.protectedFolders = {"C:\\Windows", "c:\\windows\\system32\\", "C:/Program Files",
                               "C:\\Users\\Bob\\Desktop"};
  services.profiles = "C:\\Users";
  for (const char* bad : {"C:\\", "c:", "C:", "C:\\WINDOWS", "C:\\Windows\\System32", "c:\\program files\\",
                          "C:\\Users", "C:\\Users\\Bob", "C:\\users\\alice\\", "C:\\Users\\Bob\\Desktop",
                          "\\\\server\\share", "\\\\server\\share\\", "\\\\?\\C:\\x", "", "relative\\dir",
#ifdef _WIN32
                          "\\rooted",  // on the host, "/rooted"
#endif
                          "D:name"})
    EXPECT_FALSE(engine.MayRemoveWhole(bad)) << bad;
  for (const char* good : {"C:\\Program Files\\App", "C:\\Windows2", "C:\\Users\\Bob\\Desktop2",
                           "C:\\Users\\Bob\\Documents\\App", "\\\\server\\share\\app", "D:\\x"})
    EXPECT_TRUE(engine.MayRemoveWhole(good)) << good;
  // A profiles folder that is a drive root would make every top folder a
  // profile: that rule is then left out.
  services.profiles = "C:\\";
  EXPECT_TRUE(engine.MayRemoveWhole("C:\\Games"));
}

TEST_F(RemovalTest, ProtectedFoldersAreRefusedWithAMessage) {
  // "全部删除" of a folder that holds a protected one: nothing goes.
  Put(app + "user.txt", 5);
  services.protectedFolders.push_back(app + "sub\\inner");
  EXPECT_EQ(engine.RemoveInstallFolder(), kFolderRefused);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].find("message 不能删除文件夹 "), 0u) << log[0];
  EXPECT_TRUE(Has(Native(app + "user.txt")));

  // A protected folder below Programs named as the program group stays, and
  // the run still ends.
  log.clear();
  std::string startup = services.programs + "startup\\";
  services.protectedFolders = {root + "programs\\startup"};
  Put(startup + "other.lnk", 1);
  WriteLog({}, {}, {startup + "s.lnk"});
  EXPECT_EQ(engine.RunRemoval(), kRemovalFilesLeft);  // user.txt
  ASSERT_EQ(Only("message").size(), 1u);
  EXPECT_TRUE(Has(Native(startup + "other.lnk")));
}

TEST(RemovalRules, ProgressStaysRightBeyondTwoGigabytes) {
  const long long g = 1LL << 30;
  EXPECT_EQ(CRemovalEngine::ProgressOf(0, 0), 0);
  EXPECT_EQ(CRemovalEngine::ProgressOf(5, 0), 0);
  EXPECT_EQ(CRemovalEngine::ProgressOf(3 * g, 6 * g), 500);
  EXPECT_EQ(CRemovalEngine::ProgressOf(6 * g, 6 * g), 1000);
  EXPECT_EQ(CRemovalEngine::ProgressOf(3, 3), 1000);
  EXPECT_EQ(CRemovalEngine::ProgressOf(1, 3), 333);
  EXPECT_EQ(CRemovalEngine::ProgressOf(7 * g, 6 * g), 1000);  // a file that grew between the passes
  EXPECT_EQ(CRemovalEngine::ProgressOf(1000LL * g, 4000LL * g), 250);
}

// A link to a folder elsewhere goes, or stays with a message; what it points
// to is never touched, nor listed. So too when the installation folder itself
// is such a link.
TEST_F(RemovalTest, LinksAreNotFollowed) {
  Put(root + "outside\\precious.txt", 5);
  if (!MakeFolderLink(Native(app + "link"), Native(root + "outside"))) GTEST_SKIP() << "no folder links here";
  Put(app + "user.txt", 5);
  EXPECT_EQ(engine.ListRemainingFiles(FolderOf(settings.SetupLogPath)), 1);
  EXPECT_EQ(page.list, Log{app + "user.txt"});
  RemovalResult result = engine.RemoveInstallFolder();
  EXPECT_TRUE(Has(Native(root + "outside\\precious.txt")));
  // Wine cannot remove a Unix link through the folder call: it stays, named.
  if (Has(Native(app + "link"))) {
    EXPECT_EQ(result, kFolderFailed);
    EXPECT_EQ(log, Log{"message 删除 " + app + "link 失败!"});
  } else {
    EXPECT_EQ(result, kFolderRemoved);
    EXPECT_TRUE(log.empty());
  }

  log.clear();
  ASSERT_TRUE(MakeFolderLink(Native(root + "linked app"), Native(root + "outside")));
  settings.SetupLogPath = (root + "linked app\\setup.log").c_str();
  engine.RemoveInstallFolder();
  EXPECT_TRUE(Has(Native(root + "outside\\precious.txt")));
}

// Another name for a protected folder, or for one that holds it, is refused
// like the folder's own name.
TEST_F(RemovalTest, AliasesOfProtectedFoldersAreRefused) {
  if (!MakeFolderLink(Native(root + "via"), Native(root.substr(0, root.size() - 1))))
    GTEST_SKIP() << "no folder links here";
  EXPECT_TRUE(engine.MayRemoveWhole((root + "via\\my app").c_str()));
  EXPECT_FALSE(engine.MayRemoveWhole((root + "via\\desk").c_str()));
  EXPECT_FALSE(engine.MayRemoveWhole((root + "via\\desk\\").c_str()));
  EXPECT_FALSE(engine.MayRemoveWhole((root + "via").c_str()));  // holds the desktop
  services.profiles = root + "via\\programs";
  Put(root + "programs\\bob\\x.lnk", 1);
  EXPECT_FALSE(engine.MayRemoveWhole((root + "programs\\bob").c_str()));  // a profile
}

// A log at a drive's root names the root, never that drive's current folder:
// "全部删除" walks nothing there.
TEST_F(RemovalTest, LogAtADriveRootNeverEmptiesTheDrive) {
  settings.SetupLogPath = "Q:\\setup.log";
  EXPECT_EQ(engine.RemoveInstallFolder(), kFolderRefused);
  EXPECT_EQ(log, Log{"message 不能删除文件夹 Q:: 它是(或含有)系统或用户的文件夹."});
  for (const char* root : {"Q:", "Q:\\", "Q:."}) EXPECT_FALSE(engine.MayRemoveWhole(root)) << root;
  EXPECT_EQ(std::string(engine.TargetOf("Q:")), "Q:\\");
}

// With no Programs folder known, no shortcut names a program group: the
// folders of the shortcuts (the desktop, the Start menu) stay.
TEST_F(RemovalTest, UnknownProgramsFolderNamesNoGroup) {
  std::string shortcuts = root + "shortcuts\\desktop\\";
  Put(shortcuts + "mine.txt", 1);
  for (const char* programs : {"", "\\", "C:\\", "start menu\\"}) {
    CreateFolder(app.c_str());
    Put(shortcuts + "app.lnk", 1);
    WriteLog({}, {}, {shortcuts + "app.lnk"});
    services.programs = programs;
    log.clear();
    EXPECT_EQ(engine.RunRemoval(), kRemovalFinished) << programs;
    EXPECT_TRUE(Only("message").empty()) << programs;
    EXPECT_TRUE(Has(Native(shortcuts + "mine.txt"))) << programs;
    EXPECT_FALSE(Has(Native(shortcuts + "app.lnk")));
  }
}

// The folders the setup made above the installation folder (/D=) go after
// it, the deepest first, each once it is empty; never a protected one.
TEST_F(RemovalTest, FoldersTheSetupMadeGoOnceEmpty) {
  std::string made = root + "upg\\", deep = made + "deep\\";
  app = deep + "App\\";
  settings.SetupLogPath = (app + "setup.log").c_str();
  Put(app + "app.exe", 10);
  Put(root + "kept\\mine.txt", 1);
  Put(app + "ridkit.exe", 10);
  WriteLog({app + "app.exe"}, {}, {}, {deep, made, root + "kept", root + "programs", root + "desk"});
  EXPECT_EQ(engine.RunRemoval(), kRemovalFinished);
  EXPECT_FALSE(Has(Native(made)));
  EXPECT_TRUE(Has(Native(root + "kept\\mine.txt")));
  // Protected folders stay even when empty.
  EXPECT_TRUE(Has(Native(root + "programs")));
  EXPECT_TRUE(Has(Native(root + "desk")));
}

#ifdef _WIN32
// A file of the installation in use goes at the restart, with the folders
// that hold it and those the setup made: the run ends finished, files in use
// aside, and lists none of them as left. A shared file elsewhere in use stays.
TEST_F(RemovalTest, FilesInUseGoAtTheRestart) {
  std::string made = root + "upg\\";
  app = made + "App\\";
  settings.SetupLogPath = (app + "setup.log").c_str();
  std::string busy = app + "bin\\app.exe", shared = root + "sys\\shared.dll";
  Put(busy, 5);
  Put(app + "data\\d.txt", 5);
  Put(shared, 5);
  Put(app + "ridkit.exe", 10);
  WriteLog({busy, app + "data\\d.txt", shared}, {}, {}, {made});
  HANDLE h = CreateFileA(busy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE s = CreateFileA(shared.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(engine.RunRemoval(), kRemovalAtRestart);
  CloseHandle(h);
  CloseHandle(s);
  EXPECT_EQ(Only("at restart"), (Log{"at restart " + busy, "at restart " + app + "bin",
                                     "at restart " + app.substr(0, app.size() - 1), "at restart " + made}));
  EXPECT_TRUE(page.list.empty());
  EXPECT_FALSE(Has(app + "data"));
  EXPECT_TRUE(Has(shared));
}

TEST_F(RemovalTest, FileInUseStopsDeleteAllWithItsName) {
  std::string busy = app + "busy.txt";
  Put(busy, 5);
  Put(app + "other\\o.txt", 5);
  HANDLE h = CreateFileA(busy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(engine.RemoveInstallFolder(), kFolderFailed);
  CloseHandle(h);
  EXPECT_EQ(log, Log{"message 删除 " + busy + " 失败!"});
  EXPECT_TRUE(Has(busy));
  EXPECT_TRUE(Has(app));
}
#endif

}  // namespace
