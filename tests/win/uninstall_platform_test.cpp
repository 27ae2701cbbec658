// The removal run's platform services against Wine's own: unregistering the
// test control, and the folders the guard keeps from being removed whole.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/fileutil.h"
#include "uninstall/removalservices.h"

namespace {

struct ServerCase {
  const char* dll;
  int result;
  const char* mark;  // what DllUnregisterServer left, "" when it did not run
};

TEST(UnregisterServer, CallsTheEntryPointAndAlwaysReleasesTheLibrary) {
  std::string mark = Here() + "unregister.mark";
  SetEnvironmentVariableA("TESTCTL_MARK", mark.c_str());
  ServerCase cases[] = {{"testctl_ok.dll", 1, "unregistered"},
                        {"testctl_fail.dll", 0, "unregister failed"},
                        {"testctl_none.dll", 1, ""}};
  for (const ServerCase& c : cases) {
    SCOPED_TRACE(c.dll);
    DeleteFileA(mark.c_str());
    // A copy with the extension the run looks for, deleted right after.
    std::string copy = Here() + "copy of " + c.dll + ".OCX";
    ASSERT_TRUE(CopyFileA((Here() + c.dll).c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(UnregisterServer(copy.c_str(), false), c.result);
    EXPECT_EQ(FileExists(mark) ? ReadBytes(mark) : "", c.mark);
    EXPECT_EQ(GetModuleHandleA(copy.c_str()), (HMODULE)0);
    EXPECT_TRUE(DeleteFileA(copy.c_str()));
  }
  EXPECT_EQ(UnregisterServer((Here() + "no-such.ocx").c_str(), false), 0);
  std::string text = Here() + "not-a-library.ocx";
  std::ofstream(text) << "text";
  EXPECT_EQ(UnregisterServer(text.c_str(), false), 0);
  DeleteFileA(text.c_str());
  DeleteFileA(mark.c_str());
}

struct NullProgress : IRemovalProgress {
  void SetHeadline(const char*) override {}
  void SetStatus(const char*) override {}
  void SetProgress(int) override {}
  void ShowMessage(const char*) override {}
  void FileLeft(const char*) override {}
};

std::string Special(int csidl) {
  char p[MAX_PATH] = {0};
  SHGetFolderPathA(0, csidl, 0, 0, p);
  return p;
}

TEST(FolderGuard, SystemAndUserFoldersAndWhatHoldsThemAreRefused) {
  CoInitialize(0);
  UninstallSettings settings;
  NullProgress page;
  CRemovalServices services;
  CRemovalEngine engine(settings, page, services);
  char windows[MAX_PATH], system[MAX_PATH], temp[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  GetTempPathA(MAX_PATH, temp);
  std::string profile = Special(CSIDL_PROFILE), programFiles = Special(CSIDL_PROGRAM_FILES);
  std::string refused[] = {"C:\\", "C:", windows, system, Special(CSIDL_PROGRAMS), Special(CSIDL_STARTMENU),
                           Special(CSIDL_DESKTOPDIRECTORY), profile, profile.substr(0, profile.rfind('\\')),
                           programFiles, programFiles + "\\x\\..", std::string(windows) + "\\..\\WINDOWS\\",
                           temp, Special(CSIDL_APPDATA), profile.substr(0, profile.rfind('\\')) + "\\somebody"};
  for (const std::string& f : refused) EXPECT_FALSE(engine.MayRemoveWhole(f.c_str())) << f;
  std::string allowed[] = {programFiles + "\\示例 软件", std::string(temp) + "some app", "C:\\Games\\x",
                           Special(CSIDL_PROGRAMS) + "\\示例"};
  for (const std::string& f : allowed) EXPECT_TRUE(engine.MayRemoveWhole(f.c_str())) << f;
  // With the current folder of C: elsewhere, "C:" is still the root.
  std::string here = std::string(temp) + "guard current";
  CreateDirectoryA(here.c_str(), NULL);
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  ASSERT_TRUE(SetCurrentDirectoryA(here.c_str()));
  EXPECT_FALSE(engine.MayRemoveWhole("C:"));
  EXPECT_FALSE(engine.MayRemoveWhole("c:."));
  EXPECT_TRUE(engine.MayRemoveWhole((here + "\\app").c_str()));
  SetCurrentDirectoryA(before);
  RemoveDirectoryA(here.c_str());
  CString programs = services.ProgramsFolder();
  EXPECT_TRUE(programs.EndsWith('\\'));
  EXPECT_EQ(std::string(programs), Special(CSIDL_PROGRAMS) + "\\");
  CoUninitialize();
}

std::string Known(REFKNOWNFOLDERID id) {
  PWSTR wide = 0;
  char path[MAX_PATH] = {0};
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, 0, &wide)) && wide)
    WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, 0, 0);
  CoTaskMemFree(wide);
  return path;
}

// Under Wine: the same folder through drive Z:, which is the Unix root.
std::string ThroughDriveZ(const std::string& path) {
  typedef char*(CDECL * UnixNameProc)(const wchar_t*);
  UnixNameProc proc = reinterpret_cast<UnixNameProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  wchar_t wide[MAX_PATH];
  if (!proc || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return "";
  char* name = proc(wide);
  if (!name) return "";
  std::string out = "Z:" + std::string(name);
  HeapFree(GetProcessHeap(), 0, name);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

// Every folder the system knows for the user and the public profile is kept,
// under any name that leads to it.
TEST(FolderGuard, KnownFoldersAndTheirAliasesAreRefused) {
  CoInitialize(0);
  UninstallSettings settings;
  NullProgress page;
  CRemovalServices services;
  CRemovalEngine engine(settings, page, services);
  const KNOWNFOLDERID* ids[] = {&FOLDERID_Downloads, &FOLDERID_Pictures,   &FOLDERID_Music,
                                &FOLDERID_Videos,    &FOLDERID_Favorites,  &FOLDERID_SavedGames,
                                &FOLDERID_Contacts,  &FOLDERID_Links,      &FOLDERID_Public,
                                &FOLDERID_PublicDownloads, &FOLDERID_PublicMusic, &FOLDERID_ProgramData};
  int checked = 0;
  for (const KNOWNFOLDERID* id : ids) {
    std::string f = Known(*id);
    if (f.empty()) continue;
    CreateDirectoryA(f.c_str(), NULL);
    EXPECT_FALSE(engine.MayRemoveWhole(f.c_str())) << f;
    checked++;
  }
  EXPECT_GE(checked, 8);
  std::string downloads = Known(FOLDERID_Downloads), profile = Special(CSIDL_PROFILE);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  std::string aliases[] = {ThroughDriveZ(windows), ThroughDriveZ(downloads), ThroughDriveZ(profile),
                           ThroughDriveZ(profile.substr(0, profile.rfind('\\'))),
                           ThroughDriveZ(profile.substr(0, profile.rfind('\\'))) + "\\somebody"};
  if (aliases[0].empty()) {
    CoUninitialize();
    GTEST_SKIP() << "no second name for a folder here";
  }
  std::string somebody = profile.substr(0, profile.rfind('\\')) + "\\somebody";
  CreateDirectoryA(somebody.c_str(), NULL);
  for (const std::string& f : aliases) EXPECT_FALSE(engine.MayRemoveWhole(f.c_str())) << f;
  EXPECT_TRUE(engine.MayRemoveWhole((ThroughDriveZ(downloads) + "\\some app").c_str()));
  RemoveDirectoryA(somebody.c_str());
  CoUninitialize();
}

}  // namespace
