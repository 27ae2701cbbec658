// The uninstaller's start-up rules: its table as the setup writes it, the
// temporary copy's name and parameter, and the name of the log.
#include "uninstall/core/uninstallsettings.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/container.h"
#include "common/packageindex.h"
#include "testutil.h"

namespace {

TEST(UninstallTable, ReadsWhatWriteUninstallerWrote) {
  TempDir dir;
  std::string program(3000, 'p');
  std::string setup = std::string(100, 's') + std::string(40, 'P') + std::string(20, 'I');
  WriteBytes(dir.Path("setup.exe"), setup);
  std::string modulePath = dir.Path("setup.exe"), installDir = dir.Dir();
  UninstallerSource src = {program.data(), 3000, modulePath.c_str(), "示例软件", 40, 100, 20, 140,
                           {"HKEY_CURRENT_USER|Software\\A", "HKEY_USERS|x"}, {"HKEY_CURRENT_USER||v", ""},
                           installDir.c_str()};
  ASSERT_TRUE(WriteUninstaller(src));
  std::string tmp = dir.Path("wren.tmp");
  WriteBytes(tmp, "stale");  // a leftover of an earlier run is replaced

  UninstallSettings s;
  ASSERT_TRUE(LoadUninstallTableFrom(dir.Path("ridkit.exe").c_str(), tmp.c_str(), s));
  EXPECT_STREQ(s.ProductName, "示例软件");
  EXPECT_EQ(s.PictureLength, 40);
  EXPECT_EQ(s.PictureOffset, 3000);
  EXPECT_EQ(s.IconLength, 20);
  EXPECT_EQ(s.IconOffset, 3040);
  EXPECT_STREQ(s.RegKeys[0], "HKEY_CURRENT_USER|Software\\A");
  EXPECT_STREQ(s.RegKeys[1], "HKEY_USERS|x");
  EXPECT_STREQ(s.RegValues[0], "HKEY_CURRENT_USER||v");
  EXPECT_STREQ(s.RegValues[1], "");
  EXPECT_FALSE(FileExists(tmp));
  std::string file = ReadBytes(dir.Path("ridkit.exe"));
  EXPECT_EQ(file.substr(s.PictureOffset, s.PictureLength), std::string(40, 'P'));
  EXPECT_EQ(file.substr(s.IconOffset, s.IconLength), std::string(20, 'I'));
}

// More registry entries than the nine fields hold go into the table's
// extension after them, in rows like the package's settings; a table without
// them is the nine fields, byte for byte as before.
TEST(UninstallTable, EntriesPastTheFirstTwoFollowTheNinthField) {
  TempDir dir;
  std::string program(100, 'p'), setup = dir.Path("setup.exe"), installDir = dir.Dir();
  WriteBytes(setup, "s");
  UninstallerSource src = {program.data(), 100, setup.c_str(), "P", 0, 0, 0, 0, {"HKEY_USERS|k1"}, {""},
                           installDir.c_str()};
  ASSERT_TRUE(WriteUninstaller(src));
  CFieldTable t;
  std::string file = ReadBytes(dir.Path("ridkit.exe"));
  long long len = 0, seek = 0;
  ASSERT_TRUE(ReadTrailer(dir.Path("ridkit.exe").c_str(), len, seek));
  t.LoadBytes(file.data() + seek, static_cast<int>(len), TABLE_KEY);
  EXPECT_EQ(std::string(t.text.c_str()),
            "P\x07" "0\x07" "100\x07" "0\x07" "100\x07" "HKEY_USERS|k1\x07\x07\x08\r\n\x07");

  std::string keys[REG_ENTRY_MAX], values[REG_ENTRY_MAX];
  for (int i = 0; i < REG_ENTRY_MAX; i++) {
    keys[i] = "HKEY_USERS|k" + std::to_string(i + 1);
    values[i] = i == 40 ? "" : "HKEY_USERS|k|v" + std::to_string(i + 1);
    src.regKeys[i] = keys[i].c_str();
    src.regValues[i] = values[i].c_str();
  }
  // The language rides in the same extension.
  src.language = "en";
  ASSERT_TRUE(WriteUninstaller(src));
  UninstallSettings s;
  ASSERT_TRUE(LoadUninstallTableFrom(dir.Path("ridkit.exe").c_str(), "", s));
  EXPECT_STREQ(s.Language, "en");
  for (int i = 0; i < REG_ENTRY_MAX; i++) {
    EXPECT_EQ(std::string(s.RegKeys[i].c_str()), keys[i]) << i;
    EXPECT_EQ(std::string(s.RegValues[i].c_str()), values[i]) << i;
  }
  file = ReadBytes(dir.Path("ridkit.exe"));
  ASSERT_TRUE(ReadTrailer(dir.Path("ridkit.exe").c_str(), len, seek));
  t.LoadBytes(file.data() + seek, static_cast<int>(len), TABLE_KEY);
  std::string text = t.text.c_str();
  EXPECT_NE(text.find("HKEY_USERS|k|v2\x07PKX1\x08\r\nui.language\x07" "en\x08\r\nuninstall.key.3\x07HKEY_USERS|k3\x08\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("uninstall.value.41"), std::string::npos);

  // Rows of other kinds, and the header's own two, are passed over.
  const std::string F = "\x07", R = "\x08\r\n";
  t.text = ("P" + F + "0" + F + "0" + F + "0" + F + "0" + F + "a" + F + "b" + F + "c" + F + "d" + R +
            "PKX1" + R + "ui.language" + F + "en" + R + "uninstall.key.1" + F + "x" + R + "uninstall.key.4" + F +
            "y" + R).c_str();
  t.readPos = 0;
  UninstallSettings o;
  ParseUninstallTable(t, o);
  EXPECT_STREQ(o.RegKeys[0], "a");
  EXPECT_STREQ(o.RegValues[1], "d");
  EXPECT_STREQ(o.RegKeys[3], "y");
  EXPECT_TRUE(o.RegKeys[2].IsEmpty());
  EXPECT_STREQ(o.Language, "en");
}

TEST(UninstallTable, ReadOnlyLeftoverDoesNotBlockTheRead) {
  int result = RunWhereReadOnlyHolds([]() -> int {
    TempDir dir;
    std::string program(100, 'p'), setup = dir.Path("setup.exe"), installDir = dir.Dir();
    WriteBytes(setup, "s");
    UninstallerSource src = {program.data(), 100, setup.c_str(), "P", 0, 0, 0, 0, {"", ""}, {"", ""},
                             installDir.c_str()};
    std::string tmp = dir.Path("wren.tmp");
    if (!WriteUninstaller(src) || !WriteBytes(tmp, "stale")) return 0;
    if (!MakeReadOnly(tmp)) return -1;
    UninstallSettings s;
    return LoadUninstallTableFrom(dir.Path("ridkit.exe").c_str(), tmp.c_str(), s) && s.ProductName == "P" &&
           !FileExists(tmp);
  });
  if (result < 0) GTEST_SKIP() << "read-only files can be written here";
  EXPECT_EQ(result, 1);
}

// The extension after the nine fields: the package's language and scope go
// through to the uninstaller; unknown keys are passed over, the last of a key
// counts; a table without them is the nine fields, read as before.
TEST(UninstallTable, ExtensionCarriesTheLanguageAndTheScope) {
  TempDir dir;
  std::string program(100, 'p'), installDir = dir.Dir();
  PackageSettings package;
  strcpy(package.ProductName, "P");
  package.Language = "en";
  UninstallerSource src = UninstallerSourceOf(package, program.data(), 100, "none", installDir.c_str());
  ASSERT_TRUE(WriteUninstaller(src));
  std::string tmp = dir.Path("wren.tmp");
  UninstallSettings s;
  ASSERT_TRUE(LoadUninstallTableFrom(dir.Path("ridkit.exe").c_str(), tmp.c_str(), s));
  EXPECT_STREQ(s.ProductName, "P");
  EXPECT_STREQ(s.RegValues[1], "");
  EXPECT_STREQ(s.Language, "en");
  // The bytes: the ninth field, the tag ending its row, a row per setting.
  std::string file = ReadBytes(dir.Path("ridkit.exe"));
  CStoredTable stored;
  ASSERT_TRUE(stored.Read(dir.Path("ridkit.exe").c_str(), 1 << 20));
  CFieldTable table;
  stored.Load(table);
  std::string text(table.text.c_str(), static_cast<size_t>(table.text.GetLength()));
  EXPECT_EQ(text.substr(text.find("\x08\r\n") + 3), "\x07PKX1\x08\r\nui.language\x07" "en\x08\r\n");

  CFieldTable more;
  more.text = table.text;
  more.text += "future.key\x07x\x08\r\nui.language\x07" "fr\x08\r\n";
  UninstallSettings last;
  ParseUninstallTable(more, last);
  EXPECT_STREQ(last.Language, "fr");
  // Without the tag after the ninth field, whatever follows is not read.
  CFieldTable untagged;
  untagged.text = "P\x07" "0\x07" "0\x07" "0\x07" "0\x07\x07\x07\x08\r\n\x07OTHER\x08\r\nui.language\x07" "en\x08\r\n";
  UninstallSettings plain;
  ParseUninstallTable(untagged, plain);
  EXPECT_TRUE(plain.Language.IsEmpty());

  // The default language: the nine fields alone.
  package.Language = "";
  ASSERT_TRUE(WriteUninstaller(UninstallerSourceOf(package, program.data(), 100, "none", installDir.c_str())));
  ASSERT_TRUE(stored.Read(dir.Path("ridkit.exe").c_str(), 1 << 20));
  stored.Load(table);
  text.assign(table.text.c_str(), static_cast<size_t>(table.text.GetLength()));
  EXPECT_EQ(text.substr(text.find("\x08\r\n") + 3), "\x07");

  // For the current user alone: the scope after the language, or alone.
  package.Scope = SCOPE_USER_WORD;
  for (const char* language : {"en", ""}) {
    package.Language = language;
    ASSERT_TRUE(WriteUninstaller(UninstallerSourceOf(package, program.data(), 100, "none", installDir.c_str())));
    UninstallSettings user;
    ASSERT_TRUE(LoadUninstallTableFrom(dir.Path("ridkit.exe").c_str(), tmp.c_str(), user));
    EXPECT_TRUE(user.UserScope());
    EXPECT_STREQ(user.Language, language);
    ASSERT_TRUE(stored.Read(dir.Path("ridkit.exe").c_str(), 1 << 20));
    stored.Load(table);
    text.assign(table.text.c_str(), static_cast<size_t>(table.text.GetLength()));
    EXPECT_EQ(text.substr(text.find("\x08\r\n") + 3),
              std::string("\x07PKX1\x08\r\n") + (language[0] ? "ui.language\x07" "en\x08\r\n" : "") +
                  "install.scope\x07user\x08\r\n");
  }
  // Any other word is the machine's installation.
  CFieldTable other;
  other.text = table.text;
  other.text += "install.scope\x07" "machine\x08\r\n";
  UninstallSettings machine;
  ParseUninstallTable(other, machine);
  EXPECT_FALSE(machine.UserScope());
}

TEST(UninstallTable, ProgramWithoutItsDataFails) {
  TempDir dir;
  WriteBytes(dir.Path("bare.exe"), std::string(5000, 'p'));
  UninstallSettings s;
  s.PictureLength = 7;
  EXPECT_FALSE(LoadUninstallTableFrom(dir.Path("bare.exe").c_str(), dir.Path("wren.tmp").c_str(), s));
  EXPECT_EQ(s.PictureLength, 0);
  EXPECT_FALSE(FileExists(dir.Path("wren.tmp")));
  EXPECT_FALSE(LoadUninstallTableFrom(dir.Path("missing.exe").c_str(), dir.Path("wren.tmp").c_str(), s));
  // A trailer whose table lies outside the file.
  WriteBytes(dir.Path("outside.exe"), std::string(500, 'p') + "&LEN:100,SEEK:900000.");
  EXPECT_FALSE(LoadUninstallTableFrom(dir.Path("outside.exe").c_str(), dir.Path("wren.tmp").c_str(), s));
  EXPECT_FALSE(FileExists(dir.Path("wren.tmp")));
}

TEST(UninstallStartup, TemporaryCopyByNameInAnyCase) {
  for (const char* yes : {"C:\\Temp\\glb1a2b.exe", "C:\\Temp\\GLB1A2B.EXE", "c:\\x y\\Glb1A2b.exe", "glb1a2b",
                          "\"C:\\Temp\\glb1a2b.exe\"", "C:\\Temp\\glb1a2b.tmp"})
    EXPECT_TRUE(IsTemporaryCopy(yes)) << yes;
  for (const char* no : {"C:\\Program Files\\App\\ridkit.exe", "C:\\Temp\\glb1a2b2.exe", "C:\\glb1a2b\\ridkit.exe",
                         "C:\\Temp\\xglb1a2b.exe", ""})
    EXPECT_FALSE(IsTemporaryCopy(no)) << no;
}

TEST(UninstallStartup, ParameterIsTheWholeRestWithoutQuotes) {
  EXPECT_STREQ(StripQuotes("\"C:\\a b\\setup.log\""), "C:\\a b\\setup.log");
  EXPECT_STREQ(StripQuotes("\"C:\\a b\\setup.log"), "C:\\a b\\setup.log");
  EXPECT_STREQ(StripQuotes("C:\\a\\setup.log\""), "C:\\a\\setup.log");
  EXPECT_STREQ(StripQuotes("\""), "");
  EXPECT_STREQ(StripQuotes(""), "");
}

TEST(UninstallStartup, PathsBesideTheProgramAndInTheTemporaryFolder) {
  EXPECT_STREQ(SetupLogBeside("C:\\Program Files\\示例 软件\\ridkit.exe"), "C:\\Program Files\\示例 软件\\setup.log");
  EXPECT_STREQ(SetupLogBeside("ridkit.exe"), "setup.log");
  EXPECT_STREQ(TemporaryCopyPath("C:\\Temp\\"), "C:\\Temp\\glb1a2b.exe");
  EXPECT_STREQ(TemporaryCopyPath("C:\\Temp"), "C:\\Temp\\glb1a2b.exe");
}

TEST(UninstallStartup, LogNameInAnyCaseButNothingElse) {
  for (const char* yes : {"C:\\x\\setup.log", "C:\\x\\SETUP.LOG", "setup.log", "D:\\Setup.Log"})
    EXPECT_TRUE(IsSetupLogName(yes)) << yes;
  for (const char* no : {"C:\\x\\setup.log.bak", "C:\\x\\mysetup.log", "C:\\setup.log\\other.txt", "C:\\x\\"})
    EXPECT_FALSE(IsSetupLogName(no)) << no;
}

}  // namespace
