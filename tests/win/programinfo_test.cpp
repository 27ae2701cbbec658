// What the built programs tell Windows about themselves before they run: the
// application manifest, the version information, and which DLLs the system
// loads for them at start (only known DLLs: the system takes those from the
// system folder whatever lies beside the program).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const char* const kPrograms[] = {SETUP_EXE, RIDKIT_EXE};

std::string ManifestOf(const char* program) {
  HMODULE m = LoadLibraryExA(program, 0, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return "";
  std::string text;
  HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  if (r) {
    HGLOBAL g = LoadResource(m, r);
    const char* p = g ? static_cast<const char*>(LockResource(g)) : 0;
    if (p) text.assign(p, SizeofResource(m, r));
  }
  FreeLibrary(m);
  return text;
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
  std::wstring key = L"\\StringFileInfo\\080404b0\\";
  key += name;
  void* value = 0;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || !value || length == 0) return L"";
  return std::wstring(static_cast<const wchar_t*>(value));
}

// The names of the DLLs in the program's ordinary import table, lower case.
std::vector<std::string> ImportedDlls(const char* program) {
  std::vector<std::string> names;
  HANDLE f = CreateFileA(program, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
  if (f == INVALID_HANDLE_VALUE) return names;
  DWORD size = GetFileSize(f, 0), got = 0;
  std::vector<unsigned char> image(size);
  BOOL read = ReadFile(f, image.data(), size, &got, 0);
  CloseHandle(f);
  if (!read || got != size || size < sizeof(IMAGE_DOS_HEADER)) return names;
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  if (nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return names;  // the shipped 32-bit build
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto offset = [&](DWORD rva) -> DWORD {
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++)
      if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
        return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
    return 0;
  };
  DWORD at = offset(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (; at && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= size; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(&image[at]);
    if (!d->Name) break;
    std::string name(reinterpret_cast<const char*>(&image[offset(d->Name)]));
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  return names;
}

}  // namespace

TEST(ProgramInfo, ManifestAsksForAdministratorCurrentControlsAndDpiAwareness) {
  for (const char* program : kPrograms) {
    std::string m = ManifestOf(program);
    ASSERT_FALSE(m.empty()) << program;
    EXPECT_NE(m.find("level=\"requireAdministrator\""), std::string::npos) << program;
    EXPECT_NE(m.find("uiAccess=\"false\""), std::string::npos) << program;
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
      EXPECT_NE(m.find(std::string("<supportedOS Id=\"") + os + "\"/>"), std::string::npos) << program << " " << os;
    EXPECT_NE(m.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos) << program;
    EXPECT_NE(m.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos) << program;
    EXPECT_NE(m.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"),
              std::string::npos) << program;
    EXPECT_NE(m.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">system"
                     "</dpiAwareness>"),
              std::string::npos) << program;
  }
}

TEST(ProgramInfo, VersionInformationNamesProgramProductVersionAndCopyright) {
  const wchar_t* descriptions[] = {L"安装程序", L"卸载程序"};
  const wchar_t* files[] = {L"setup.exe", L"ridkit.exe"};
  for (int i = 0; i < 2; i++) {
    const char* program = kPrograms[i];
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(program, &handle);
    ASSERT_GT(size, 0u) << program;
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(program, 0, size, info.data())) << program;
    VS_FIXEDFILEINFO* fixed = 0;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) << program;
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << program;
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP)) << program;
    EXPECT_EQ(VersionString(info, L"FileDescription"), descriptions[i]) << program;
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), files[i]) << program;
    EXPECT_EQ(VersionString(info, L"ProductName"), L"安装与卸载程序") << program;
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.0") << program;
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.0.0.0") << program;
    EXPECT_EQ(VersionString(info, L"LegalCopyright").find(L"Copyright (C) 2026"), 0u) << program;
  }
}

TEST(ProgramInfo, ImportsOnlyKnownDlls) {
  // Known DLLs on every Windows from 7 to 11.
  const char* known[] = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
                         "kernel32.dll", "msctf.dll",    "msvcrt.dll", "normaliz.dll", "nsi.dll",
                         "ole32.dll",    "oleaut32.dll", "psapi.dll",  "rpcrt4.dll",   "sechost.dll",
                         "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll",  "wldap32.dll",
                         "ws2_32.dll"};
  for (const char* program : kPrograms) {
    std::vector<std::string> dlls = ImportedDlls(program);
    if (dlls.empty()) GTEST_SKIP() << "not the 32-bit build";
    for (const std::string& dll : dlls) {
      bool isKnown = false;
      for (const char* k : known) isKnown = isKnown || dll == k;
      EXPECT_TRUE(isKnown) << program << " imports " << dll;
    }
  }
}
