// Start-up of the setup: the loader on a package made by the builder, and the
// real program on good and damaged setup files, driven through its windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/fieldtable.h"
#include "common/lzmastream.h"
#include "framework/memory.h"
#include "plant.h"
#include "robot.h"
#include "setup/setupapp.h"
#include "setup/wizard.h"
#include "setupfile.h"
#include "wizard.h"

#ifndef SETUP_EXE
#error SETUP_EXE names the built setup program
#endif

namespace {

const char kLoadFailed[] = "初始化数据失败!";

// What one run of a setup file showed: a message box, or the wizard (its
// caption and the first line of its first page).
struct RunResult {
  bool windowSeen = false;
  bool wizard = false;
  std::string caption, text;
  bool exited = false;
  DWORD exitCode = 0;
};

// Runs the setup file: reads its message box and presses OK, or reads the
// wizard and quits it.
RunResult RunSetup(const std::string& path) {
  RunResult r;
  Robot robot;
  if (!robot.Start(path)) return r;
  // A message box, or the wizard's sheet (not its background window).
  HWND w = robot.WaitForWindowWhere(
      [](HWND w) { return GetDlgItem(w, MSGBOX_TEXT_ID) || GetDlgItem(w, ID_WIZNEXT); }, 30000);
  if (w && GetDlgItem(w, ID_WIZNEXT)) {
    Wizard wizard(robot);
    r.windowSeen = r.wizard = wizard.WaitForSheet() != 0 && wizard.WaitPage(0);
    r.caption = Robot::Text(wizard.Sheet());
    r.text = wizard.PageText(IDC_WELCOME_LINE1);
    wizard.Quit();
  } else if (w) {
    r.windowSeen = true;
    r.caption = Robot::Text(w);
    r.text = Robot::ControlText(w, MSGBOX_TEXT_ID);
    Robot::Click(w, IDOK);
  }
  r.exited = robot.WaitForExit(30000, &r.exitCode);
  return r;
}


class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveWrenTmp(); }
  void TearDown() override { RemoveWrenTmp(); }

  void ExpectFailure(const std::string& name, const std::string& bytes) {
    SCOPED_TRACE(name);
    std::string path = CaseFile(name);
    WriteBytes(path, bytes);
    RunResult r = RunSetup(path);
    ASSERT_TRUE(r.windowSeen);
    EXPECT_EQ(r.caption, "");
    EXPECT_EQ(r.text, kLoadFailed);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, static_cast<DWORD>(EXIT_DAMAGED_PACKAGE));
    DeleteFileA(path.c_str());
  }

  // Loads: the wizard comes up; its caption is the product name.
  RunResult ExpectLoad(const std::string& name, const std::string& bytes) {
    SCOPED_TRACE(name);
    std::string path = CaseFile(name);
    WriteBytes(path, bytes);
    RunResult r = RunSetup(path);
    EXPECT_TRUE(r.wizard);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, static_cast<DWORD>(EXIT_CANCELLED)) << "the wizard was quit";
    EXPECT_FALSE(FileExists(WrenTmp())) << "the index copy stays behind";
    DeleteFileA(path.c_str());
    return r;
  }
};

TEST_F(StartupTest, CarriesTheUninstallerAsResourceExe138) {
  HMODULE m = LoadLibraryExA(WinePath(SETUP_EXE).c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(m);
  HRSRC res = FindResourceA(m, MAKEINTRESOURCEA(138), "EXE");
  ASSERT_TRUE(res);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(m, res)));
  // Filtered and compressed: it decodes to the uninstaller as built, byte for byte.
  size_t size = 0;
  char* program = DecodeLzmaProgram(bytes, SizeofResource(m, res), 16 << 20, true, size);
  ASSERT_TRUE(program);
  std::string built = ReadBytes(WinePath(RIDKIT_EXE));
  EXPECT_LT(SizeofResource(m, res), built.size() / 2);
  EXPECT_TRUE(std::string(program, size) == built);
  FreeBuffer(program);
  EXPECT_TRUE(FindResourceA(m, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14)));  // icon group
  EXPECT_FALSE(FindResourceA(m, MAKEINTRESOURCEA(130), "PIC"));
  FreeLibrary(m);
}

TEST_F(StartupTest, GoodIndexLoadsAndCleansUp) {
  RunResult r = ExpectLoad("good", SetupFile(ScrambledIndex(IndexFields("好软件", {"a.exe", "b.dll"}))));
  EXPECT_EQ(r.caption, "好软件");
  EXPECT_EQ(r.text, "第一行");
}

TEST_F(StartupTest, DllsPlantedBesideTheSetupAreNeverLoaded) {
  // The setup in a download folder of its own, with the planted DLLs beside
  // it; Wine prefers them wherever it finds them.
  std::string folder = TempFolder() + "plant-setup\\";
  CreateDirectoryA(folder.c_str(), 0);
  ASSERT_TRUE(PlantDlls(folder));
  std::string path = folder + "演示软件-1.0.exe";
  WriteBytes(path, SetupFile(ScrambledIndex(IndexFields("好软件", {"a.exe"}))));
  RunResult r;
  {
    PreferPlantedDlls prefer({"演示软件-1.0.exe"});
    r = RunSetup(path);
  }
  EXPECT_TRUE(r.wizard) << "the wizard (property sheet, common controls) came up";
  EXPECT_EQ(LoadedPlants(folder), std::vector<std::string>{});
  DeleteFileA(path.c_str());
  RemovePlants(folder);
  RemoveDirectoryA(folder.c_str());
}

TEST_F(StartupTest, WithoutTrailerFails) {
  ExpectFailure("bare-stub", Stub());
  ExpectFailure("stub-and-bytes", Stub() + std::string(300, 'x'));
  EXPECT_FALSE(FileExists(WrenTmp()));
}

TEST_F(StartupTest, TrailerAmpersandMustBeInsideTheLast126Bytes) {
  std::string index = ScrambledIndex(IndexFields("边界", {}));
  std::string s = Stub() + index;
  std::string trailer = Trailer(static_cast<long>(index.size()), static_cast<long>(Stub().size()));
  // Bytes after the final "." (without "&") stretch the trailer to 126 and 127.
  ExpectLoad("trailer-126", s + trailer + std::string(126 - trailer.size(), ' '));
  ExpectFailure("trailer-127", s + trailer + std::string(127 - trailer.size(), ' '));
}

TEST_F(StartupTest, IndexRegionOutsideTheFileFails) {
  std::string index = ScrambledIndex(IndexFields("越界", {"a.exe"}));
  std::string s = Stub() + index;
  long seek = static_cast<long>(Stub().size());
  long len = static_cast<long>(index.size());
  long end = static_cast<long>(s.size()) + 40;
  ExpectFailure("seek-past-end", s + Trailer(len, end + 1000));
  ExpectFailure("negative-length", s + Trailer(-5, seek));
  ExpectFailure("negative-seek", s + Trailer(len, -1));
  ExpectFailure("huge-length", s + Trailer(2147483647, seek));
  ExpectFailure("length-past-end", s + Trailer(len + 100000, seek));
  EXPECT_FALSE(FileExists(WrenTmp()));
}

// The security entry of the file's executable header set to (offset, size).
std::string WithSecurityEntry(std::string file, unsigned offset, unsigned size) {
  unsigned pe = 0;
  memcpy(&pe, &file[0x3C], 4);
  // The fifth directory, after a 32-bit (0x10B) or 64-bit optional header.
  bool wide = static_cast<unsigned char>(file[pe + 24]) == 0x0B && file[pe + 25] == 0x02;
  size_t entry = pe + 24 + (wide ? 112 : 96) + 4 * 8;
  memcpy(&file[entry], &offset, 4);
  memcpy(&file[entry + 4], &size, 4);
  return file;
}

TEST_F(StartupTest, SignedFileLoadsAndADamagedSecurityEntryFails) {
  std::string plain = SetupFile(ScrambledIndex(IndexFields("签名", {"a.exe"})));
  // Zero padding to 8 bytes, then a certificate table of one entry (its
  // contents are not the program's business).
  std::string padded = plain + std::string((8 - plain.size() % 8) % 8, '\0');
  unsigned at = static_cast<unsigned>(padded.size()), size = 0x40;
  std::string table(size, '&');
  memcpy(&table[0], "\x40\0\0\0\0\x02\x02\0", 8);
  RunResult r = ExpectLoad("signed", WithSecurityEntry(padded + table, at, size));
  EXPECT_EQ(r.caption, "签名");

  ExpectFailure("table-outside-the-file", WithSecurityEntry(plain, at + 8, size));
  ExpectFailure("table-over-the-package", WithSecurityEntry(padded + table, at - 0x40, size + 0x40));
  ExpectFailure("table-huge", WithSecurityEntry(padded + table, at, 0xFFFFFFF8u));
  ExpectFailure("table-negative", WithSecurityEntry(padded + table, 0xFFFFFFF8u, size));
  EXPECT_FALSE(FileExists(WrenTmp()));
}

TEST_F(StartupTest, StaleIndexCopyIsNeverRead) {
  // A read-only copy of another package's index, left by an earlier run.
  std::string stale = ScrambledIndex(IndexFields("陈旧", {"old.exe"}));
  std::string index = ScrambledIndex(IndexFields("新包", {"a.exe", "b.exe", "c.exe"}));
  std::string s = Stub() + index;
  WriteBytes(WrenTmp(), stale);
  SetFileAttributesA(WrenTmp().c_str(), FILE_ATTRIBUTE_READONLY);
  ExpectFailure("stale-and-region-outside", s + Trailer(static_cast<long>(index.size()), 1 << 30));

  WriteBytes(WrenTmp(), stale);
  SetFileAttributesA(WrenTmp().c_str(), FILE_ATTRIBUTE_READONLY);
  RunResult r =
      ExpectLoad("stale-and-good", s + Trailer(static_cast<long>(index.size()), static_cast<long>(Stub().size())));
  EXPECT_EQ(r.caption, "新包");
}

TEST_F(StartupTest, DamagedIndexesLoadWhatTheyHold) {
  // Garbage: whatever fields it splits into, nothing breaks.
  std::string garbage;
  unsigned x = 12345;
  for (int i = 0; i < 4000; i++) {
    x = x * 1103515245u + 12345u;
    garbage += static_cast<char>((x >> 16) & 0xFF);
  }
  ExpectLoad("garbage", SetupFile(garbage));
  // Plain text fields of random bytes with separators, unscrambled to noise.
  ExpectLoad("garbage-fields", SetupFile(ScrambledIndex(std::vector<std::string>(200, garbage.substr(0, 600)))));

  // Cut after 30 fields: the rest reads as empty; no product, no files.
  std::vector<std::string> f = IndexFields("截断", {"a.exe"});
  std::string whole = ScrambledIndex(f);
  std::string cut = ScrambledIndex(std::vector<std::string>(f.begin(), f.begin() + 30));
  RunResult r = ExpectLoad("truncated", SetupFile(whole.substr(0, cut.size())));
  EXPECT_EQ(r.caption, "");
  EXPECT_EQ(r.text, "第一行");
}

TEST_F(StartupTest, OverlongFieldsAreCutInsideTheirBuffers) {
  std::vector<std::string> f = IndexFields(std::string(2000, 'N'), {std::string(3000, 'F'), "b.exe"});
  for (int i = 0; i < 40; i++) f[i] = std::string(1000, 'T');
  f[41] = f[42] = std::string(900, 'R');
  f[52] = std::string(700, 'P');
  f[53] = "abcdef";
  f[59] = std::string(300, 'C');
  RunResult r = ExpectLoad("overlong", SetupFile(ScrambledIndex(f)));
  EXPECT_EQ(r.caption, std::string(255, 'N'));
  EXPECT_EQ(r.text, std::string(255, 'T'));
}

// The loader linked into the test: every setting of a package the builder made.
class LoaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OleInitialize(0); }
  static void TearDownTestSuite() { OleUninitialize(); }
};

TEST_F(LoaderTest, ReadsEverySettingOfABuiltPackage) {
  std::string pkg = WinePath(STARTUP_PACKAGE);
  if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder at " << STARTUP_PACKAGE
                                     << " (build the host preset first)";
  RemoveWrenTmp();
  CSetupApp app;
  app.ModulePath = pkg.c_str();
  ASSERT_TRUE(app.LoadPackage());
  EXPECT_FALSE(FileExists(WrenTmp()));

  // The raw fields of the index, position by position.
  CPackage index;
  ASSERT_EQ(index.OpenIndex(pkg.c_str()), kPackageOpened);
  CFieldTable t;
  index.ReadIndex(t);
  std::vector<std::string> h;
  for (int i = 0; i < 64; i++) h.push_back(t.NextField());

  for (int p = 0; p < 5; p++)
    for (int k = 0; k < 8; k++) EXPECT_EQ(app.Package.PageText[p][k], h[8 * p + k]) << p << "," << k;
  EXPECT_STREQ(app.Package.PageText[0][0], "欢迎一");
  EXPECT_STREQ(app.Package.PageText[1][2], "许可协议正文");
  EXPECT_STREQ(app.Package.ProductName, "启动测试");
  EXPECT_STREQ(app.Package.ReadmeFile, "INSTALL_FOLDER\\readme.txt");
  EXPECT_STREQ(app.Package.RunFile, "WINDOWS_FOLDER\\notepad.exe");
  EXPECT_STREQ(app.Package.RegKeys[0], "HKEY_CURRENT_USER|Software\\StartupTest");
  EXPECT_STREQ(app.Package.RegKeys[1], "HKEY_LOCAL_MACHINE|Software\\StartupTest");
  EXPECT_STREQ(app.Package.RegValues[0], "HKEY_CURRENT_USER|Software\\Run|StartupTest");
  EXPECT_STREQ(app.Package.RegValues[1], "");
  EXPECT_EQ(app.Package.PictureLength, atol(h[48].c_str()));
  EXPECT_EQ(app.Package.PictureOffset, atol(h[49].c_str()));
  EXPECT_EQ(app.Package.IconLength, atol(h[50].c_str()));
  EXPECT_EQ(app.Package.IconOffset, atol(h[51].c_str()));
  EXPECT_STREQ(app.Package.TypeAssoc[0].Program, "INSTALL_FOLDER\\app.exe");
  EXPECT_STREQ(app.Package.TypeAssoc[0].Extension, "stt");
  EXPECT_STREQ(app.Package.TypeAssoc[1].Program, "SYSTEM_FOLDER\\viewer.exe");
  EXPECT_STREQ(app.Package.TypeAssoc[1].Extension, "sd");
  EXPECT_TRUE(app.Package.SplashEnabled);
  EXPECT_EQ(app.Package.SplashPictureLength, atol(h[57].c_str()));
  EXPECT_EQ(app.Package.SplashPictureOffset, atol(h[58].c_str()));
  EXPECT_STREQ(app.Package.SplashCaption, "启动测试 安装");
  EXPECT_EQ(app.Package.SplashBackColor, 0x302010);
  EXPECT_TRUE(app.Package.SplashCaptionBar);

  // The pictures' bytes are the builder's sources, and they decode.
  std::string file = ReadBytes(pkg);
  std::string art = WinePath(ART_DIR);
  EXPECT_EQ(file.substr(app.Package.PictureOffset, app.Package.PictureLength), ReadBytes(art + "\\page.jpg"));
  EXPECT_EQ(file.substr(app.Package.IconOffset, app.Package.IconLength), ReadBytes(art + "\\product.ico"));
  EXPECT_EQ(file.substr(app.Package.SplashPictureOffset, app.Package.SplashPictureLength), ReadBytes(art + "\\background.jpg"));
  EXPECT_TRUE(app.Picture.IsLoaded());
  EXPECT_TRUE(app.SplashPicture.IsLoaded());

  // The file rows, and each file's bytes where its row says.
  struct Expected {
    const char* name;
    int folder;
    const char* subdir;
    int shortcuts, copy;
    const char* source;
  } want[] = {{"app.exe", FOLDER_INSTALL, "", 5, COPY_ALWAYS, "app.exe"},
              {"readme.txt", FOLDER_INSTALL, "", 0, COPY_IF_ABSENT, "readme.txt"},
              {"one.dat", FOLDER_SYSTEM, "sub", 0, COPY_ASK, "lib\\one.dat"},
              {"two.dat", FOLDER_SYSTEM, "sub", 0, COPY_ASK, "lib\\two.dat"}};
  ASSERT_EQ(app.Package.FileList.Count, 4);
  std::string files = WinePath(DATA_DIR) + "\\files\\";
  for (int i = 3; i >= 0; i--) {  // backwards: MoveTo walks both ways
    ASSERT_TRUE(app.Package.FileList.MoveTo(i));
    const FileEntry& e = *app.Package.FileList.Current();
    SCOPED_TRACE(want[i].name);
    EXPECT_STREQ(e.Name, want[i].name);
    EXPECT_EQ(e.Folder, want[i].folder);
    EXPECT_STREQ(e.SubDir, want[i].subdir);
    EXPECT_EQ(e.Shortcuts, want[i].shortcuts);
    EXPECT_EQ(e.CopyMode, want[i].copy);
    EXPECT_EQ(file.substr(e.Offset, e.Length), ReadBytes(files + want[i].source));
  }
}

// The wizard's and the confirmation's icon: the package's icon, else the
// program's own icon 128.
TEST_F(LoaderTest, ProductIconFromThePackageOrIcon128) {
  std::string pkg = WinePath(STARTUP_PACKAGE);
  if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder (build the host preset first)";
  CSetupApp app;
  app.ModulePath = pkg.c_str();
  ASSERT_TRUE(app.LoadPackage());
  ASSERT_GT(app.Package.IconLength, 0);
  HICON packageIcon = MakeProductIcon(app.Package);
  ICONINFO info;
  ASSERT_TRUE(packageIcon && GetIconInfo(packageIcon, &info));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  // Without a package icon: icon group 128 of the program's resources.
  app.Package.IconLength = 0;
  HMODULE setup = LoadLibraryExA(WinePath(SETUP_EXE).c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(setup);
  HINSTANCE own = app.m_hInstance;
  app.m_hInstance = setup;
  EXPECT_TRUE(MakeProductIcon(app.Package));
  app.m_hInstance = GetModuleHandleA(0);  // the test program carries no icon 128
  EXPECT_FALSE(MakeProductIcon(app.Package));
  app.m_hInstance = own;
  FreeLibrary(setup);

  // An icon region that cannot be read gives no icon (and no fallback).
  app.Package.IconLength = 100;
  app.Package.IconOffset = 0x7FFFFFF0;
  EXPECT_FALSE(MakeProductIcon(app.Package));
}

// Every resource of a module, by type, name and language.
using Resources = std::map<std::string, std::string>;
struct ResourceWalk {
  HMODULE m;
  Resources all;
  LPCSTR type, name;
  static std::string Key(LPCSTR n) { return IS_INTRESOURCE(n) ? "#" + std::to_string(LOWORD(n)) : std::string(n); }
  static BOOL CALLBACK Language(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR p) {
    ResourceWalk& w = *reinterpret_cast<ResourceWalk*>(p);
    HRSRC r = FindResourceExA(w.m, w.type, w.name, lang);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(w.m, r)));
    w.all[Key(w.type) + "/" + Key(w.name) + "/" + std::to_string(lang)] =
        bytes ? std::string(bytes, SizeofResource(w.m, r)) : "(unreadable)";
    return TRUE;
  }
  static BOOL CALLBACK Name(HMODULE m, LPCSTR type, LPSTR name, LONG_PTR p) {
    reinterpret_cast<ResourceWalk*>(p)->name = name;
    return EnumResourceLanguagesA(m, type, name, Language, p);
  }
  static BOOL CALLBACK Type(HMODULE m, LPSTR type, LONG_PTR p) {
    reinterpret_cast<ResourceWalk*>(p)->type = type;
    return EnumResourceNamesA(m, type, Name, p);
  }
};
Resources AllResources(HMODULE m) {
  ResourceWalk w{m, {}, 0, 0};
  EnumResourceTypesA(m, ResourceWalk::Type, reinterpret_cast<LONG_PTR>(&w));
  return w.all;
}

std::string VersionString(const std::string& file, const char* name) {
  DWORD handle = 0, size = GetFileVersionInfoSizeA(file.c_str(), &handle);
  std::string info(size, '\0');
  if (!size || !GetFileVersionInfoA(file.c_str(), 0, size, &info[0])) return "(no version)";
  char* value = 0;
  UINT len = 0;
  std::string path = std::string("\\StringFileInfo\\080404b0\\") + name;
  if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &len)) return "(none)";
  return value;
}

// What Windows shows of the setup file: the product's icon as icon group 128,
// the project's version; every other resource of the setup program as it was.
TEST_F(LoaderTest, SetupFileShowsTheProductsIconAndVersion) {
  std::string pkg = WinePath(STARTUP_PACKAGE);
  if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder (build the host preset first)";
  HMODULE m = LoadLibraryExA(pkg.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
  HMODULE stub = LoadLibraryExA(WinePath(SETUP_EXE).c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(m && stub);
  Resources got = AllResources(m), before = AllResources(stub);

  std::string ico = ReadBytes(WinePath(ART_DIR) + "\\product.ico");
  ASSERT_GT(ico.size(), 6u);
  HRSRC res = FindResourceA(m, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));
  ASSERT_TRUE(res);
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(m, res)));
  unsigned count = static_cast<unsigned char>(ico[4]);
  ASSERT_EQ(SizeofResource(m, res), 6 + count * 14);
  for (unsigned i = 0; i < count; i++) {
    const BYTE* e = group + 6 + i * 14;
    unsigned offset = 0, size = 0;
    memcpy(&offset, &ico[6 + i * 16 + 12], 4);
    memcpy(&size, &ico[6 + i * 16 + 8], 4);
    HRSRC image = FindResourceA(m, MAKEINTRESOURCEA(e[12] | e[13] << 8), MAKEINTRESOURCEA(3));
    ASSERT_TRUE(image) << i;
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(m, image))), SizeofResource(m, image)),
              ico.substr(offset, size)) << i;
  }
  HICON icon = static_cast<HICON>(LoadImageA(m, MAKEINTRESOURCEA(128), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  EXPECT_TRUE(icon);
  if (icon) DestroyIcon(icon);

  for (auto& r : before) {
    std::string type = r.first.substr(0, r.first.find('/'));
    if (type == "#3" || type == "#14" || type == "#16") continue;  // icons, icon groups, version
    EXPECT_TRUE(got[r.first] == r.second) << r.first << " changed";
  }
  EXPECT_GT(before.size(), 10u);  // dialogs, the clip, the uninstaller "EXE" 138, ...
  FreeLibrary(stub);
  FreeLibrary(m);

  EXPECT_EQ(VersionString(pkg, "ProductName"), "启动测试");
  EXPECT_EQ(VersionString(pkg, "CompanyName"), "测试公司");
  EXPECT_EQ(VersionString(pkg, "FileDescription"), "启动测试");  // none given: the product name
  EXPECT_EQ(VersionString(pkg, "LegalCopyright"), "(c) 2026 测试公司");
  EXPECT_EQ(VersionString(pkg, "FileVersion"), "2.5.1.7");
  DWORD handle = 0, size = GetFileVersionInfoSizeA(pkg.c_str(), &handle);
  std::string info(size, '\0');
  ASSERT_TRUE(size && GetFileVersionInfoA(pkg.c_str(), 0, size, &info[0]));
  VS_FIXEDFILEINFO* fixed = 0;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020005u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00010007u);
}

// The setup program asks to be loaded anywhere (dynamic base): Windows
// applies its relocations at every start. Mapped by the loader, the setup
// file holds the program's code and data and, where its header now says, the
// program's relocations, inside its image.
TEST_F(LoaderTest, SetupFileMapsAsTheProgramWithItsRelocations) {
  std::string pkg = WinePath(STARTUP_PACKAGE);
  if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder (build the host preset first)";
  const BYTE* b = reinterpret_cast<const BYTE*>(LoadLibraryExA(pkg.c_str(), 0, DONT_RESOLVE_DLL_REFERENCES));
  const BYTE* a = reinterpret_cast<const BYTE*>(LoadLibraryExA(WinePath(SETUP_EXE).c_str(), 0, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(a && b);
  auto nt = [](const BYTE* base) {
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  };
  const IMAGE_OPTIONAL_HEADER &oa = nt(a)->OptionalHeader, &ob = nt(b)->OptionalHeader;
  ASSERT_TRUE(oa.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_EQ(ob.DllCharacteristics, oa.DllCharacteristics);
  // Every section before the resources, byte for byte.
  DWORD rsrc = oa.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  EXPECT_EQ(ob.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress, rsrc);
  const IMAGE_SECTION_HEADER* sec = IMAGE_FIRST_SECTION(nt(a));
  for (int s = 0; s < nt(a)->FileHeader.NumberOfSections && sec[s].VirtualAddress < rsrc; s++)
    EXPECT_EQ(memcmp(a + sec[s].VirtualAddress, b + sec[s].VirtualAddress, sec[s].Misc.VirtualSize), 0)
        << sec[s].Name;
  // The relocations, moved: the same blocks, inside the image.
  const IMAGE_DATA_DIRECTORY& ra = oa.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  const IMAGE_DATA_DIRECTORY& rb = ob.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  ASSERT_GT(ra.Size, 100u);
  ASSERT_EQ(rb.Size, ra.Size);
  ASSERT_LE(rb.VirtualAddress + rb.Size, ob.SizeOfImage);
  EXPECT_GE(rb.VirtualAddress, rsrc + ob.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size);
  EXPECT_EQ(memcmp(a + ra.VirtualAddress, b + rb.VirtualAddress, ra.Size), 0);
  FreeLibrary(reinterpret_cast<HMODULE>(const_cast<BYTE*>(a)));
  FreeLibrary(reinterpret_cast<HMODULE>(const_cast<BYTE*>(b)));
}

TEST_F(LoaderTest, ExtensionIsCutAndProgramKept) {
  std::vector<std::string> f = IndexFields("扩展", {});
  f[52] = "INSTALL_FOLDER\\viewer.exe";
  f[53] = "abcdef";
  f[54] = "SYSTEM_FOLDER\\x.exe";
  f[55] = "扩展名";  // 6 bytes: cut between characters, not inside one
  std::string path = CaseFile("extension");
  WriteBytes(path, SetupFile(ScrambledIndex(f)));
  CSetupApp app;
  app.ModulePath = path.c_str();
  ASSERT_TRUE(app.LoadPackage());
  EXPECT_STREQ(app.Package.TypeAssoc[0].Extension, "abc");
  EXPECT_STREQ(app.Package.TypeAssoc[0].Program, "INSTALL_FOLDER\\viewer.exe");
  EXPECT_STREQ(app.Package.TypeAssoc[1].Extension, "\xc0\xa9");  // 扩
  EXPECT_STREQ(app.Package.TypeAssoc[1].Program, "SYSTEM_FOLDER\\x.exe");
  EXPECT_FALSE(app.Picture.IsLoaded());  // no picture: the absent resource was tried
  EXPECT_FALSE(app.SplashPicture.IsLoaded());
  DeleteFileA(path.c_str());
}

TEST_F(LoaderTest, BuiltPackageRunsThroughTheProgram) {
  std::string pkg = WinePath(STARTUP_PACKAGE);
  if (!FileExists(pkg)) GTEST_FAIL() << "no package from the builder (build the host preset first)";
  RemoveWrenTmp();
  RunResult r = RunSetup(pkg);
  ASSERT_TRUE(r.wizard);
  EXPECT_EQ(r.caption, "启动测试");
  EXPECT_EQ(r.text, "欢迎一");
  EXPECT_TRUE(r.exited);
  EXPECT_FALSE(FileExists(WrenTmp()));
}

}  // namespace
