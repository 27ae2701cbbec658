// setup.log: the bytes the setup writes and what the uninstaller reads back.
#include "common/setuplog.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace {

const std::string E = "\r\r\n";

FileEntry Entry(const char* name, int folder, const char* subDir = "") {
  FileEntry e;
  memset(&e, 0, sizeof e);
  strcpy(e.Name, name);
  strcpy(e.SubDir, subDir);
  e.Folder = folder;
  return e;
}

// Every line the reader's section helpers give, in the uninstaller's order.
struct Sections {
  std::vector<std::string> files, types, shortcuts;
};
Sections ReadSections(const std::string& path) {
  Sections s;
  CSetupLogReader r;
  EXPECT_TRUE(r.Open(path.c_str()));
  CString line;
  EXPECT_TRUE(r.BeginFileList());
  while (r.NextFilePath(line)) s.files.push_back("(sizes)");  // the first pass
  s.files.clear();
  EXPECT_TRUE(r.BeginFileList());
  while (r.NextFilePath(line)) s.files.push_back(line.c_str());
  r.BeginTypeList();
  while (r.NextExtension(line)) s.types.push_back(line.c_str());
  r.BeginShortcutList();
  while (r.NextShortcut(line)) s.shortcuts.push_back(line.c_str());
  return s;
}

typedef std::vector<std::string> Lines;

}  // namespace

TEST(SetupLogRules, ShortcutNameCutsAfterFirstDot) {
  EXPECT_STREQ(ShortcutName("tool.exe"), "tool.lnk");
  EXPECT_STREQ(ShortcutName("a.b.exe"), "a.lnk");
  EXPECT_STREQ(ShortcutName("README"), "lnk");
  EXPECT_STREQ(ShortcutName(".hidden"), ".lnk");
  EXPECT_STREQ(SetupLogPathIn("C:\\P\\"), "C:\\P\\setup.log");
}

TEST(SetupLogWriter, ExampleIsByteExact) {
  TempDir dir;
  PackageSettings s;
  s.FileList.Append(Entry("app.exe", FOLDER_INSTALL));
  s.FileList.Append(Entry("ctl.ocx", FOLDER_SYSTEM));
  strcpy(s.TypeAssoc[0].Extension, "abc");
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create(dir.Path("setup.log").c_str()));
  EXPECT_TRUE(WriteLogSections(log, s, CInstallFolders("C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files\\Demo\\")));
  EXPECT_TRUE(log.WriteLine("C:\\Desktop\\app.lnk"));
  EXPECT_TRUE(log.WriteLine("C:\\Programs\\Demo\\app.lnk"));
  EXPECT_TRUE(log.Close());
  EXPECT_EQ(ReadBytes(dir.Path("setup.log")),
            "[FILELIST]" + E + "C:\\Program Files\\Demo\\app.exe" + E + "C:\\WINDOWS\\system32\\ctl.ocx" + E + E +
                "[TYPELIST]" + E + "abc" + E + E + "[SHORTCUTLIST]" + E + "C:\\Desktop\\app.lnk" + E +
                "C:\\Programs\\Demo\\app.lnk" + E);
}

TEST(SetupLogWriter, EmptyGroupsAreJustTheirSeparators) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  PackageSettings s;
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create(path.c_str()));
  EXPECT_TRUE(WriteLogSections(log, s, CInstallFolders("W", "S", "I\\")));
  EXPECT_TRUE(log.Close());
  EXPECT_EQ(ReadBytes(path), "[FILELIST]" + E + E + "[TYPELIST]" + E + E + "[SHORTCUTLIST]" + E);

  strcpy(s.TypeAssoc[1].Extension, "zz");  // only the second one
  ASSERT_TRUE(log.Create(path.c_str()));
  EXPECT_TRUE(WriteLogSections(log, s, CInstallFolders("W", "S", "I\\")));
  EXPECT_TRUE(log.Close());
  EXPECT_EQ(ReadBytes(path), "[FILELIST]" + E + E + "[TYPELIST]" + E + "zz" + E + E + "[SHORTCUTLIST]" + E);
}

TEST(SetupLogWriter, ReplacesReadOnlyLog) {
  int result = RunWhereReadOnlyHolds([]() -> int {
    TempDir dir;
    std::string path = dir.Path("setup.log");
    if (!WriteBytes(path, "old content that is longer")) return 0;
    if (!MakeReadOnly(path)) return -1;
    CSetupLogWriter log;
    bool written = log.Create(path.c_str()) && log.WriteLine("x") && log.Close();
    return written && ReadBytes(path) == "x\r\r\n";
  });
  if (result < 0) GTEST_SKIP() << "read-only files can be written here";
  EXPECT_EQ(result, 1);
}

TEST(SetupLogWriter, FailuresAreNotReportedAsSuccess) {
  TempDir dir;
  CSetupLogWriter log;
  EXPECT_FALSE(log.WriteLine("never created"));
  EXPECT_FALSE(log.Close());
  EXPECT_FALSE(log.Create(dir.Path("no folder/setup.log").c_str()));
  EXPECT_FALSE(log.Close());
#ifndef _WIN32
  // A full disk: the write fails, and so does everything after it.
  if (log.Create("/dev/full")) {
    EXPECT_FALSE(log.WriteLine("[FILELIST]"));
    EXPECT_FALSE(log.WriteLine(""));
    EXPECT_FALSE(log.Close());
  }
#endif
}

TEST(SetupLogReader, RoundTripGivesEveryEntryBack) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  PackageSettings s;
  s.FileList.Append(Entry("app.exe", FOLDER_INSTALL));
  s.FileList.Append(Entry("\xCE\xC4\xBC\xFE.txt", FOLDER_WINDOWS, "sub"));
  strcpy(s.TypeAssoc[0].Extension, "abc");
  strcpy(s.TypeAssoc[1].Extension, "de");
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create(path.c_str()));
  ASSERT_TRUE(WriteLogSections(log, s, CInstallFolders("C:\\W", "C:\\S", "C:\\P\\")));
  ASSERT_TRUE(log.WriteLine("C:\\D\\app.lnk"));
  ASSERT_TRUE(log.Close());
  Sections r = ReadSections(path);
  EXPECT_EQ(r.files, Lines({"C:\\P\\app.exe", "C:\\W\\sub\\\xCE\xC4\xBC\xFE.txt"}));
  EXPECT_EQ(r.types, Lines({"abc", "de"}));
  EXPECT_EQ(r.shortcuts, Lines({"C:\\D\\app.lnk"}));
}

// The folder list follows the shortcut list after an empty line, where the
// readers of before stop; an empty list writes nothing, so such a log ends as
// before. A reader passes over sections it does not know.
TEST(SetupLogReader, FolderListAfterTheShortcutsWhereOldReadersStop) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  PackageSettings s;
  s.FileList.Append(Entry("app.exe", FOLDER_INSTALL));
  strcpy(s.TypeAssoc[0].Extension, "abc");
  CPathList none, folders;
  folders.Add("C:\\Upg");
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create(path.c_str()));
  ASSERT_TRUE(WriteLogSections(log, s, CInstallFolders("C:\\W", "C:\\S", "C:\\Upg\\App\\")));
  ASSERT_TRUE(log.WriteLine("C:\\D\\app.lnk"));
  ASSERT_TRUE(WriteLaterSections(log, &none, 0));
  ASSERT_TRUE(log.Close());
  std::string plain = ReadBytes(path);
  EXPECT_EQ(plain.substr(plain.size() - 15), "C:\\D\\app.lnk" + E);

  ASSERT_TRUE(log.Create(path.c_str()));
  ASSERT_TRUE(WriteLogSections(log, s, CInstallFolders("C:\\W", "C:\\S", "C:\\Upg\\App\\")));
  ASSERT_TRUE(log.WriteLine("C:\\D\\app.lnk"));
  ASSERT_TRUE(WriteLaterSections(log, &folders, 0));
  ASSERT_TRUE(log.Close());
  EXPECT_EQ(ReadBytes(path), plain + E + "[FOLDERLIST]" + E + "C:\\Upg" + E);
  // The uninstallers of before read the same sections as from the plain log.
  Sections r = ReadSections(path);
  EXPECT_EQ(r.files, Lines({"C:\\Upg\\App\\app.exe"}));
  EXPECT_EQ(r.shortcuts, Lines({"C:\\D\\app.lnk"}));

  // Sections of later versions before and after it are passed over.
  WriteBytes(path, plain + E + "[LATER]" + E + "x" + E + "y" + E + E + "[FOLDERLIST]" + E + "C:\\Upg" + E +
                       "C:\\Other" + E + E + "[LAST]" + E + "z" + E);
  CPathList types, links, listed;
  ASSERT_TRUE(ReadSetupLogLists(path.c_str(), types, links, listed));
  EXPECT_EQ(std::string(types.Lines(9)), "abc");
  EXPECT_EQ(std::string(links.Lines(9)), "C:\\D\\app.lnk");
  EXPECT_EQ(std::string(listed.Lines(9)), "C:\\Upg\r\nC:\\Other");
  EXPECT_FALSE(ReadSetupLogLists(dir.Path("none.log").c_str(), types, links, listed));
}

TEST(SetupLogReader, ForeignLineEndsLoseNoRealCharacter) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  const Lines files = {"C:\\a.exe", "C:\\b.exe"};
  for (const char* end : {"\r\n", "\n"}) {
    std::string eol = end;
    // The last shortcut line has no end at all.
    ASSERT_TRUE(WriteBytes(path, "[FILELIST]" + eol + "C:\\a.exe" + eol + "C:\\b.exe" + eol + eol + "[TYPELIST]" +
                                     eol + "abcd" + eol + eol + "[SHORTCUTLIST]" + eol + "C:\\s.lnk" + eol +
                                     "C:\\t.lnk"));
    Sections r = ReadSections(path);
    EXPECT_EQ(r.files, files) << "line end " << eol.size();
    EXPECT_EQ(r.types, Lines({"abc"}));
    EXPECT_EQ(r.shortcuts, Lines({"C:\\s.lnk", "C:\\t.lnk"}));
  }
}

TEST(SetupLogReader, ReadLineRulesAndEndOfFile) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  ASSERT_TRUE(WriteBytes(path, "a\r\r\r\n" + E + "b\rc" + E + "tail\r\r"));
  CSetupLogReader r;
  ASSERT_TRUE(r.Open(path.c_str()));
  CString line;
  EXPECT_EQ(r.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "a\r");  // at most two CRs go
  EXPECT_EQ(r.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(r.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "b\rc");
  EXPECT_EQ(r.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "tail");
  EXPECT_EQ(r.ReadLine(line), kLogLineEnd);
  EXPECT_EQ(r.ReadLine(line), kLogLineEnd);
  EXPECT_STREQ(line, "");
  ASSERT_TRUE(r.Rewind());
  EXPECT_EQ(r.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "a\r");
  r.Close();
  EXPECT_FALSE(r.Open(dir.Path("missing.log").c_str()));
}

TEST(SetupLogReader, LongAndZeroByteLinesAreSkippedWithoutEndingTheGroup) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  std::string atLimit(LOG_LINE_LIMIT, 'x');
  std::string huge(3 * 4096 + 17, 'y');  // spans several read buffers
  std::string zero("C:\\a.dll\0.bak", 13);
  ASSERT_TRUE(WriteBytes(path, "[FILELIST]" + E + atLimit + E + huge + E + zero + E + "C:\\b.exe" + E +
                                   atLimit + "z" + E + E + "[TYPELIST]" + E + std::string("\0ab", 3) + E + "\xB0\xA1\xB0\xA1" +
                                   E + E + "[SHORTCUTLIST]" + E + "C:\\s.lnk" + E));
  Sections r = ReadSections(path);
  EXPECT_EQ(r.files, Lines({atLimit, "C:\\b.exe"}));
  EXPECT_EQ(r.types, Lines({"\xB0\xA1"}));  // cut between characters
  EXPECT_EQ(r.shortcuts, Lines({"C:\\s.lnk"}));

  CSetupLogReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));
  CString line;
  reader.ReadLine(line);
  reader.ReadLine(line);
  EXPECT_EQ(reader.ReadLine(line), kLogLineDamaged);
  EXPECT_EQ(reader.ReadLine(line), kLogLineDamaged);
  EXPECT_EQ(reader.ReadLine(line), kLogLineText);
  EXPECT_STREQ(line, "C:\\b.exe");
}

TEST(ProgramGroup, FirstShortcutBelowProgramsFolderIgnoringCase) {
  const char* programs = "C:\\Users\\Root\\Start Menu\\Programs\\";
  CString group;
  EXPECT_FALSE(ProgramGroupOf("C:\\Users\\Root\\Desktop\\app.lnk", programs, group));
  ASSERT_TRUE(ProgramGroupOf("c:\\USERS\\root\\start menu\\programs\\Demo\\app.lnk", programs, group));
  EXPECT_STREQ(group, "c:\\users\\root\\start menu\\programs\\demo");
  // Missing trailing backslash on the Programs folder changes nothing.
  ASSERT_TRUE(ProgramGroupOf("C:\\P\\Demo\\app.lnk", "C:\\P", group));
  EXPECT_STREQ(group, "c:\\p\\demo");
}

TEST(ProgramGroup, NeverTheProgramsFolderItselfNorAnythingForAnEmptyOne) {
  CString group("unchanged");
  EXPECT_FALSE(ProgramGroupOf("C:\\P\\app.lnk", "C:\\P\\", group));
  EXPECT_FALSE(ProgramGroupOf("C:\\Desktop\\app.lnk", "", group));
  EXPECT_STREQ(group, "unchanged");
}

TEST(ProgramGroup, CodePage936TrailBytesAreNeitherLoweredNorSeparators) {
  // 0x81 0x41 and 0x81 0x5C are single characters: their trail bytes look like
  // "A" and a backslash.
  EXPECT_STREQ(LowerTextMb("AB\x81\x41Z"), "ab\x81\x41z");
  EXPECT_EQ(FindTextMb("\x81\x41" "A", "A"), 2);
  CString group;
  ASSERT_TRUE(ProgramGroupOf("C:\\P\\Grp\\G\x81\x5C" "A.lnk", "C:\\p\\", group));
  EXPECT_STREQ(group, "c:\\p\\grp");  // not "c:\\p\\grp\\g\x81"
  // "a\\" occurs only from the trail byte of 0x81 0x61 on: no match.
  EXPECT_FALSE(ProgramGroupOf("\x81" "a\\g\\x.lnk", "a\\", group));
}

// The list's associations after the shortcut list: an earlier reader stops
// before them (it never takes ".docx" for "doc"), a new one finds its section
// by name whatever comes before it, and a log without them stays as it was.
TEST(SetupLogLaterSections, TypeRecordsFollowTheShortcutList) {
  TempDir dir;
  std::string path = dir.Path("setup.log");
  PackageSettings s;
  s.FileList.Append(Entry("app.exe", FOLDER_INSTALL));
  TypeRecordList types;
  const char* lines[] = {"docx|made", "drawio|was|rtffile", "\xb0\xa1|none", "json|kept", "x|was|a|b c"};
  for (const char* l : lines) ASSERT_TRUE(ParseTypeRecord(l, types.Items[types.Count++])) << l;
  EXPECT_STREQ(types.Items[1].Previous, "rtffile");
  EXPECT_STREQ(types.Items[4].Previous, "a|b c");
  CSetupLogWriter log;
  ASSERT_TRUE(log.Create(path.c_str()));
  ASSERT_TRUE(WriteLogSections(log, s, CInstallFolders("C:\\W", "C:\\S", "C:\\P\\")));
  ASSERT_TRUE(log.WriteLine("C:\\D\\app.lnk"));
  ASSERT_TRUE(WriteLaterSections(log, 0, &types));
  ASSERT_TRUE(log.Close());
  std::string want = "[FILELIST]" + E + "C:\\P\\app.exe" + E + E + "[TYPELIST]" + E + E + "[SHORTCUTLIST]" + E +
                     "C:\\D\\app.lnk" + E + E + "[TYPELIST2]" + E;
  for (const char* l : lines) want += l + E;
  EXPECT_EQ(ReadBytes(path), want);
  Sections old = ReadSections(path);
  EXPECT_EQ(old.types, Lines{});
  EXPECT_EQ(old.shortcuts, Lines({"C:\\D\\app.lnk"}));

  // Found by name past a section of another kind; then back to the shortcuts.
  WriteBytes(path, want.substr(0, want.find("[TYPELIST2]")) + "[FOLDERLIST]" + E + "C:\\P\\x" + E + E + E + want.substr(want.find("[TYPELIST2]")));
  CSetupLogReader r;
  ASSERT_TRUE(r.Open(path.c_str()));
  ASSERT_TRUE(r.BeginSection(LOG_TYPES2_SECTION));
  CString line;
  Lines got;
  TypeRecord rec;
  while (r.NextEntry(line)) got.push_back(ParseTypeRecord(line, rec) ? FormatTypeRecord(rec).c_str() : "?");
  EXPECT_EQ(got, Lines(std::begin(lines), std::end(lines)));
  EXPECT_FALSE(r.BeginSection("[NOSUCH]"));
  ASSERT_TRUE(r.BeginGroup(2));
  ASSERT_TRUE(r.NextShortcut(line));
  EXPECT_STREQ(line, "C:\\D\\app.lnk");
  EXPECT_FALSE(r.NextShortcut(line));
  r.Close();

  // Nothing to add: the log ends with its shortcut list, as always.
  TypeRecordList none;
  ASSERT_TRUE(log.Create(path.c_str()));
  ASSERT_TRUE(log.WriteLine("[SHORTCUTLIST]"));
  ASSERT_TRUE(WriteLaterSections(log, 0, &none));
  ASSERT_TRUE(log.Close());
  EXPECT_EQ(ReadBytes(path), "[SHORTCUTLIST]" + E);
  ASSERT_TRUE(r.Open(path.c_str()));
  EXPECT_FALSE(r.BeginSection(LOG_TYPES2_SECTION));

  // Lines that are no record are passed over: no extension the list may
  // hold, no state, a state with more after it.
  for (const char* bad : {"|made", "a\\b|made", "a.b|made", "docx", "docx|gone", "docx|made|x", "docx|was",
                          "a23456789012345X|made"})
    EXPECT_FALSE(ParseTypeRecord(bad, rec)) << bad;
}
