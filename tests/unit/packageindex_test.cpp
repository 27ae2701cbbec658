// Reading the package index into the setup's settings and file list.
#include "common/packageindex.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// An index with every header field set to something recognisable.
std::vector<std::string> Header() {
  std::vector<std::string> h(64);
  for (int p = 0; p < 5; p++)
    for (int k = 0; k < 8; k++) h[p * 8 + k] = "p" + std::to_string(p + 1) + "l" + std::to_string(k + 1);
  h[40] = "Product";
  h[41] = "INSTALL\\readme.txt";
  h[42] = "INSTALL\\app.exe";
  h[43] = "HKEY_CURRENT_USER|Software\\A";
  h[44] = "HKEY_CURRENT_USER|Software\\B";
  h[45] = "HKEY_CURRENT_USER|Software\\A|v";
  h[46] = "HKEY_CURRENT_USER|Software\\B|w";
  h[47] = "whatever";
  h[48] = "100";
  h[49] = "200";
  h[50] = "  300";
  h[51] = "-400";
  h[52] = "INSTALL\\app.exe";
  h[53] = "abc";
  h[54] = "SYSTEM_FOLDER\\view.exe";
  h[55] = "xyz";
  h[56] = "TRUE";
  h[57] = "11";
  h[58] = "22";
  h[59] = "Splash";
  h[60] = "16711680";
  h[61] = "True";
  h[62] = "x";
  h[63] = "y";
  return h;
}

void Parse(const std::vector<std::string>& fields, PackageSettings& s, int columns = 8) {
  CFieldTable t;
  t.columnCount = columns;
  for (auto& f : fields) t.AddField(f.c_str());
  ParsePackageIndex(t, s);
}

TEST(PackageIndex, HeaderFieldsLandInTheirSettings) {
  std::vector<std::string> f = Header();
  PackageSettings s;
  Parse(f, s);
  EXPECT_STREQ(s.PageText[0][0], "p1l1");
  EXPECT_STREQ(s.PageText[4][7], "p5l8");
  EXPECT_STREQ(s.PageText[2][3], "p3l4");
  EXPECT_STREQ(s.ProductName, "Product");
  EXPECT_STREQ(s.ReadmeFile, "INSTALL\\readme.txt");
  EXPECT_STREQ(s.RunFile, "INSTALL\\app.exe");
  EXPECT_STREQ(s.RegKeys[1].c_str(), "HKEY_CURRENT_USER|Software\\B");
  EXPECT_STREQ(s.RegValues[0].c_str(), "HKEY_CURRENT_USER|Software\\A|v");
  EXPECT_EQ(s.PictureLength, 100);
  EXPECT_EQ(s.PictureOffset, 200);
  EXPECT_EQ(s.IconLength, 300);
  EXPECT_EQ(s.IconOffset, -400);
  EXPECT_STREQ(s.TypeAssoc[0].Program, "INSTALL\\app.exe");
  EXPECT_STREQ(s.TypeAssoc[0].Extension, "abc");
  EXPECT_STREQ(s.TypeAssoc[1].Program, "SYSTEM_FOLDER\\view.exe");
  EXPECT_STREQ(s.TypeAssoc[1].Extension, "xyz");
  EXPECT_TRUE(s.SplashEnabled);
  EXPECT_EQ(s.SplashPictureLength, 11);
  EXPECT_EQ(s.SplashPictureOffset, 22);
  EXPECT_STREQ(s.SplashCaption, "Splash");
  EXPECT_EQ(s.SplashBackColor, 0xFF0000);
  EXPECT_FALSE(s.SplashCaptionBar);  // only the exact "TRUE" counts
  EXPECT_EQ(s.FileList.Count, 0);
}

TEST(PackageIndex, NamedPositionsMatchTheFormatAndTheDescriptorTable) {
  // The positions as the format counts them (from 1), and the names the
  // builder and the inspector show for them.
  struct {
    int position;
    int counted;
    const char* name;
  } cases[] = {
      {PageTextPosition(0, 0), 1, "page1.line1"},      {PageTextPosition(1, 2), 11, "page2.line3"},
      {PageTextPosition(4, 7), 40, "page5.line8"},     {kIdxProductName, 41, "ProductName"},
      {kIdxReadmeFile, 42, "ReadmeFile"},              {kIdxRunFile, 43, "RunFile"},
      {kIdxRegKeys + 1, 45, "RegKeys[1]"},             {kIdxRegValues, 46, "RegValues[0]"},
      {kIdxExtension, 48, "Extension"},                {kIdxPictureLength, 49, "PictureLength"},
      {kIdxIconOffset, 52, "IconOffset"},              {TypeAssocPosition(0), 53, "TypeAssoc[0].Program"},
      {TypeAssocPosition(1) + 1, 56, "TypeAssoc[1].Extension"}, {kIdxSplashEnabled, 57, "SplashEnabled"},
      {kIdxSplashCaption, 60, "SplashCaption"},        {kIdxSplashCaptionBar, 62, "SplashCaptionBar"},
      {kIdxUnused64, 64, "(ignored 64)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.position + 1, c.counted) << c.name;
    EXPECT_STREQ(kIndexFields[c.position].name, c.name);
  }
  EXPECT_EQ(kIndexHeaderFields, 64);
  EXPECT_EQ(kFileRowFields, 8);
  EXPECT_STREQ(kFileRowFieldNames[kRowSubDir], "SubDir");
  EXPECT_STREQ(kFileRowFieldNames[kRowOffset], "Offset");
}

TEST(PackageIndex, SettingsSectionIsReadOnlyUnderTheTag) {
  std::vector<std::string> f = Header();
  std::vector<std::string> row = {"a.txt", "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", "1", "2", ""};
  f.insert(f.end(), row.begin(), row.end());
  f.push_back("");  // the end of the list
  std::string longValue(300, 'v');
  for (const char* kv : {"product.id", "Demo.Id", "future.key", "ignored", "product.url", "http://a",
                         "uninstaller.region", "10,20,lzma,30,0000abcd", "product.version", longValue.c_str(),
                         "product.url", "http://b", "product.publisher", "", "ui.language", "en"})
    f.push_back(kv);
  PackageSettings plain;
  Parse(f, plain);  // position 48 holds "whatever": no extension
  EXPECT_FALSE(plain.Extended);
  EXPECT_TRUE(plain.ProductId.IsEmpty());
  EXPECT_TRUE(plain.ProductUrl.IsEmpty());
  EXPECT_EQ(plain.UninstallerRegion.Method, kMethodNone);
  EXPECT_TRUE(plain.Language.IsEmpty());

  f[kIdxExtension] = PACKAGE_TAG;
  PackageSettings s;
  Parse(f, s);
  EXPECT_TRUE(s.Extended);
  EXPECT_EQ(s.FileList.Count, 1);
  EXPECT_STREQ(s.ProductId.c_str(), "Demo.Id");
  EXPECT_STREQ(s.ProductUrl.c_str(), "http://b");  // given twice: the last one counts
  EXPECT_EQ(s.ProductVersion.GetLength(), SETTING_VALUE_LIMIT);
  EXPECT_TRUE(s.ProductPublisher.IsEmpty());
  EXPECT_EQ(s.UninstallerRegion.Method, kMethodLzma);
  EXPECT_EQ(s.UninstallerRegion.Offset, 10);
  EXPECT_EQ(s.UninstallerRegion.Length, 20);
  EXPECT_EQ(s.UninstallerRegion.Unpacked, 30u);
  EXPECT_EQ(s.UninstallerRegion.Crc, 0xabcdUL);
  EXPECT_STREQ(s.Language.c_str(), "en");
  // Pairs in rows of two, as the builder writes them, read the same.
  PackageSettings rows;
  CFieldTable t;
  t.columnCount = 8;
  for (size_t i = 0; i < 64 + 8 + 1; i++) t.AddField(f[i].c_str());
  t.text += "product.id\x07Row.Id\x08\r\nproduct.url\x07u\x08\r\n";
  ParsePackageIndex(t, rows);
  EXPECT_STREQ(rows.ProductId.c_str(), "Row.Id");
  EXPECT_STREQ(rows.ProductUrl.c_str(), "u");
}

TEST(PackageIndex, FileRowsWithKeywordsAndFallbacks) {
  std::vector<std::string> f = Header();
  std::vector<std::vector<std::string>> rows = {
      {"a.dll", "WINDOWS_FOLDER", "", "0", "NOTEXIST_COPY", "10", "20", ""},
      {"b.ocx", "SYSTEM_FOLDER", "sub", "7", "ASK_COPY", "30", "40", ""},
      {"c.txt", "windows_folder", "x\\y", "none", "ask_copy", "", "abc", ""},
      {"d.exe", "INSTALL_FOLDER", "", "4", "ALWAYS_COPY", "1", "2", ""},
  };
  for (auto& r : rows) f.insert(f.end(), r.begin(), r.end());
  f.push_back("");
  f.push_back("after the end");
  PackageSettings s;
  Parse(f, s);
  ASSERT_EQ(s.FileList.Count, 4);
  struct Want { const char* name; int folder; const char* sub; int sc; int mode; long len, off; } want[] = {
      {"a.dll", FOLDER_WINDOWS, "", 0, COPY_IF_ABSENT, 10, 20},
      {"b.ocx", FOLDER_SYSTEM, "sub", 7, COPY_ASK, 30, 40},
      {"c.txt", FOLDER_INSTALL, "x\\y", 0, COPY_ALWAYS, 0, 0},
      {"d.exe", FOLDER_INSTALL, "", 4, COPY_ALWAYS, 1, 2},
  };
  // Visit in a jumping order so that every walking direction is used.
  for (int i : {0, 3, 1, 2, 0, 2, 3, 1}) {
    ASSERT_TRUE(s.FileList.MoveTo(i));
    const FileEntry* e = s.FileList.Current();
    EXPECT_STREQ(e->Name, want[i].name);
    EXPECT_EQ(e->Folder, want[i].folder);
    EXPECT_STREQ(e->SubDir, want[i].sub);
    EXPECT_EQ(e->Shortcuts, want[i].sc);
    EXPECT_EQ(e->CopyMode, want[i].mode);
    EXPECT_EQ(e->Length, want[i].len);
    EXPECT_EQ(e->Offset, want[i].off);
  }
  EXPECT_FALSE(s.FileList.MoveTo(4));
  EXPECT_FALSE(s.FileList.MoveTo(-1));
  EXPECT_EQ(s.FileList.CursorIndex, 1);
  EXPECT_STREQ(s.FileList.Current()->Name, "b.ocx");
}

TEST(PackageIndex, EarlyEndGivesEmptyAndZeroSettings) {
  std::vector<std::string> f = Header();
  f.resize(45);
  PackageSettings s;
  Parse(f, s, 1);
  EXPECT_STREQ(s.RegKeys[1].c_str(), "HKEY_CURRENT_USER|Software\\B");
  EXPECT_STREQ(s.RegValues[0].c_str(), "");
  EXPECT_EQ(s.PictureLength, 0);
  EXPECT_STREQ(s.TypeAssoc[0].Extension, "");
  EXPECT_FALSE(s.SplashEnabled);
  EXPECT_EQ(s.FileList.Count, 0);
}

TEST(PackageIndex, OverlongTextsAreCutInsideTheirBuffers) {
  std::vector<std::string> f = Header();
  f[40] = std::string(400, 'N');
  f[52] = std::string(300, 'P');
  f[53] = "abcdefgh";  // an extension of more than 3 bytes
  f[59] = std::string(100, 'C');
  // Double-byte characters (code page 936) are never split.
  f[0] = std::string(127, 'a') + std::string(200, '\xb0');
  PackageSettings s;
  Parse(f, s);
  EXPECT_EQ(strlen(s.ProductName), 255u);
  EXPECT_STREQ(s.TypeAssoc[0].Extension, "abc");
  EXPECT_EQ(std::string(s.TypeAssoc[0].Program), std::string(254, 'P'));
  EXPECT_EQ(strlen(s.SplashCaption), 67u);
  EXPECT_EQ(strlen(s.PageText[0][0]), 127u + 128u);
  EXPECT_STREQ(s.ReadmeFile, "INSTALL\\readme.txt");
}

}  // namespace

namespace {

// A tagged package's rows must all carry their extension, an untagged one's
// none; anything else is damage, whatever the rest of the row says.
TEST(PackageIndex, RowExtensionsMustAgreeWithTheTag) {
  struct {
    const char* tag;
    const char* ext[2];
    bool damaged;
  } cases[] = {
      {"", {"", ""}, false},
      {"PKX1", {"stored,5,cbf43926", "lzma,100,00000000"}, false},
      {"PKX1", {"stored,5,cbf43926", ""}, true},
      {"", {"stored,5,cbf43926", ""}, true},
      {"PKX1", {"lzma,1,CBF43926", "stored,0,00000000"}, true},  // upper-case hex
      {"PKX2", {"", ""}, false},            // not our tag: an old package
      {"", {"anything", "lzma-ish"}, false},  // other text, passed over as ever
  };
  for (const auto& c : cases) {
    std::vector<std::string> f = Header();
    f[kIdxExtension] = c.tag;
    for (const char* ext : c.ext) {
      std::vector<std::string> row = {"a", "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", "5", "9", ext};
      f.insert(f.end(), row.begin(), row.end());
    }
    f.push_back("");
    PackageSettings s;
    Parse(f, s);
    EXPECT_EQ(s.RowsDamaged != false, c.damaged) << c.tag << " " << c.ext[0] << " " << c.ext[1];
    EXPECT_EQ(s.FileList.Count, 2);
  }
  std::vector<std::string> f = Header();
  f[kIdxExtension] = "PKX1";
  std::vector<std::string> row = {"a", "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", "5", "9", "lzma,12345678901,0badcafe"};
  f.insert(f.end(), row.begin(), row.end());
  PackageSettings s;
  Parse(f, s);
  ASSERT_TRUE(s.FileList.MoveTo(0));
  EXPECT_EQ(s.FileList.Current()->Method, kMethodLzma);
  EXPECT_EQ(s.FileList.Current()->Unpacked, 12345678901ULL);
  EXPECT_EQ(s.FileList.Current()->Crc, 0x0badcafeUL);
}

}  // namespace

namespace {

// The settings section's lists: items by number in their order, gaps
// skipped, a value past its limit voiding its item (never cut into one that
// names something else), numbers outside 1 to 64 and the header's own two
// registry entries passed over.
TEST(PackageIndex, ListsOfTheSettingsSection) {
  std::vector<std::string> f = Header();
  f[kIdxExtension] = PACKAGE_TAG;
  f.push_back("");  // no files
  std::string key515 = "HKEY_CURRENT_USER|" + std::string(497, 'k');
  std::vector<std::pair<std::string, std::string>> kv = {
      {"association.3.extension", "drawio"},
      {"association.3.program", "INSTALL_FOLDER\\d.exe"},
      {"association.3.description", "\xcd\xbc"},  // 图
      {"association.1.extension", "docx"},
      {"association.1.program", "INSTALL_FOLDER\\w.exe"},
      {"association.1.icon", "INSTALL_FOLDER\\i.dll,-101"},
      {"association.2.extension", "a23456789012345X"},  // 16 characters
      {"association.2.program", "INSTALL_FOLDER\\x.exe"},
      {"association.4.extension", "DOCX"},  // the same as association.1
      {"association.4.program", "INSTALL_FOLDER\\y.exe"},
      {"association.5.extension", "a.b"},
      {"association.5.program", "INSTALL_FOLDER\\y.exe"},
      {"association.6.extension", "nop"},  // no program
      {"association.7.extension", "long"},
      {"association.7.program", "INSTALL_FOLDER\\" + std::string(241, 'p')},  // 256 bytes
      {"association.64.extension", "\xb0\xa1\xb0\xa1"},  // two Chinese characters
      {"association.64.program", "INSTALL_FOLDER\\z.exe"},
      {"association.65.extension", "x65"},
      {"association.65.program", "INSTALL_FOLDER\\z.exe"},
      {"association.0.extension", "x0"},
      {"association.0.program", "INSTALL_FOLDER\\z.exe"},
      {"association.08.extension", "x08"},
      {"association.08.program", "INSTALL_FOLDER\\z.exe"},
      {"association.3.description", "\xcd\xbc\xc6\xac"},  // given twice: the last counts
      {"uninstall.key.2", "HKEY_USERS|header"},
      {"uninstall.key.3", "HKEY_USERS|three"},
      {"uninstall.key.64", key515},
      {"uninstall.key.5", key515 + "k"},
      {"uninstall.value.3", "HKEY_USERS|k|v"},
      {"uninstall.value.65", "HKEY_USERS|k|w"},
      {"uninstall.values.4", "HKEY_USERS|k|x"},
      {"licence.region", "123,45,lzma,6000,0badcafe"},
  };
  for (const auto& [k, v] : kv) {
    f.push_back(k);
    f.push_back(v);
  }
  PackageSettings s;
  Parse(f, s);
  ASSERT_EQ(s.AssociationCount, 3);
  EXPECT_STREQ(s.Associations[0].Extension, "docx");
  EXPECT_STREQ(s.Associations[0].Icon, "INSTALL_FOLDER\\i.dll,-101");
  EXPECT_TRUE(s.Associations[0].Description.IsEmpty());
  EXPECT_STREQ(s.Associations[1].Extension, "drawio");
  EXPECT_STREQ(s.Associations[1].Program, "INSTALL_FOLDER\\d.exe");
  EXPECT_STREQ(s.Associations[1].Description, "\xcd\xbc\xc6\xac");
  EXPECT_STREQ(s.Associations[2].Extension, "\xb0\xa1\xb0\xa1");
  EXPECT_STREQ(s.RegKeys[0], "HKEY_CURRENT_USER|Software\\A");
  EXPECT_STREQ(s.RegKeys[1], "HKEY_CURRENT_USER|Software\\B");
  EXPECT_STREQ(s.RegKeys[2], "HKEY_USERS|three");
  EXPECT_TRUE(s.RegKeys[4].IsEmpty());
  EXPECT_EQ(s.RegKeys[63], key515.c_str());
  EXPECT_STREQ(s.RegValues[2], "HKEY_USERS|k|v");
  EXPECT_TRUE(s.RegValues[3].IsEmpty());
  EXPECT_EQ(s.LicenceRegion.Method, kMethodLzma);
  EXPECT_EQ(s.LicenceRegion.Offset, 123);
  EXPECT_EQ(s.LicenceRegion.Length, 45);
  EXPECT_EQ(s.LicenceRegion.Unpacked, 6000u);
  EXPECT_EQ(s.LicenceRegion.Crc, 0x0badcafeUL);

  // A licence reference that does not read is none.
  f.back() = "123,45,zip,6000,0badcafe";
  PackageSettings bad;
  Parse(f, bad);
  EXPECT_EQ(bad.LicenceRegion.Method, kMethodNone);
  EXPECT_EQ(bad.AssociationCount, 3);
}

// A row past 2 GiB: its extension's 64-bit region counts, and the 32-bit
// fields must hold each value that fits and 0 for one that does not.
TEST(PackageIndex, RowsPastTwoGigabytesTakeTheirWideRegion) {
  struct {
    const char* length;
    const char* offset;
    const char* ext;
    bool damaged;
    long long wantLength, wantOffset;
  } cases[] = {
      {"0", "2000", "stored,3000000000,00000000,2000,3000000000", false, 3000000000LL, 2000},
      {"100", "0", "lzma,200,00000000,4294967000,100", false, 100, 4294967000LL},
      {"100", "2147483647", "stored,100,00000000,2147483647,100", false, 100, 2147483647LL},
      {"3000", "2000", "stored,3000000000,00000000,2000,3000000000", true, 3000000000LL, 2000},
      {"0", "0", "stored,3000000000,00000000,2000,3000000000", true, 3000000000LL, 2000},
      {"2147483647", "0", "stored,3000000000,00000000,5000000000,3000000000", true, 3000000000LL, 5000000000LL},
      {"5", "9", "stored,5,00000000,9", true, 5, 9},  // half a region does not read
  };
  for (const auto& c : cases) {
    std::vector<std::string> f = Header();
    f[kIdxExtension] = PACKAGE_TAG;
    std::vector<std::string> row = {"a", "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", c.length, c.offset, c.ext};
    f.insert(f.end(), row.begin(), row.end());
    f.push_back("");
    PackageSettings s;
    Parse(f, s);
    EXPECT_EQ(s.RowsDamaged, c.damaged) << c.ext;
    ASSERT_TRUE(s.FileList.MoveTo(0));
    if (!c.damaged || strchr(c.ext + 8, ',') != strrchr(c.ext, ',')) {
      EXPECT_EQ(s.FileList.Current()->Length, c.wantLength) << c.ext;
      EXPECT_EQ(s.FileList.Current()->Offset, c.wantOffset) << c.ext;
    }
  }
}

}  // namespace
