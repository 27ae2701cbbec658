// The shell, registry and COM helpers against Wine's real registry, shell
// links and library loader.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "tests/fileutil.h"

namespace {

std::string DefaultValue(const std::string& key) {
  char buf[1024] = {0};
  LONG size = sizeof buf;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), buf, &size) != ERROR_SUCCESS) return "<missing>";
  return buf;
}

bool KeyExists(const std::string& key) {
  HKEY h = 0;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void DeleteTree(const std::string& key) { RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str()); }

class ComTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(0); }
  static void TearDownTestSuite() { CoUninitialize(); }
};

TEST(RegisterFileType, WritesTheSixKeysAndUpdatesTheProgram) {
  DeleteTree(".zqx");
  DeleteTree("zqxfile");
  RegisterFileType("zqx", "C:\\Program Files\\演示\\演示.exe", false);
  EXPECT_EQ(DefaultValue(".zqx"), "zqxfile");
  EXPECT_TRUE(KeyExists("zqxfile"));
  EXPECT_TRUE(KeyExists("zqxfile\\shell"));
  EXPECT_TRUE(KeyExists("zqxfile\\shell\\open"));
  EXPECT_EQ(DefaultValue("zqxfile\\DefaultIcon"), "C:\\Program Files\\演示\\演示.exe,0");
  EXPECT_EQ(DefaultValue("zqxfile\\shell\\open\\command"), "C:\\Program Files\\演示\\演示.exe %1");
  EXPECT_EQ(DefaultValue("zqxfile"), "");  // key without a value of its own

  RegisterFileType("zqx", "D:\\new\\viewer.exe", false);
  EXPECT_EQ(DefaultValue(".zqx"), "zqxfile");
  EXPECT_EQ(DefaultValue("zqxfile\\DefaultIcon"), "D:\\new\\viewer.exe,0");
  EXPECT_EQ(DefaultValue("zqxfile\\shell\\open\\command"), "D:\\new\\viewer.exe %1");
  DeleteTree(".zqx");
  DeleteTree("zqxfile");
}

// An association of the package's list: a class of the product's own, the
// description, icon and quoted command in it; and its removal takes back
// exactly what was written: ".ext" as it was found (made, without a value,
// with another's class), left alone once another program took it over, and
// kept when something else was added below it.
TEST(RegisterListType, WritesItsOwnClassAndTakesBackWhatItFound) {
  const char* cls = "演示.zqw";
  const std::string command = "\"C:\\Program Files\\演示\\w.exe\" \"%1\"";
  struct {
    const char* before;  // ".zqw" default before; "<missing>": no key, "": a key without a value
    bool otherTakesOver;
    int state;
    const char* after;
  } cases[] = {
      {"<missing>", false, kTypeMade, "<missing>"},
      {"", false, kTypeNone, ""},
      {"rtffile", false, kTypeWas, "rtffile"},
      {"rtffile", true, kTypeWas, "other.zqw"},
      {"演示.zqw", false, kTypeMade, "<missing>"},  // this product's own from before
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    DeleteTree(".zqw");
    DeleteTree(cls);
    if (strcmp(c.before, "<missing>") != 0) {
      HKEY h;
      ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".zqw", &h), ERROR_SUCCESS);
      if (c.before[0]) RegSetValueExA(h, 0, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.before), strlen(c.before) + 1);
      RegCloseKey(h);
    }
    TypeRecord record;
    record.Extension = "zqw";
    RegisterListType("zqw", cls, command.c_str(), "演示文档", "C:\\P\\i.dll,-101", record, false);
    EXPECT_EQ(record.State, c.state);
    EXPECT_EQ(DefaultValue(".zqw"), cls);
    EXPECT_EQ(DefaultValue(cls), "演示文档");
    EXPECT_EQ(DefaultValue(std::string(cls) + "\\DefaultIcon"), "C:\\P\\i.dll,-101");
    EXPECT_EQ(DefaultValue(std::string(cls) + "\\shell\\open\\command"), command);
    if (c.otherTakesOver) RegSetValueA(HKEY_CLASSES_ROOT, ".zqw", REG_SZ, "other.zqw", 9);
    UnregisterListType(cls, record, false);
    EXPECT_FALSE(KeyExists(cls));
    EXPECT_EQ(DefaultValue(".zqw"), c.after);
  }
  // Made by the setup, but another program put something below it since:
  // the key stays with that, without the setup's value.
  DeleteTree(".zqw");
  TypeRecord record;
  record.Extension = "zqw";
  RegisterListType("zqw", cls, command.c_str(), "", "C:\\P\\w.exe,0", record, false);
  EXPECT_EQ(DefaultValue(cls), "");  // no description: no value of its own
  HKEY h;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".zqw\\OpenWithProgids", &h), ERROR_SUCCESS);
  RegCloseKey(h);
  UnregisterListType(cls, record, false);
  EXPECT_TRUE(KeyExists(".zqw\\OpenWithProgids"));
  EXPECT_EQ(DefaultValue(".zqw"), "");
  DeleteTree(".zqw");
}

// What a saved shortcut holds, read back through the shell.
struct LinkInfo {
  std::string path, dir;
  int show = -1;
};

bool ReadLink(const std::string& file, LinkInfo& info) {
  IShellLinkA* link = 0;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* pf = 0;
  bool ok = false;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(pf->Load(wide, STGM_READ))) {
      char buf[MAX_PATH] = {0};
      link->GetPath(buf, MAX_PATH, 0, SLGP_RAWPATH);
      info.path = buf;
      buf[0] = 0;
      link->GetWorkingDirectory(buf, MAX_PATH);
      info.dir = buf;
      link->GetShowCmd(&info.show);
      ok = true;
    }
    pf->Release();
  }
  link->Release();
  return ok;
}

TEST_F(ComTest, ShortcutsKeepTargetFolderAndShowCommand) {
  std::string dir = Here();
  std::string target = dir + "程序.exe";
  std::ofstream(target) << "x";
  std::string lnk = dir + "快捷方式.lnk";
  DeleteFileA(lnk.c_str());
  ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str()));
  LinkInfo info;
  ASSERT_TRUE(ReadLink(lnk, info));
  EXPECT_EQ(info.path, target);
  EXPECT_EQ(info.dir, dir.substr(0, dir.size() - 1));
  // The show command as stored (header offset 0x3C); the link format has
  // readers take values other than 1, 3 and 7 as SW_SHOWNORMAL.
  std::string bytes = ReadBytes(lnk);
  ASSERT_GE(bytes.size(), 0x40u);
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(bytes.data() + 0x3C), static_cast<DWORD>(SW_SHOW));
  EXPECT_EQ(info.show, SW_SHOWNORMAL);

  // Saving again replaces the file; a target without a backslash has no folder.
  ASSERT_TRUE(CreateShortcut("notepad.exe", lnk.c_str()));
  LinkInfo bare;
  ASSERT_TRUE(ReadLink(lnk, bare));
  EXPECT_EQ(bare.dir, "");
  DeleteFileA(lnk.c_str());
  DeleteFileA(target.c_str());

  EXPECT_FALSE(CreateShortcut(target.c_str(), (dir + "no such folder\\x.lnk").c_str()));

  // A name whose double-byte character has the trail byte 0x5C: the folder
  // ends at the backslash before the name, not inside the character.
  std::string odd = dir + "\x81\x5C.exe";
  std::ofstream(odd) << "x";
  ASSERT_TRUE(CreateShortcut(odd.c_str(), lnk.c_str()));
  LinkInfo oddInfo;
  ASSERT_TRUE(ReadLink(lnk, oddInfo));
  EXPECT_EQ(oddInfo.dir, dir.substr(0, dir.size() - 1));
  DeleteFileA(lnk.c_str());
  DeleteFileA(odd.c_str());
}

// A value of the user's shell-folder keys, saved and put back by the test.
struct SavedValue {
  SavedValue(const char* key, const char* name) : key_(key), name_(name) {
    DWORD size = sizeof data_;
    present_ = RegGetValueA(HKEY_CURRENT_USER, key_, name_, RRF_RT_ANY | RRF_NOEXPAND, &type_, data_, &size) ==
               ERROR_SUCCESS;
    size_ = size;
  }
  ~SavedValue() {
    HKEY h = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_, 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
    if (present_) RegSetValueExA(h, name_, 0, type_, data_, size_);
    else RegDeleteValueA(h, name_);
    RegCloseKey(h);
  }
  const char* key_;
  const char* name_;
  bool present_;
  DWORD type_ = 0, size_ = 0;
  BYTE data_[2 * MAX_PATH];
};

TEST_F(ComTest, SpecialFolderEndingInATrailByteGetsItsBackslash) {
  const char kUser[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const char kShell[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  SavedValue user(kUser, "Desktop"), shell(kShell, "Desktop");
  std::string folder = Here() + "desk\x81\x5C";
  CreateDirectoryA(folder.c_str(), 0);
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kUser, 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
  RegSetValueExA(h, "Desktop", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(h);
  char platform[MAX_PATH] = {0};
  SHGetFolderPathA(0, CSIDL_DESKTOPDIRECTORY, 0, 0, platform);
  ASSERT_EQ(std::string(platform), folder) << "the platform did not take the folder";
  EXPECT_EQ(std::string(GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY)), folder + "\\");
  RemoveDirectoryA(folder.c_str());
}

TEST_F(ComTest, SpecialFoldersEndWithOneBackslash) {
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_STARTMENU}) {
    CString p = GetSpecialFolderPath(csidl);
    ASSERT_GE(p.GetLength(), 4) << csidl;
    EXPECT_TRUE(p.EndsWith('\\')) << p.c_str();
    EXPECT_NE(p[p.GetLength() - 2], '\\') << p.c_str();
    EXPECT_NE(GetFileAttributesA(p), INVALID_FILE_ATTRIBUTES) << p.c_str();
  }
  char desktop[MAX_PATH] = {0};
  SHGetFolderPathA(0, CSIDL_DESKTOPDIRECTORY, 0, 0, desktop);
  EXPECT_EQ(std::string(GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY)), std::string(desktop) + "\\");
}

// One build of the test control: registering it, and whether it stays loaded.
struct ServerCase {
  const char* dll;
  int result;
  const char* mark;  // what DllRegisterServer left, "" when it did not run
  bool staysLoaded;
};

TEST(RegisterServer, JudgesTheEntryPoint) {
  std::string mark = Here() + "testctl.mark";
  SetEnvironmentVariableA("TESTCTL_MARK", mark.c_str());
  ServerCase cases[] = {{"testctl_ok.dll", 1, "registered", true},
                        {"testctl_fail.dll", 0, "failed", false},
                        {"testctl_none.dll", 1, "", true}};
  for (const ServerCase& c : cases) {
    SCOPED_TRACE(c.dll);
    DeleteFileA(mark.c_str());
    std::string path = Here() + c.dll;
    ASSERT_TRUE(FileExists(path));
    EXPECT_EQ(RegisterServer(path.c_str(), false), c.result);
    EXPECT_EQ(FileExists(mark) ? ReadBytes(mark) : "", c.mark);
    EXPECT_EQ(GetModuleHandleA(path.c_str()) != 0, c.staysLoaded);
  }
  EXPECT_EQ(RegisterServer((Here() + "no-such.dll").c_str(), false), 0);
  DeleteFileA(mark.c_str());
}

std::string TempWren() {
  char dir[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "wren.tmp";
}

TEST(LoadIconFromBytes, IconsFromBytesAndNoLeftover) {
  std::string ico = ReadBytes(Here() + "product.ico");
  ASSERT_FALSE(ico.empty());
  // A read-only leftover of the temporary name is replaced, and gone afterwards.
  std::string tmp = TempWren();
  SetFileAttributesA(tmp.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream(tmp) << "leftover";
  SetFileAttributesA(tmp.c_str(), FILE_ATTRIBUTE_READONLY);
  HICON icon = LoadIconFromBytes(ico.data(), static_cast<int>(ico.size()));
  ASSERT_TRUE(icon);
  ICONINFO info;
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP bm;
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, GetSystemMetrics(SM_CXICON));
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  EXPECT_FALSE(FileExists(tmp));

  std::string garbage(3000, '\x5a');
  EXPECT_EQ(LoadIconFromBytes(garbage.data(), static_cast<int>(garbage.size())), (HICON)0);
  EXPECT_EQ(LoadIconFromBytes(ico.data(), 0), (HICON)0);
  EXPECT_FALSE(FileExists(tmp));
}

}  // namespace
