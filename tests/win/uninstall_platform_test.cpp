// The removal run's platform services against Wine's own: unregistering the
// test control, and the folders the guard keeps from being removed whole.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "uninstall/removalservices.h"
#include "tests/fileutil.h"

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
    EXPECT_EQ(UnregisterServer(copy.c_str()), c.result);
    EXPECT_EQ(Exists(mark) ? ReadAll(mark) : "", c.mark);
    EXPECT_EQ(GetModuleHandleA(copy.c_str()), (HMODULE)0);
    EXPECT_TRUE(DeleteFileA(copy.c_str()));
  }
  EXPECT_EQ(UnregisterServer((Here() + "no-such.ocx").c_str()), 0);
  std::string text = Here() + "not-a-library.ocx";
  std::ofstream(text) << "text";
  EXPECT_EQ(UnregisterServer(text.c_str()), 0);
  DeleteFileA(text.c_str());
  DeleteFileA(mark.c_str());
}

struct NullPage : IRemovalPage {
  void SetHeadline(const char*) override {}
  void SetStatus(const char*) override {}
  void SetProgress(int) override {}
  void PlayAnimation() override {}
  void StopAnimation() override {}
  void CloseAnimation() override {}
  void EnableButton1(BOOL) override {}
  void SetButton1Text(const char*) override {}
  void SetButton2Text(const char*) override {}
  void HideButton2() override {}
  void MoveButton1Right(int) override {}
  void AddListEntry(const char*) override {}
  int ListCount() override { return 0; }
  void ShowList() override {}
  void MoveHeadlineAboveList() override {}
  void ShowMessage(const char*) override {}
  void Close() override {}
};

std::string Special(int csidl) {
  char p[MAX_PATH] = {0};
  SHGetFolderPathA(0, csidl, 0, 0, p);
  return p;
}

TEST(FolderGuard, SystemAndUserFoldersAndWhatHoldsThemAreRefused) {
  CoInitialize(0);
  UninstallSettings settings;
  NullPage page;
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
  CString programs = services.ProgramsFolder();
  EXPECT_TRUE(programs.EndsWith('\\'));
  EXPECT_EQ(std::string(programs), Special(CSIDL_PROGRAMS) + "\\");
  CoUninitialize();
}

}  // namespace
