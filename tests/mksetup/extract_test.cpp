// extract on setup files written by hand, as someone who did not make them
// would meet them: nothing is ever created, changed or removed outside the
// folder given, whatever the rows say and whatever stands in the folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "codepage.h"
#include "testenv.h"

namespace fs = std::filesystem;

namespace {

std::string Cp936(const std::string& utf8) {
  std::string out;
  Utf8ToCp936(utf8, out, nullptr);
  return out;
}

class ExtractTest : public ScratchTest {
 protected:
  RunResult Extract(const std::string& setup, const std::string& dir) {
    return RunMksetup({"extract", Path(setup), Path(dir)});
  }
  // Writes a package of these rows as name.
  void Package(const std::string& name, const std::vector<HandRow>& rows, bool sealed) {
    std::string data;
    std::vector<std::string> fields = HandFields(rows, sealed, data);
    Write(name, HandMade(fields, data, sealed));
  }
};

// Rows whose sub-folder or name hides a climb from a check that reads code
// page 936 (a pair whose trail byte is a backslash, 0xFF, a lead byte before
// a slash or at the end) and plain climbs: none is written, each is named by
// its row, and the scratch folder holds nothing but the setup file and the
// folder extracted into.
TEST_F(ExtractTest, HiddenClimbsAreRefusedAndNothingLandsOutside) {
  std::vector<HandRow> rows = {
      {"ok.txt", "", "ok"},
      {"x.txt", "..\xA1\\..\xA1\\..\xA1\\..\xA1\\..", "climb"},
      {"..\xFF", "", "ff name"},
      {"y.txt", "..\xFF", "ff folder"},
      {"z.txt", "a\x81/..", "lead and slash"},
      {"w.txt", "..\x81", "lead at the end"},
      {"up.txt", "..", "plain climb"},
      {Cp936("说明.txt"), Cp936("文档"), "chinese"},
      {"s.dll", "", "system", "SYSTEM_FOLDER"},
  };
  for (bool sealed : {false, true}) {
    SCOPED_TRACE(sealed ? "sealed" : "plain");
    fs::remove_all(Path("out"));
    Package("s.exe", rows, sealed);
    RunResult r = Extract("s.exe", "out/x");
    EXPECT_EQ(r.code, 1) << r.output;
    for (const char* e : {"file 2 (x.txt): its sub-folder \"..\\xA1\\..\\xA1\\..",
                          "holds bytes that are not code page 936 text (0xA1 0x5C at byte 3); not written",
                          "file 3 (..\\xFF): its name", "file 4 (y.txt): its sub-folder", "file 5 (z.txt)",
                          "file 6 (w.txt)", "file 7 (up.txt): its path leaves its folder", "6 files not written",
                          ": 3 files written to "})
      EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;
    EXPECT_EQ(Files(), (std::set<std::string>{"s.exe", "out/x/ok.txt", "out/x/文档/说明.txt",
                                              "out/x/SYSTEM_FOLDER/s.dll"}));
    EXPECT_EQ(ReadFile(Path("out/x/文档/说明.txt")), "chinese");
    // Nothing beside the files: no folder made for a refused row.
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(Path("out")); it != fs::recursive_directory_iterator(); ++it)
      entries++;
    EXPECT_EQ(entries, 6u);  // x, its three files, 文档, SYSTEM_FOLDER
  }
}

// Links planted in the folder lead nowhere: one where a folder goes is
// refused, one where a file goes is replaced by the file and what it led to
// stays. A row whose bytes do not match its checksum leaves the file that
// was there as it was, and no file where there was none; a file where a
// folder goes stays too.
TEST_F(ExtractTest, PlantedLinksAreNotFollowedAndDamagedRowsCostNothing) {
  Write("elsewhere/keep.txt", "elsewhere");
  Write("victim.txt", "victim");
  Write("out/y.txt", "old y");
  Write("out/z", "a file where a folder goes");
  fs::create_directory_symlink(Path("elsewhere"), Path("out/sub"));
  fs::create_symlink(Path("victim.txt"), Path("out/x.txt"));
  fs::create_symlink(Path("victim.txt"), Path("out/bad.txt"));
  Package("s.exe",
          {{"x.txt", "sub", "through the folder link"},
           {"x.txt", "", "new x"},
           {"y.txt", "", "damaged y", "INSTALL_FOLDER", true},
           {"bad.txt", "", "damaged over a link", "INSTALL_FOLDER", true},
           {"new.txt", "", "damaged, new", "INSTALL_FOLDER", true},
           {"w.txt", "z", "below a file"}},
          true);
  RunResult r = Extract("s.exe", "out");
  EXPECT_EQ(r.code, 1) << r.output;
  for (const char* e : {"file 1 (x.txt): cannot be written: sub is a link, which is not followed",
                        "file 3 (y.txt): damaged", "file 4 (bad.txt): damaged", "file 5 (new.txt): damaged",
                        "file 6 (w.txt): cannot be written: a file stands where the folder z goes",
                        ": 1 file written to ", "5 files not written"})
    EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;
  EXPECT_EQ(r.output.find("every checksum matches"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(Path("victim.txt")), "victim");
  // (Files() names a link by what it leads to.)
  EXPECT_EQ(Files(), (std::set<std::string>{"s.exe", "victim.txt", "elsewhere/keep.txt", "out/x.txt",
                                            "out/y.txt", "out/z"}));
  EXPECT_FALSE(fs::is_symlink(Path("out/x.txt")));
  EXPECT_EQ(ReadFile(Path("out/x.txt")), "new x");
  EXPECT_EQ(ReadFile(Path("out/y.txt")), "old y");
  EXPECT_TRUE(fs::is_symlink(Path("out/bad.txt")));
  EXPECT_TRUE(fs::is_symlink(Path("out/sub")));
}

// What extract says is what happened: a folder named with a backslash is
// that folder; names are shown escaped; a long name is cut as the setup cuts
// it, and one the file system cannot hold says why; a row written where an
// earlier one went counts once.
TEST_F(ExtractTest, ReportsSayWhatHappened) {
  std::string chinese;
  for (int i = 0; i < 127; i++) chinese += "\xD6\xD0";  // 中: 254 bytes here, 381 in UTF-8
  Package("s.exe",
          {{"a.txt", "", "first"},
           {"a.txt", "", "second"},
           {"k.dll", "", "system row", "SYSTEM_FOLDER"},
           {"k.dll", "SYSTEM_FOLDER", "installation row"},
           {"esc\x1b[2J\nline.txt", "", "escaped", "INSTALL_FOLDER", true},
           {std::string(300, 'n'), "", "cut"},
           {chinese, "", "too long"}},
          true);
  RunResult r = Extract("s.exe", "o\\x");
  EXPECT_EQ(r.code, 1) << r.output;
  for (const char* e : {"file 2 (a.txt): goes where file 1 went; the later one stays",
                        "file 4 (k.dll): goes where file 3 went", "file 5 (esc\\x1B[2J\\nline.txt): damaged",
                        "file 6 (nnnn", "its name of 300 bytes is cut to 255, as the setup cuts it",
                        "cannot be written: File name too long (the name is 381 bytes in UTF-8; the file system takes 255)",
                        ": 3 files written to ", "2 files not written"})
    EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;
  EXPECT_EQ(r.output.find("\x1b"), std::string::npos);
  EXPECT_EQ(ReadFile(Path("o\\x/a.txt")), "second");
  EXPECT_EQ(ReadFile(Path("o\\x/SYSTEM_FOLDER/k.dll")), "installation row");
  EXPECT_EQ(ReadFile(Path("o\\x/" + std::string(255, 'n'))), "cut");
  EXPECT_FALSE(fs::exists(Path("o")));

  // Every row written: every checksum matched.
  Package("good.exe", {{"a.txt", "", "a"}}, true);
  r = Extract("good.exe", "good");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find(": 1 file written to " + Path("good") + ", every checksum matches"), std::string::npos)
      << r.output;

  // Not a whole package: junk behind a trailer, an index cut inside a row.
  Write("junk.exe", "ab&LEN:3,SEEK:0.");
  std::string data;
  std::vector<std::string> fields = HandFields({{"a.txt", "", "a"}}, false, data);
  fields.resize(kIndexHeaderFields + 4);
  Write("cut.exe", HandMade(fields, data));
  for (const char* bad : {"junk.exe", "cut.exe"}) {
    r = Extract(bad, "bad");
    EXPECT_EQ(r.code, 1) << bad << "\n" << r.output;
    EXPECT_NE(r.output.find("is not a whole package (its index ends early); nothing written"), std::string::npos)
        << bad << "\n" << r.output;
    EXPECT_FALSE(fs::exists(Path("bad"))) << bad;
  }
}

}  // namespace
