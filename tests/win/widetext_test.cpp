// The bridge between code page 936 text and the wide functions, under Wine.
// Built once and run twice: on a system whose code page is 936 and on one
// whose code page is 1252, where the programs' text must come out the same.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "common/shellhelpers.h"
#include "framework/filefind.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/widetext.h"

namespace {

// "欢迎第1行" in UTF-16, whatever the compiler's character sets.
const WCHAR kWelcomeWide[] = {0x6B22, 0x8FCE, 0x7B2C, L'1', 0x884C, 0};
// A Hangul syllable: no code page 936 form.
const WCHAR kHangul[] = {0xD55C, 0};

std::wstring TempFolderWide() {
  WCHAR dir[MAX_PATH + 1] = {0};
  GetTempPathW(MAX_PATH + 1, dir);
  return dir;
}

TEST(WideText, CodePage936TextConvertsBothWaysWhateverTheSystemCodePage) {
  // The literal is code page 936 (the sources are compiled to GBK).
  const char welcome[] = "欢迎第1行";
  CWideText wide(welcome);
  EXPECT_STREQ(wide, kWelcomeWide) << "system code page " << GetACP();
  BOOL lost = TRUE;
  EXPECT_STREQ(NarrowText(kWelcomeWide, -1, &lost), welcome);
  EXPECT_FALSE(lost);
  // Past the object's own buffer; a null text stays null, an empty one empty.
  std::string longText;
  for (int i = 0; i < 200; i++) longText += welcome;
  EXPECT_EQ(lstrlenW(CWideText(longText.c_str())), 200 * 5);
  EXPECT_EQ(NarrowText(CWideText(longText.c_str())), longText.c_str());
  EXPECT_EQ(CWideText(0).Get(), nullptr);
  EXPECT_STREQ(CWideText(""), L"");
}

// The setup judges a row's path on its code page 936 parts; the file system
// gets their UTF-16 conversion. The two agree when whole text (IsWholeTextMb)
// converts character for character, an ASCII byte to itself and a pair or a
// single byte above 0x7F to one character outside ASCII (never a dot, a slash
// or a backslash), and any other text does not convert without loss. Checked
// against the conversion itself for every byte above 0x7F alone and before
// every other byte.
TEST(WideText, WholeTextConvertsCharacterForCharacterAndNothingElseConverts) {
  int whole = 0;
  for (int first = 0x80; first <= 0xFF; first++) {
    for (int second = 0; second <= 0xFF; second++) {
      const char text[3] = {static_cast<char>(first), static_cast<char>(second), 0};
      int bytes = second ? 2 : 1;
      WCHAR wide[4] = {0};
      int n = MultiByteToWideChar(kTextCodePage, MB_ERR_INVALID_CHARS, text, bytes, wide, 4);
      bool agrees = n > 0;
      if (agrees) {
        int chars = 0;
        for (int i = 0; i < bytes; i += CharWidthMb(text + i), chars++) {
          unsigned char c = static_cast<unsigned char>(text[i]);
          agrees = agrees && chars < n && (c < 0x80 ? wide[chars] == c : wide[chars] >= 0x80);
        }
        agrees = agrees && chars == n;
        whole++;
      }
      ASSERT_EQ(IsWholeTextMb(text) != FALSE, n > 0) << std::hex << first << " " << second;
      ASSERT_TRUE(n == 0 || agrees) << std::hex << first << " " << second;
    }
  }
  EXPECT_GT(whole, 23940);  // every pair of lead and trail byte, and more
}

TEST(WideText, ACharacterWithoutA936FormIsReportedNotGuessed) {
  std::wstring path = std::wstring(L"C:\\Users\\") + kHangul;
  BOOL lost = FALSE;
  CString narrow = NarrowText(path.c_str(), -1, &lost);
  EXPECT_TRUE(lost);
  EXPECT_FALSE(HasNarrowForm(path.c_str()));
  // A question mark of its own is no loss; no best-fit look-alike either.
  EXPECT_TRUE(HasNarrowForm(L"a?b"));
  EXPECT_FALSE(HasNarrowForm(L"\x0141\x00F3d\x017A"));  // "Łódź": no GBK form, and no "L" for it
}

// A folder whose name has no code page 936 form is reached by its short
// name: the path Windows gives back, and the name a folder search gives, both
// lead to it, and the folder can be removed through them.
TEST(WideText, NamesWithout936FormAreTakenInTheirShortForm) {
  std::wstring base = TempFolderWide() + L"widetext-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(base.c_str(), 0));
  std::wstring odd = base + L"\\" + kHangul + L"-folder";
  ASSERT_TRUE(CreateDirectoryW(odd.c_str(), 0));

  CString narrow;
  ASSERT_TRUE(NarrowPath(odd.c_str(), narrow));
  DWORD attr = GetAttributes(narrow);
  EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) << narrow.c_str();

  CString baseNarrow = NarrowText(base.c_str());
  CFileFind find;
  CString found;
  for (BOOL more = find.FindFile(baseNarrow + "\\*"); more;) {
    more = find.FindNextFile();
    if (!find.IsDots()) found = find.GetFilePath();
  }
  find.Close();
  ASSERT_FALSE(found.IsEmpty());
  EXPECT_TRUE(RemoveFolder(found)) << found.c_str();
  EXPECT_EQ(GetFileAttributesW(odd.c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW(odd.c_str());
  RemoveDirectoryW(base.c_str());
}

// A special folder without a code page 936 form is none: the setup makes no
// shortcut there and writes none into setup.log.
TEST(WideText, SpecialFolderWithout936FormCountsAsNone) {
  const WCHAR key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  HKEY k = 0;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
  WCHAR old[MAX_PATH + 1] = {0};
  DWORD size = sizeof old, type = 0;
  bool had = RegQueryValueExW(k, L"Favorites", 0, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
  std::wstring odd = TempFolderWide() + kHangul;
  CreateDirectoryW(odd.c_str(), 0);
  RegSetValueExW(k, L"Favorites", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd.c_str()),
                 static_cast<DWORD>((odd.size() + 1) * sizeof(WCHAR)));
  CString path = GetSpecialFolderPath(CSIDL_FAVORITES);
  if (had)
    RegSetValueExW(k, L"Favorites", 0, type, reinterpret_cast<const BYTE*>(old), size);
  else
    RegDeleteValueW(k, L"Favorites");
  RegCloseKey(k);
  RemoveDirectoryW(odd.c_str());
  EXPECT_STREQ(path, "\\");
}

// A shortcut to a file with a Chinese name opens that file on a system of
// any code page: the target read back from the saved link exists.
TEST(WideText, ShortcutToAChineseNameLeadsToItOnEveryCodePage) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(0)));
  std::wstring base = TempFolderWide() + L"widelink-" + std::to_wstring(GetCurrentProcessId());
  CString folder = NarrowText(base.c_str()) + "\\演示软件";
  ASSERT_TRUE(CreateDirectoryW(base.c_str(), 0));
  ASSERT_TRUE(CreateFolder(folder));
  CString target = folder + "\\演示.exe", linkPath = NarrowText(base.c_str()) + "\\演示.lnk";
  HANDLE h = CreateFileW(CWideText(target), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  ASSERT_TRUE(CreateShortcut(target, linkPath));

  IShellLinkW* link = 0;
  IPersistFile* file = 0;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link))));
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  EXPECT_TRUE(SUCCEEDED(file->Load(CWideText(linkPath), 0)));
  WCHAR path[MAX_PATH + 1] = {0};
  link->GetPath(path, MAX_PATH + 1, 0, 0);
  file->Release();
  link->Release();
  EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << "system code page " << GetACP();

  RemoveFile(linkPath);
  RemoveFile(target);
  RemoveFolder(folder);
  RemoveDirectoryW(base.c_str());
  CoUninitialize();
}

}  // namespace
