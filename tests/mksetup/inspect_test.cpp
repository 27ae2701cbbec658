// inspect: what it prints for a package of ours, for packages written by
// other means, and for damaged files.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <random>

#include "common/container.h"
#include "common/fieldtable.h"
#include "common/packageext.h"
#include "framework/memory.h"
#include "inspect.h"
#include "testenv.h"

namespace fs = std::filesystem;

namespace {

const char kProject[] = R"(
compression = "none"
[product]
name = "演示软件"
[licence]
text = "第一行\n\"引号\" and \\ backslash"
[finish]
run = { folder = "system", path = "工具\\run.exe" }
[background]
caption = "Tab\there"
[uninstall]
registry_values = ["HKEY_CURRENT_USER|Software\\Run|演示"]
[[file]]
source = "a.txt"
name = "说明.txt"
subfolder = "文档"
shortcuts = ["desktop", "group"]
copy = "ask"
)";

// Runs inspect --json once and python3 on its output; one line of output per
// expression (d is the parsed object).
std::vector<std::string> JsonQuery(const std::string& setup, const std::vector<std::string>& exprs) {
  std::string script = "import json,sys\nd=json.load(sys.stdin)\n";
  for (const std::string& e : exprs) script += "print(" + e + ")\n";
  std::string scriptPath = setup + ".py";
  FILE* f = fopen(scriptPath.c_str(), "w");
  fputs(script.c_str(), f);
  fclose(f);
  std::string cmd = "'" MKSETUP_EXE "' inspect --json '" + setup + "' | python3 '" + scriptPath + "' 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  remove(scriptPath.c_str());
  std::vector<std::string> lines;
  size_t start = 0, nl;
  while ((nl = out.find('\n', start)) != std::string::npos) {
    lines.push_back(out.substr(start, nl - start));
    start = nl + 1;
  }
  if (start < out.size()) lines.push_back(out.substr(start));
  return lines;
}

class InspectTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Write("stub.exe", StubBytes());
    Write("a.txt", "hello");
    Write("p.toml", kProject);
  }
  std::string Built() {
    RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe")});
    EXPECT_EQ(r.code, 0) << r.output;
    return Path("s.exe");
  }
};

TEST_F(InspectTest, TextShowsFieldsByNameAndTheFileList) {
  std::string setup = Built();
  RunResult r = RunMksetup({"inspect", setup});
  ASSERT_EQ(r.code, 0) << r.output;
  const std::string& o = r.output;
  long long len = 0, seek = 0;
  ASSERT_TRUE(ReadTrailer(setup.c_str(), len, seek));
  EXPECT_NE(o.find("LEN " + std::to_string(len) + ", SEEK " + std::to_string(seek)), std::string::npos) << o;
  EXPECT_NE(o.find(std::to_string(fs::file_size(setup)) + " bytes"), std::string::npos);
  EXPECT_NE(o.find("ProductName              \"演示软件\""), std::string::npos) << o;
  EXPECT_NE(o.find("page2.line3              \"第一行\\r\\n\"引号\" and \\ backslash\""), std::string::npos);
  EXPECT_NE(o.find("RunFile                  \"SYSTEM_FOLDER\\工具\\run.exe\""), std::string::npos);
  EXPECT_NE(o.find("SplashCaption            \"Tab\\there\""), std::string::npos);
  EXPECT_NE(o.find("48  Extension                \"\""), std::string::npos) << o;
  EXPECT_EQ(o.find("settings:"), std::string::npos);  // no extension: no section
  EXPECT_NE(o.find("files: 1"), std::string::npos);
  EXPECT_NE(o.find("name=\"说明.txt\" folder=INSTALL_FOLDER subdir=\"文档\" shortcuts=5 (desktop+group) "
                   "copy=ASK_COPY length=5 offset=" + std::to_string(StubBytes().size())),
            std::string::npos)
      << o;
  EXPECT_EQ(o.find("problems"), std::string::npos);
}

TEST_F(InspectTest, JsonIsValidAndCarriesTheSameValues) {
  std::string setup = Built();
  std::vector<std::string> expected = {
      "演示软件",
      "'第一行\\r\\n\"引号\" and \\\\ backslash'",
      "HKEY_CURRENT_USER|Software\\Run|演示",
      "64",
      "说明.txt 文档 5 ASK_COPY 5 False",
      "True",
  };
  EXPECT_EQ(JsonQuery(setup, {"d['fields']['ProductName']", "repr(d['fields']['page2.line3'])",
                              "d['fields']['RegValues[0]']", "len(d['fields'])",
                              "d['files'][0]['name'], d['files'][0]['subdir'], d['files'][0]['shortcuts'], "
                              "d['files'][0]['copy'], d['files'][0]['length'], d['files'][0]['outside']",
                              "d['trailer']['seek'] + d['trailer']['len'] < d['size']"}),
            expected);
}

TEST_F(InspectTest, ForeignPackageWithOddValues) {
  std::vector<std::string> f(64);
  f[40] = "Prod\x81";  // a lead byte with no trail byte
  f[56] = "true";      // not the exact word: false for the setup
  f[48] = "4";
  f[49] = "999999";  // picture outside the file
  // Two file rows: one inside the file, one past its end; folder and copy
  // words the setup does not know.
  std::vector<std::string> row1 = {"in.bin", "somewhere", "", "0", "COPY", "4",
                                   std::to_string(StubBytes().size()), ""};
  std::vector<std::string> row2 = {"out.bin", "WINDOWS_FOLDER", "sub", "2", "NOTEXIST_COPY", "10", "2000000", ""};
  f.insert(f.end(), row1.begin(), row1.end());
  f.insert(f.end(), row2.begin(), row2.end());
  f.push_back("");
  Write("foreign.exe", HandMade(f));
  RunResult r = RunMksetup({"inspect", Path("foreign.exe")});
  ASSERT_EQ(r.code, 1) << r.output;
  const std::string& o = r.output;
  EXPECT_NE(o.find("\"Prod\\x81\""), std::string::npos) << o;
  EXPECT_NE(o.find("folder=\"somewhere\" (installation folder)"), std::string::npos) << o;
  EXPECT_NE(o.find("copy=\"COPY\" (ALWAYS_COPY)"), std::string::npos) << o;
  EXPECT_NE(o.find("offset=2000000  OUTSIDE THE FILE"), std::string::npos) << o;
  EXPECT_NE(o.find("PictureLength/PictureOffset: 4 bytes at 999999 lie outside the file"), std::string::npos) << o;
  EXPECT_EQ(JsonQuery(Path("foreign.exe"), {"d['fields']['ProductName'], d['files'][0]['folder_kind'], "
                                            "d['files'][1]['folder_kind'], d['files'][1]['outside']"}),
            std::vector<std::string>{"Prod\\x81 install windows True"});
}

TEST_F(InspectTest, ShortIndexIsReadAsFarAsItGoes) {
  Write("short.exe", HandMade({"only", "three", "fields"}));
  RunResult r = RunMksetup({"inspect", Path("short.exe")});
  ASSERT_EQ(r.code, 1) << r.output;
  EXPECT_NE(r.output.find("the index ends after 3 of its 64 header fields"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("files: 0"), std::string::npos);
}

TEST_F(InspectTest, DamagedFilesGiveAClearErrorNotACrash) {
  Write("empty.exe", "");
  Write("plain.exe", StubBytes());
  Write("outside.exe", StubBytes() + "&LEN:100,SEEK:99999.");
  Write("negative.exe", StubBytes() + "&LEN:-5,SEEK:3.");
  struct {
    const char* file;
    const char* message;
  } cases[] = {{"empty.exe", "no trailer"},       {"plain.exe", "no trailer"},
               {"outside.exe", "outside the file"}, {"negative.exe", "not a setup file"},
               {"missing.exe", "cannot be read"}};
  for (auto& c : cases) {
    RunResult r = RunMksetup({"inspect", Path(c.file)});
    EXPECT_EQ(r.code, 1) << c.file << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.file << "\n" << r.output;
  }
}

// A package whose problems inspect reports fails, so that scripts stop; the
// file rows are judged as the header fields are.
TEST_F(InspectTest, FileRowsAreJudgedAndProblemsFail) {
  std::vector<std::string> f(64);
  f[40] = "App";
  f[48] = "-4";
  f[49] = "-1";  // a negative picture region
  std::string at = std::to_string(StubBytes().size());
  std::vector<std::vector<std::string>> rows = {
      {"..\\..\\evil.dll", "SYSTEM_FOLDER", "..\\..", "0", "ALWAYS_COPY", "4", at, ""},
      {"long.txt", "INSTALL_FOLDER", std::string(515, 's'), "0", "ALWAYS_COPY", "4", at, ""},
      {"bad\x81", "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", "4", at, ""},
  };
  for (auto& row : rows) f.insert(f.end(), row.begin(), row.end());
  f.push_back("");
  Write("rows.exe", HandMade(f));
  RunResult r = RunMksetup({"inspect", Path("rows.exe")});
  EXPECT_EQ(r.code, 1) << r.output;
  for (const char* e : {"file 1 (..\\..\\evil.dll): the name", "file 1 (..\\..\\evil.dll): the sub-folder \"..\\..\" climbs out",
                        "file 2 (long.txt): a sub-folder of 515 bytes", "file 3 (bad\\x81): bytes that are not code page 936",
                        "PictureLength/PictureOffset: -4 bytes at -1"})
    EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;

  // A package without problems passes.
  Write("a.txt", "a");
  Write("ok.toml", "compression = \"none\"\n[product]\nname = \"A\"\n[[file]]\nsource = \"a.txt\"\n");
  ASSERT_EQ(RunMksetup({"build", Path("ok.toml"), "--stub", Path("stub.exe"), "-o", Path("ok.exe")}).code, 0);
  EXPECT_EQ(RunMksetup({"inspect", Path("ok.exe")}).code, 0);
}

// inspect fails what the setup refuses and passes what it reads: a seal
// that does not read is a damaged seal (not "no setup file", not checksums
// that do not match), a row whose bytes do not unpack to its size and
// checksum is damaged, a field is measured whole, and a file list ended by
// the end of the index text is only a note.
TEST_F(InspectTest, WhatTheSetupRefusesFailsAndWhatItReadsPasses) {
  std::string data;
  std::vector<std::string> fields = HandFields({{"a.txt", "", "aaaa"}}, true, data);
  std::string good = HandMade(fields, data, true);
  Write("good.exe", good);
  ASSERT_EQ(RunMksetup({"inspect", Path("good.exe")}).code, 0);
  size_t seal = good.rfind(PACKAGE_TAG ":");
  std::string crcs = good.substr(good.find(':', seal + 5));  // ":<payload crc>:<index crc>"
  std::string start = std::to_string(StubBytes().size());
  for (const std::string& bad : {std::string(PACKAGE_TAG ":12:zz"), PACKAGE_TAG ":0" + start + crcs,
                                 PACKAGE_TAG ":92233720368547758070" + crcs}) {
    Write("seal.exe", good.substr(0, seal) + bad);
    RunResult r = RunMksetup({"inspect", Path("seal.exe")});
    EXPECT_EQ(r.code, 1) << bad << "\n" << r.output;
    EXPECT_NE(r.output.find("seal: DOES NOT READ: \"" + bad + "\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("damaged: the seal after the trailer does not read"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("DOES NOT MATCH"), std::string::npos) << r.output;
  }

  // Stored bytes whose checksum is wrong; packed bytes that claim a terabyte.
  Write("big.txt", std::string(100000, 'z'));
  Write("lz.toml", "[product]\nname = \"L\"\n[[file]]\nsource = \"big.txt\"\n");
  ASSERT_EQ(RunMksetup({"build", Path("lz.toml"), "--stub", Path("stub.exe"), "-o", Path("lz.exe")}).code, 0);
  ReadBack rb;
  ReadPackage(Path("lz.exe"), rb);
  ASSERT_TRUE(rb.ok && rb.settings.FileList.Count == 1);
  // The file's block: an lzma stream of its bytes alone, the region of a
  // packed row.
  const FileEntry& packed = rb.settings.FileList.Head->Entry;
  ASSERT_EQ(packed.Method, kMethodSolid);
  const RegionRef* block = rb.settings.Blocks.At(1);
  ASSERT_TRUE(block && block->Method == kMethodLzma && block->Filter == kFilterNone);
  std::string lzma = ReadFile(Path("lz.exe")).substr(static_cast<size_t>(block->Offset), static_cast<size_t>(block->Length));
  char ext[64];
  FormatRowExtension(ext, sizeof ext, kMethodLzma, 1ULL << 40, packed.Crc);
  fields = HandFields({{"z.txt", "", lzma}, {"a.txt", "", "aaaa", "INSTALL_FOLDER", true}}, true, data);
  fields[kIndexHeaderFields + kRowExtension] = ext;
  fields[kIdxProductName] = std::string(2000, 'N');
  Write("rows.exe", HandMade(fields, data, true));
  RunResult r = RunMksetup({"inspect", Path("rows.exe")});
  EXPECT_EQ(r.code, 1) << r.output;
  for (const char* e : {"file 1 (z.txt): damaged: its bytes do not unpack to its unpacked length and checksum",
                        "file 2 (a.txt): damaged: its bytes do not come to its unpacked length and checksum",
                        "ProductName: 2000 bytes; the setup holds at most 255"})
    EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;
  EXPECT_EQ(RunMksetup({"extract", Path("rows.exe"), Path("x")}).code, 1);
  // The same stream as the row of an earlier builder (each file packed on its
  // own, no blocks) passes and extracts.
  FormatRowExtension(ext, sizeof ext, kMethodLzma, 100000, packed.Crc);
  fields = HandFields({{"z.txt", "", lzma}}, true, data);
  fields[kIndexHeaderFields + kRowExtension] = ext;
  Write("perfile.exe", HandMade(fields, data, true));
  r = RunMksetup({"inspect", Path("perfile.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  ASSERT_EQ(RunMksetup({"extract", Path("perfile.exe"), Path("pf")}).code, 0);
  EXPECT_EQ(ReadFile(Path("pf/z.txt")), std::string(100000, 'z'));

  // The list ends with the text: the setup reads it as ended.
  fields = HandFields({{"a.txt", "", "aaaa"}}, false, data);
  fields.pop_back();
  Write("open.exe", HandMade(fields, data));
  r = RunMksetup({"inspect", Path("open.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("notes:\n  the file list ends with the index text"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("problems:"), std::string::npos) << r.output;
}

TEST_F(InspectTest, NotASetupFileAndOddPaths) {
  Write("amp.txt", "just some text &");
  RunResult r = RunMksetup({"inspect", Path("amp.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("not a setup file"), std::string::npos) << r.output;

  // A path that is not UTF-8, and one longer than a line buffer.
  Write("a.txt", "a");
  Write("ok.toml", "compression = \"none\"\n[product]\nname = \"A\"\n[[file]]\nsource = \"a.txt\"\n");
  std::string odd = Path("odd\xFF.exe");
  std::string longName = Path(std::string(240, 'L') + ".exe");
  for (const std::string& out : {odd, longName})
    ASSERT_EQ(RunMksetup({"build", Path("ok.toml"), "--stub", Path("stub.exe"), "-o", out}).code, 0);
  EXPECT_EQ(JsonQuery(odd, {"d['file'].endswith('odd\\\\xFF.exe')"}), std::vector<std::string>{"True"});
  r = RunMksetup({"inspect", longName});
  EXPECT_EQ(r.output.compare(0, longName.size() + 2, longName + ": "), 0) << r.output.substr(0, 400);
  EXPECT_NE(r.output.find("\ntrailer: LEN"), std::string::npos);
}

// Runs mksetup with stdout into a file and gives its exit status and its
// peak resident memory in KiB. A small python process starts it: a child
// forked from this (large) test process would count the test's memory too.
int RunMeasured(const std::vector<std::string>& args, const std::string& out, long& peakKib) {
  std::string cmd =
      "ASAN_OPTIONS=quarantine_size_mb=0 python3 -c 'import resource, subprocess, sys\n"
      "code = subprocess.run(sys.argv[2:], stdout=open(sys.argv[1], \"wb\")).returncode\n"
      "print(code, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' '" +
      out + "' '" MKSETUP_EXE "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  FILE* p = popen(cmd.c_str(), "r");
  int code = -1;
  peakKib = -1;
  if (p) {
    if (fscanf(p, "%d %ld", &code, &peakKib) != 2) code = -1;
    pclose(p);
  }
  return code;
}

// An index of a hundred thousand rows is printed as it is read: memory
// stays near the size of the index, and so does the list of problems of a
// package where every row has one.
TEST_F(InspectTest, HugeIndexNeedsLittleMoreMemoryThanItself) {
  const int rows = 100000;
  std::string stub = StubBytes();
  CFieldTable t;
  t.columnCount = 8;
  for (int i = 0; i < 64; i++) t.AddField(i == 40 ? "App" : "");
  char name[16];
  for (int i = 0; i < rows; i++) {
    snprintf(name, sizeof name, "%x", i);
    // Every row's data lie outside the file: one problem each.
    const char* row[] = {name, "", "", "", "", "1", "-1", ""};
    for (const char* f : row) t.AddField(f);
  }
  for (int i = 0; i < 8; i++) t.AddField("");
  int len = 0;
  char* text = t.ExportText(len);
  ScrambleBuffer(reinterpret_cast<unsigned char*>(text), len, TABLE_KEY);
  char trailer[64];
  int n = FormatTrailer(trailer, sizeof trailer, len, static_cast<long>(stub.size() + 1));
  Write("big.exe", stub + "X" + std::string(text, static_cast<size_t>(len)) + std::string(trailer, static_cast<size_t>(n)));
  FreeBuffer(text);

  for (bool json : {true, false}) {
    const char* form = json ? "--json" : "text";
    std::vector<std::string> args{"inspect", Path("big.exe")};
    if (json) args.push_back(form);
    long peakKib = 0;
    EXPECT_EQ(RunMeasured(args, Path("out.txt"), peakKib), 1) << form;
    // The index is about 1.7 MiB; the program and the sanitizers' own share
    // need about 16 MiB more.
    EXPECT_LT(peakKib, 32 * 1024 + 6 * len / 1024) << form << ": index of " << len << " bytes";
    std::string out = ReadFile(Path("out.txt"));
    EXPECT_NE(out.find("and " + std::to_string(rows - InspectReport::kMaxProblems) + " more problems"),
              std::string::npos)
        << form << "\n" << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    if (json) {
      std::string cmd = "python3 -c 'import json, sys\nd = json.load(open(sys.argv[1]))\n"
                        "print(len(d[\"files\"]), len(d[\"problems\"]), d[\"files\"][-1][\"name\"])' '" +
                        Path("out.txt") + "'";
      FILE* p = popen(cmd.c_str(), "r");
      char line[128] = "";
      if (p) {
        if (!fgets(line, sizeof line, p)) line[0] = 0;
        pclose(p);
      }
      EXPECT_EQ(std::string(line), std::to_string(rows) + " 1001 1869f\n");
    } else
      EXPECT_NE(out.find("\nfiles: " + std::to_string(rows) + "\n"), std::string::npos);
  }
}

// Settings rows are streamed like file rows: inspect holds none of them and
// extract does not read them; a section of 700,000 tiny rows needs about the
// memory of the index (it needed 100 MB).
TEST_F(InspectTest, SettingsOfAnyNumberNeedNoMemoryOfTheirOwn) {
  std::string data, more;
  std::vector<std::string> fields = HandFields({{"a.txt", "", "a"}}, true, data);
  const char row[] = {'k', FIELD_END, 'v', ROW_END, '\r', '\n'};
  while (more.size() < (4u << 20)) more.append(row, sizeof row);
  Write("many.exe", HandMade(fields, data, true, more));
  long peakKib = 0;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"inspect", Path("many.exe")}, {"extract", Path("many.exe"), Path("out")}}) {
    EXPECT_EQ(RunMeasured(args, Path("out.txt"), peakKib), 0) << args[0];
    EXPECT_LT(peakKib, 32 * 1024 + 6 * 4 * 1024) << args[0];
  }
  EXPECT_NE(ReadFile(Path("out.txt")).find("1 file written"), std::string::npos);
}

TEST(CommandLine, OutputThatCannotBeWrittenFails) {
  // /dev/full takes nothing: every command that prints must say so.
  for (const char* args : {"--help", "inspect --help", "--version", "inspect " SOURCE_ROOT "/README.md"}) {
    std::string cmd = std::string("'" MKSETUP_EXE "' ") + args + " > /dev/full 2>/dev/null";
    int status = system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << args;
  }
}

// Random bytes behind a valid trailer: whatever they unscramble to, they are
// read without a fault (the sanitizers watch this run).
TEST_F(InspectTest, RandomIndexBytesAreSurvived) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 200; i++) {
    std::string junk(static_cast<size_t>(rng() % 3000 + 1), '\0');
    for (char& c : junk) c = static_cast<char>(rng() % 256);
    if (i % 2) junk.insert(junk.size() / 2, std::string(1, 0x07));
    std::string stub = StubBytes();
    char trailer[64];
    int n = FormatTrailer(trailer, sizeof trailer, static_cast<long>(junk.size()), static_cast<long>(stub.size()));
    Write("junk.exe", stub + junk + std::string(trailer, static_cast<size_t>(n)));
    InspectReport report;
    std::string error;
    ASSERT_TRUE(InspectPackage(Path("junk.exe"), report, error)) << error;
    FormatInspectText(report);
    FormatInspectJson(report);
  }
}

}  // namespace
