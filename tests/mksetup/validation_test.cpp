// Every way a project can be wrong: the build names the key, the value and the
// limit, exits with 1 and leaves no output and no temporary file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "testenv.h"

namespace fs = std::filesystem;

namespace {

using Sections = std::map<std::string, std::string>;

// A project that builds; each case replaces some of its sections.
const Sections kBase = {
    {"0compression", "compression = \"none\"\n"},
    {"1product", "[product]\nname = \"App\"\npicture = \"page.jpg\"\nicon = \"app.ico\"\n"},
    {"2welcome", "[welcome]\nlines = [\"hello\"]\n"},
    {"3licence", "[licence]\ntext = \"ok\"\n"},
    {"4finish", "[finish]\nreadme = \"a.txt\"\n"},
    {"5background", "[background]\npicture = \"bg.jpg\"\ncaption = \"cap\"\ncolour = \"#000000\"\n"},
    {"6association", "[[association]]\nextension = \"abc\"\nprogram = \"a.txt\"\n"},
    {"7uninstall", "[uninstall]\nregistry_keys = [\"HKEY_CURRENT_USER|Software\\\\V\\\\A\"]\n"},
    {"8files", "[[file]]\nsource = \"a.txt\"\n"},
};

struct Case {
  const char* label;
  Sections parts;                   // replaced (or added) sections
  std::vector<std::string> expect;  // in the output, each
  std::function<void(const std::string& dir)> prepare = nullptr;
  std::vector<std::string> args = {};  // more command-line arguments
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

class ValidationTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Write("stub.exe", StubBytes());
    Write("a.txt", "a");
    Write("page.jpg", SmallJpeg());
    Write("bg.jpg", SmallJpeg());
    Write("app.ico", SmallIcon());
    Write("d/x.txt", "x");
  }

  std::string Project(const Sections& changes) {
    Sections parts = kBase;
    for (auto& [k, v] : changes) parts[k] = v;
    std::string text;
    for (auto& [k, v] : parts) text += v;
    return text;
  }

  void ExpectRejected(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.label);
      Write("p.toml", Project(c.parts));
      if (c.prepare) c.prepare(Dir());
      std::set<std::string> before = Files();
      std::vector<std::string> args = {"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o",
                                       Path("out.exe")};
      args.insert(args.end(), c.args.begin(), c.args.end());
      RunResult r = RunMksetup(args);
      EXPECT_EQ(r.code, 1) << r.output;
      for (const std::string& e : c.expect) EXPECT_NE(r.output.find(e), std::string::npos) << e << "\n" << r.output;
      EXPECT_NE(r.output.find("nothing written"), std::string::npos) << r.output;
      EXPECT_EQ(Files(), before);
    }
  }
};

TEST_F(ValidationTest, BaseProjectBuilds) {
  Write("p.toml", Project({}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("out.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
}

TEST_F(ValidationTest, TextsOverTheirByteLimits) {
  const std::string huan = "欢";  // two bytes in code page 936
  ExpectRejected({
      {"welcome line of 48 bytes", {{"2welcome", "[welcome]\nlines = [\"" + Repeat(huan, 24) + "\"]\n"}},
       {"welcome.lines[1]", "\"" + Repeat(huan, 10), "48 bytes", "limit is 47"}},
      {"finish line of 48 bytes",
       {{"4finish", "[finish]\nlines = [\"a\", \"b\", \"" + Repeat("x", 48) + "\"]\n"}},
       {"finish.lines[3]", "48 bytes", "limit is 47"}},
      {"licence text of 256 KiB and one byte",
       {{"3licence", "[licence]\ntext = \"" + Repeat("x", LICENCE_TEXT_LIMIT + 1) + "\"\n"}},
       {"licence.text", "262145 bytes", "limit is 262144"}},
      {"product name of 256 bytes", {{"1product", "[product]\nname = \"" + Repeat("n", 256) + "\"\n"}},
       {"product.name", "256 bytes", "limit is 255"}},
      {"read-me reference with its token past 255",
       {{"4finish", "[finish]\nreadme = \"d/" + Repeat("r", 250) + "\"\n"}},
       {"finish.readme", "\"d/rrr", "267 bytes", "limit is 255"}},
      {"association program of 255 bytes with its token",
       {{"6association", "[[association]]\nextension = \"abc\"\nprogram = \"" + Repeat("p", 240) + "\"\n"}},
       {"association[1].program", "255 bytes", "limit is 254"}},
      {"background caption of 68 bytes",
       {{"5background", "[background]\ncaption = \"" + Repeat(huan, 34) + "\"\n"}},
       {"background.caption", "68 bytes", "limit is 67"}},
      {"extension of 16 characters",
       {{"6association", "[[association]]\nextension = \"" + Repeat(huan, 16) + "\"\nprogram = \"a.txt\"\n"}},
       {"association[1].extension", "16 characters", "limit is 15 characters"}},
      {"type's name of 256 bytes",
       {{"6association", "[[association]]\nextension = \"abc\"\nprogram = \"a.txt\"\ndescription = \"" +
                             Repeat("d", 256) + "\"\n"}},
       {"association[1].description", "256 bytes", "limit is 255"}},
      {"association program of the list of 256 bytes with its token",
       {{"6association", "[[association]]\nextension = \"abcd\"\nprogram = \"" + Repeat("p", 241) + "\"\n"}},
       {"association[1].program", "256 bytes", "limit is 255"}},
      {"registry key past the reader's field buffer",
       {{"7uninstall", "[uninstall]\nregistry_keys = [\"HKEY_CURRENT_USER|Software\\\\" + Repeat("k", 490) + "\"]\n"}},
       {"uninstall.registry_keys[1]", "517 bytes", "limit is 515"}},
      {"file name of 256 bytes", {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"" + Repeat("f", 256) + "\"\n"}},
       {"file[1].name", "256 bytes", "limit is 255"}},
      {"sub-folder of 256 bytes",
       {{"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"" + Repeat("s", 256) + "\"\n"}},
       {"file[1].subfolder", "256 bytes", "limit is 255"}},
  });
}

TEST_F(ValidationTest, TextsTheIndexCannotHold) {
  ExpectRejected({
      {"character outside code page 936", {{"1product", "[product]\nname = \"App☃\"\n"}},
       {"product.name", "\"App☃\"", "U+2603", "code page 936"}},
      {"field separator in a page line", {{"2welcome", "[welcome]\nlines = [\"a\\u0007b\"]\n"}},
       {"welcome.lines[1]", "\"a\\x07b\"", "0x07"}},
      {"row end in a sub-folder", {{"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"x\\by\"\n"}},
       {"file[1].subfolder", "0x08"}},
      {"zero byte in a registry value",
       {{"7uninstall", "[uninstall]\nregistry_values = [\"HKEY_CURRENT_USER|S|a\\u0000\"]\n"}},
       {"uninstall.registry_values[1]", "0x00"}},
      {"root key not known to the uninstaller",
       {{"7uninstall", "[uninstall]\nregistry_keys = [\"HKCU|Software\\\\V\"]\n"}},
       {"uninstall.registry_keys[1]", "\"HKCU|Software\\\\V\"", "HKEY_CURRENT_USER"}},
      {"registry value without a name",
       {{"7uninstall", "[uninstall]\nregistry_values = [\"HKEY_CURRENT_USER|Software\\\\V|\"]\n"}},
       {"uninstall.registry_values[1]", "value name"}},
      {"product name that is no folder name", {{"1product", "[product]\nname = \"A/B\"\n"}},
       {"product.name", "\"A/B\"", "folder name"}},
  });
}

TEST_F(ValidationTest, ProductEntryKeys) {
  const std::string product = "[product]\nname = \"App\"\n";
  ExpectRejected({
      {"empty version", {{"1product", product + "version = \"\"\nid = \"App\"\n"}}, {"product.version", "1.2.0"}},
      {"empty web address", {{"1product", product + "url = \"\"\n"}}, {"product.url is empty"}},
      {"publisher of 256 bytes", {{"1product", product + "id = \"App\"\npublisher = \"" + Repeat("p", 256) + "\"\n"}},
       {"product.publisher", "256 bytes", "limit is 255"}},
      {"web address of 256 bytes", {{"1product", product + "url = \"http://" + Repeat("u", 249) + "\"\n"}},
       {"product.url", "256 bytes", "limit is 255"}},
      {"key name with a backslash", {{"1product", product + "id = \"Vendor\\\\App\"\n"}},
       {"product.id", "registry key", "only, not"}},
      {"key name past its limit", {{"1product", product + "id = \"" + Repeat("i", 65) + "\"\n"}},
       {"product.id", "65 bytes", "limit is 64"}},
      {"line break in the publisher", {{"1product", product + "id = \"A\"\npublisher = \"a\\nb\"\n"}},
       {"product.publisher"}},
      // Texts of the version resource alone: its lengths are 16-bit.
      {"description past the version resource's limit",
       {{"1product", product + "description = \"" + Repeat("d", 40000) + "\"\n"}},
       {"product.description", "40000 characters; the limit is 255 characters"}},
      {"copyright of 256 Chinese characters", {{"1product", product + "copyright = \"" + Repeat("版", 256) + "\"\n"}},
       {"product.copyright", "256 characters"}},
      {"line break in the description", {{"1product", product + "description = \"a\\nb\"\n"}},
       {"product.description", "0x0A"}},
      {"escape in the copyright", {{"1product", product + "copyright = \"a\\u001bb\"\n"}},
       {"product.copyright", "0x1B"}},
      {"zero byte in the description", {{"1product", product + "description = \"a\\u0000b\"\n"}},
       {"product.description", "0x00"}},
      {"bell in the publisher, without the entry", {{"1product", product + "publisher = \"a\\u0007b\"\n"}},
       {"product.publisher", "0x07"}},
  });
}

TEST_F(ValidationTest, SourcesThatCannotBeRead) {
  ExpectRejected({
      {"missing file", {{"8files", "[[file]]\nsource = \"nope.txt\"\n"}},
       {"file[1].source", "\"nope.txt\"", "No such file"}},
      {"missing folder entry in the middle",
       {{"8files", "[[file]]\nsource = \"a.txt\"\n[[file]]\nsource = \"gone/\"\n"}},
       {"file[2].source", "\"gone/\""}},
      {"special file below a folder source", {{"8files", "[[file]]\nsource = \"f\"\n"}},
       {"file[1].source", "\"pipe\"", "not a regular file"},
       [](const std::string& dir) {
         fs::create_directories(dir + "/f");
         if (!fs::exists(dir + "/f/pipe")) mkfifo((dir + "/f/pipe").c_str(), 0600);
       }},
      {"file that gives no size", {{"8files", "[[file]]\nsource = \"/proc/self/status\"\n"}},
       {"file[1].source", "its size is given as 0 bytes, yet it holds data"}},
      {"undefined variable", {{"8files", "[[file]]\nsource = \"${NOWHERE}/a.txt\"\n"}},
       {"file[1].source", "NOWHERE", "-D NOWHERE="}},
      {"missing licence file", {{"3licence", "[licence]\nfile = \"licence.txt\"\n"}},
       {"licence.file", "\"licence.txt\""}},
      {"missing stub", {}, {"--stub", "nostub.exe"}, nullptr, {"--stub", "nostub.exe"}},
      {"text file as stub", {}, {"--stub", "no MZ header"},
       [](const std::string& dir) { FILE* f = fopen((dir + "/t.exe").c_str(), "wb"); fputs("MZtext", f); fclose(f); },
       {"--stub", Path("t.exe")}},
      {"empty stub", {}, {"--stub", "not a Windows program"},
       [](const std::string& dir) { FILE* f = fopen((dir + "/e.exe").c_str(), "wb"); fclose(f); },
       {"--stub", Path("e.exe")}},
      {"program without the uninstaller", {}, {"--stub", "no uninstaller"},
       [](const std::string& dir) {
         std::string pe = StubPe(false);
         FILE* f = fopen((dir + "/other.exe").c_str(), "wb");
         fwrite(pe.data(), 1, pe.size(), f);
         fclose(f);
       },
       {"--stub", Path("other.exe")}},
      {"built setup file as stub", {}, {"--stub", "already carries a package"},
       [](const std::string& dir) {
         std::string cmd = "'" MKSETUP_EXE "' build '" + dir + "/p.toml' -q --stub '" + dir + "/stub.exe' -o '" + dir +
                           "/built.exe'";
         ASSERT_EQ(system(cmd.c_str()), 0);
       },
       {"--stub", Path("built.exe")}},
  });
}

TEST_F(ValidationTest, PicturesAndIconsOfTheWrongKind) {
  ExpectRejected({
      {"PNG as page picture", {{"1product", "[product]\nname = \"A\"\npicture = \"p.png\"\n"}},
       {"product.picture", "\"p.png\"", "FF D8 FF"},
       [](const std::string& dir) { FILE* f = fopen((dir + "/p.png").c_str(), "wb"); fputs("\x89PNG\r\n\x1a\n....", f); fclose(f); }},
      {"JPEG cut short", {{"5background", "[background]\npicture = \"cut.jpg\"\n"}},
       {"background.picture", "\"cut.jpg\"", "FF D9"},
       [](const std::string& dir) {
         std::string j = SmallJpeg();
         FILE* f = fopen((dir + "/cut.jpg").c_str(), "wb");
         fwrite(j.data(), 1, j.size() - 2, f);
         fclose(f);
       }},
      {"text file as icon", {{"1product", "[product]\nname = \"A\"\nicon = \"a.txt\"\n"}},
       {"product.icon", "\"a.txt\"", "type 1"}},
      {"icon whose image lies past its end", {{"1product", "[product]\nname = \"A\"\nicon = \"bad.ico\"\n"}},
       {"product.icon", "\"bad.ico\"", "outside the file"},
       [](const std::string& dir) {
         std::string ico = SmallIcon();
         FILE* f = fopen((dir + "/bad.ico").c_str(), "wb");
         fwrite(ico.data(), 1, ico.size() - 1, f);
         fclose(f);
       }},
  });
}

TEST_F(ValidationTest, MoreEntriesThanThePackageHolds) {
  std::string many, keys, values;
  for (int i = 1; i <= 65; i++) {
    many += "[[association]]\nextension = \"x" + std::to_string(i) + "\"\nprogram = \"a.txt\"\n";
    keys += std::string(i > 1 ? ", " : "") + "\"HKEY_USERS|a\\\\" + std::to_string(i) + "\"";
    values += std::string(i > 1 ? ", " : "") + "\"HKEY_USERS|a|" + std::to_string(i) + "\"";
  }
  ExpectRejected({
      {"65 associations", {{"6association", many}}, {"association", "65 entries", "limit is 64"}},
      {"65 registry keys", {{"7uninstall", "[uninstall]\nregistry_keys = [" + keys + "]\n"}},
       {"uninstall.registry_keys", "65 registry keys", "limit is 64"}},
      {"65 registry values", {{"7uninstall", "[uninstall]\nregistry_values = [" + values + "]\n"}},
       {"uninstall.registry_values", "65 registry values", "limit is 64"}},
      {"nine welcome lines", {{"2welcome", "[welcome]\nlines = [\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\"]\n"}},
       {"welcome.lines", "9 lines", "limit is 8"}},
  });
}

TEST_F(ValidationTest, FileNamesAndDestinations) {
  ExpectRejected({
      {"backslash in a name", {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"a\\\\b.txt\"\n"}},
       {"file[1].name", "\"a\\\\b.txt\"", "cannot hold"}},
      {"empty name", {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"\"\n"}}, {"file[1].name", "\"\"", "needs a name"}},
      {"same destination in another letter case",
       {{"8files", "[[file]]\nsource = \"a.txt\"\n[[file]]\nsource = \"d/x.txt\"\nname = \"A.TXT\"\n"}},
       {"file[2]", "A.TXT", "same destination as file[1]"}},
      {"a single file where a folder source puts one",
       {{"8files", "[[file]]\nsource = \"d\"\nsubfolder = \"data\"\n[[file]]\nsource = \"a.txt\"\nname = \"x.txt\"\n"
                   "subfolder = \"Data\"\n"}},
       {"file[2]", "same destination as file[1] (x.txt)"}},
      {"sub-folder climbing out", {{"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"../up\"\n"}},
       {"file[1].subfolder", "\"../up\"", ".."}},
      {"name on a folder source", {{"8files", "[[file]]\nsource = \"d\"\nname = \"x\"\n"}},
       {"file[1].name", "folder source"}},
  });
}

// Sparse sources: nothing is read, the checks stop the build first.
TEST_F(ValidationTest, PackagePastFourGigabytes) {
  auto sparse = [](const std::string& path, long long size) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    ASSERT_EQ(truncate(path.c_str(), size), 0);
  };
  ExpectRejected({
      {"one file of 4 GiB, packed", {{"8files", "[[file]]\nsource = \"huge.bin\"\n"}},
       {"file[1]", "huge.bin", "4294967296 bytes", "at most 4294967295 bytes"},
       [&](const std::string& dir) { sparse(dir + "/huge.bin", 1LL << 32); }},
      {"two stored files that pass the limit together",
       {{"8files", "[[file]]\nsource = \"h1.bin\"\ncompression = \"none\"\n"
                   "[[file]]\nsource = \"h2.bin\"\ncompression = \"none\"\n"}},
       {"file[2]", "h2.bin", "2147483649 bytes after", "limit of 4294967288 bytes", "certificate table"},
       [&](const std::string& dir) {
         sparse(dir + "/h1.bin", (1LL << 31) + 1);
         sparse(dir + "/h2.bin", (1LL << 31) + 1);
       }},
  });
}

TEST_F(ValidationTest, ProjectShapeMistakes) {
  ExpectRejected({
      {"misspelt key", {{"1product", "[product]\nname = \"A\"\nicno = \"app.ico\"\n"}},
       {"product.icno", "did you mean product.icon"}},
      {"wrong type", {{"2welcome", "[welcome]\nlines = 5\n"}}, {"welcome.lines", "must be a string"}},
      {"unknown folder", {{"8files", "[[file]]\nsource = \"a.txt\"\nfolder = \"desktop\"\n"}},
       {"file[1].folder", "\"desktop\"", "\"install\", \"windows\" or \"system\""}},
      {"unknown shortcut", {{"8files", "[[file]]\nsource = \"a.txt\"\nshortcuts = [\"taskbar\"]\n"}},
       {"file[1].shortcuts[1]", "\"taskbar\""}},
      {"unknown copy rule", {{"8files", "[[file]]\nsource = \"a.txt\"\ncopy = \"never\"\n"}},
       {"file[1].copy", "\"never\"", "if-absent"}},
      {"colour not #RRGGBB", {{"5background", "[background]\ncolour = \"#12345\"\n"}},
       {"background.colour", "\"#12345\"", "#RRGGBB"}},
      {"single [file] table", {{"8files", "[file]\nsource = \"a.txt\"\n"}}, {"[[file]]"}},
      {"not TOML at all", {{"2welcome", "[welcome\n"}}, {"not a valid TOML file"}},
      {"table header with no key", {{"2welcome", "[=welcome]\n"}}, {"not a valid TOML file", "saw '='"}},
      {"output folder missing", {}, {"does not exist"}, nullptr, {"-o", "/nonexistent-dir/x.exe"}},
  });
}

TEST_F(ValidationTest, EveryErrorIsReportedAtOnce) {
  Write("p.toml", Project({{"1product", "[product]\nname = \"App☃\"\n"},
                           {"2welcome", "[welcome]\nlines = [\"" + Repeat("x", 48) + "\"]\n"},
                           {"8files", "[[file]]\nsource = \"nope.txt\"\n"}}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("out.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("product.name"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("welcome.lines[1]"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("file[1].source"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("3 errors"), std::string::npos) << r.output;
}

TEST_F(ValidationTest, NamesWindowsCannotHold) {
  auto file = [](const std::string& extra) { return Sections{{"8files", "[[file]]\nsource = \"a.txt\"\n" + extra}}; };
  ExpectRejected({
      {"line break in the product name", {{"1product", "[product]\nname = \"Line1\\r\\nLine2\"\n"}},
       {"product.name", "0x0D"}},
      {"line break in a file name", file("name = \"x\\ny.txt\"\n"), {"file[1].name", "0x0A"}},
      {"escape in a sub-folder", file("subfolder = \"a\\u001bb\"\n"), {"file[1].subfolder", "0x1B"}},
      {"tab in a file name", file("name = \"a\\tb\"\n"), {"file[1].name", "0x09"}},
      {"line break in a page line", {{"2welcome", "[welcome]\nlines = [\"one\\ntwo\"]\n"}},
       {"welcome.lines[1]", "0x0A", "no line breaks"}},
      {"device name", file("name = \"CON\"\n"), {"file[1].name", "device name"}},
      {"device name in lower case with an extension", file("name = \"com1.txt\"\n"), {"file[1].name", "COM1"}},
      {"console device", file("name = \"conin$\"\n"), {"file[1].name", "CONIN$"}},
      {"device name as a sub-folder part", file("subfolder = \"docs/Lpt9\"\n"), {"file[1].subfolder", "LPT9"}},
      {"device name below a folder source", {{"8files", "[[file]]\nsource = \"dev\"\n"}},
       {"file[1].source", "\"aux\"", "AUX"},
       [](const std::string& dir) {
         fs::create_directories(dir + "/dev/aux");
         FILE* f = fopen((dir + "/dev/aux/x.txt").c_str(), "wb");
         fclose(f);
       }},
      {"device name as a file below a folder source", {{"8files", "[[file]]\nsource = \"dev2\"\n"}},
       {"NUL.txt", "NUL"},
       [](const std::string& dir) {
         fs::create_directories(dir + "/dev2");
         FILE* f = fopen((dir + "/dev2/NUL.txt").c_str(), "wb");
         fclose(f);
       }},
      {"trailing dot", file("name = \"trail.\"\n"), {"file[1].name", "dot or a space"}},
      {"trailing space", file("name = \"trail \"\n"), {"file[1].name", "dot or a space"}},
      {"only dots", file("name = \"...\"\n"), {"file[1].name", "dot or a space"}},
      {"product name of two dots", {{"1product", "[product]\nname = \"..\"\n"}}, {"product.name", "needs a name"}},
      {"product name of blanks", {{"1product", "[product]\nname = \"  \"\n"}}, {"product.name", "space"}},
  });
}

TEST_F(ValidationTest, CollisionsWindowsSees) {
  ExpectRejected({
      {"full-width letters in another case",
       {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"Ａ.txt\"\n[[file]]\nsource = \"d/x.txt\"\nname = \"ａ.txt\"\n"}},
       {"file[2]", "same destination as file[1]"}},
      {"Cyrillic letters in another case",
       {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"Я.txt\"\n[[file]]\nsource = \"d/x.txt\"\nname = \"я.txt\"\n"}},
       {"file[2]", "same destination as file[1]"}},
      {"a file where another needs a folder",
       {{"8files", "[[file]]\nsource = \"a.txt\"\nname = \"data\"\n[[file]]\nsource = \"d/x.txt\"\nsubfolder = \"DATA\"\n"}},
       {"file[2]", "needs a folder where file[1] puts a file"}},
      {"a folder where another puts a file",
       {{"8files", "[[file]]\nsource = \"d/x.txt\"\nsubfolder = \"data\"\n[[file]]\nsource = \"a.txt\"\nname = \"Data\"\n"}},
       {"file[2]", "file[1] needs a folder of this name"}},
  });
}

TEST_F(ValidationTest, InstalledPathsLongerThanWindowsAllows) {
  ExpectRejected({
      {"long folder and long name",
       {{"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"" + Repeat("s", 255) + "\"\nname = \"" +
                       Repeat("n", 255) + "\"\n"}},
       {"file[1]", "516 bytes as installed even into C:\\A\\", "259"}},
  });
  // Fits below a short folder, not below the proposed one: a warning.
  Write("p.toml", Project({{"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"" + Repeat("s", 240) +
                                          "\"\nname = \"x.txt\"\n"}}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("out.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("warning"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("267 bytes as installed into the proposed folder \"C:\\\\Program Files\\\\App\\\\\""),
            std::string::npos)
      << r.output;
}

TEST_F(ValidationTest, ReferencesOutsideTheirFolder) {
  ExpectRejected({
      {"drive letter", {{"4finish", "[finish]\nreadme = \"C:\\\\Windows\\\\win.ini\"\n"}},
       {"finish.readme", "drive letter"}},
      {"network path", {{"4finish", "[finish]\nrun = \"\\\\\\\\server\\\\share\\\\x.exe\"\n"}},
       {"finish.run", "separator"}},
      {"wildcards", {{"6association", "[[association]]\nextension = \"abc\"\nprogram = \"a*?<>.txt\"\n"}},
       {"association[1].program", "cannot hold"}},
  });
}

TEST_F(ValidationTest, WholeTopLevelKeyIsWarnedAboutWithTrailingSeparators) {
  Write("p.toml", Project({{"7uninstall", "[uninstall]\nregistry_keys = [\"HKEY_CURRENT_USER|Software\\\\\\\\\"]\n"}}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("whole top-level key \"Software\""), std::string::npos) << r.output;
}

TEST_F(ValidationTest, PackageEndingPastTheLimitByItsTrailer) {
  // The package's own bytes besides the file, measured on a file just as long.
  auto sparse = [&](int64_t size) {
    FILE* f = fopen(Path("big.bin").c_str(), "wb");
    fclose(f);
    ASSERT_EQ(truncate(Path("big.bin").c_str(), size), 0);
  };
  auto total = [&](const RunResult& r) {
    size_t at = r.output.find("would be ");
    return at == std::string::npos ? -1LL : atoll(r.output.c_str() + at + 9);
  };
  Sections big = {{"8files", "[[file]]\nsource = \"big.bin\"\ncompression = \"none\"\n"}};
  Write("p.toml", Project(big));
  int64_t probe = 4294960000;
  sparse(probe);
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  ASSERT_EQ(r.code, 0) << r.output;
  int64_t overhead = total(r) - probe;
  // Five bytes past the limit: the index ends within it, the trailer does not.
  sparse(4294967288 - overhead + 5);
  r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_NE(r.output.find("4294967293 bytes; the limit is 4294967288 bytes"), std::string::npos) << r.output;
}

TEST_F(ValidationTest, ProjectFilesThatCannotBeParsedSafely) {
  ExpectRejected({
      {"a key of 40000 parts", {{"9deep", Repeat("a.", 40000) + "b = 1\n"}}, {"p.toml:", "dots on one line"}},
      {"lists nested 10000 deep", {{"9deep", "x = " + Repeat("[", 10000) + Repeat("]", 10000) + "\n"}},
       {"nest more than 32"}},
      {"a bare key of a million bytes", {{"9deep", "[vars]\n" + Repeat("k", 1000000) + " = 1\n"}},
       {"p.toml:", "a key of more than 256 bytes"}},
      {"a quoted key of a million bytes", {{"9deep", "[vars]\n\"" + Repeat("k", 1000000) + "\" = 1\n"}},
       {"a key of more than 256 bytes"}},
      {"a long quoted key part", {{"9deep", "x.'" + Repeat("k", 300) + "' .y = 1\n"}}, {"a key of more than 256"}},
      {"a letter outside quotes", {{"9deep", "[vars]\n\xC3\xA9 = 1\n"}}, {"not a valid TOML file"}},
  });
  // Long texts as values stay what they are.
  // So do letters after a line-ending backslash.
  Write("p.toml", Project({{"9long", "[vars]\nlong = \"" + Repeat("v", 100000) + "\"\nlit = '" +
                                         Repeat("w", 1000) + "' # \"" + Repeat("c", 1000) + "\" = 1\n"},
                           {"3licence", "[licence]\ntext = \"\"\"\\\n  \xC2\xA7 1 \xCE\xB1\"\"\"\n"}}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 0) << r.output.substr(0, 2000);
}

TEST_F(ValidationTest, OneMessagePerFaultAndTheRightReason) {
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
  };
  Write("p.toml", Project({{"1product", "[product]\nname = 5\n"},
                           {"8files", "[[file]]\nsource = \"a.txt\"\nsubfolder = \"C:/x\"\n"}}));
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(count(r.output, "product.name"), 1u) << r.output;
  EXPECT_EQ(count(r.output, "file[1].subfolder"), 1u) << r.output;
  EXPECT_NE(r.output.find("2 errors"), std::string::npos) << r.output;

  r = RunMksetup({"build", Dir(), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.output.find("product.name"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("a folder"), std::string::npos) << r.output;

  ExpectRejected({
      {"licence in UTF-16", {{"3licence", "[licence]\nfile = \"l16.txt\"\n"}}, {"licence.file", "looks like UTF-16"},
       [](const std::string& dir) {
         FILE* f = fopen((dir + "/l16.txt").c_str(), "wb");
         fwrite("\xFF\xFEO\0K\0", 1, 6, f);
         fclose(f);
       }},
      {"licence in GBK", {{"3licence", "[licence]\nfile = \"gbk.txt\"\n"}}, {"licence.file", "looks like GBK"},
       [](const std::string& dir) {
         FILE* f = fopen((dir + "/gbk.txt").c_str(), "wb");
         fputs("\xD0\xED\xBF\xC9", f);  // "许可"
         fclose(f);
       }},
      {"licence that is a pipe", {{"3licence", "[licence]\nfile = \"fifo\"\n"}}, {"licence.file", "not a regular file"},
       [](const std::string& dir) {
         if (!fs::exists(dir + "/fifo")) mkfifo((dir + "/fifo").c_str(), 0600);
       }},
      {"file name that is not UTF-8", {{"8files", "[[file]]\nsource = \"raw\"\n"}}, {"0xFF", "not UTF-8"},
       [](const std::string& dir) {
         fs::create_directories(dir + "/raw");
         FILE* f = fopen((dir + "/raw/\xFF.txt").c_str(), "wb");
         fclose(f);
       }},
  });
}

TEST_F(ValidationTest, DoubleDashEndsTheOptions) {
  Write("-p.toml", Project({}));
  // Run from the scratch folder: the project's name starts with a dash.
  std::string cmd = "cd '" + Dir() + "' && '" MKSETUP_EXE "' build --stub stub.exe --dry-run -- -p.toml > /dev/null 2>&1";
  EXPECT_EQ(system(cmd.c_str()), 0);
  cmd = "cd '" + Dir() + "' && '" MKSETUP_EXE "' build --stub stub.exe -o -s.exe -- -p.toml > /dev/null 2>&1 && '"
        MKSETUP_EXE "' extract -- -s.exe -out > /dev/null 2>&1";
  EXPECT_EQ(system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFile(Path("-out/a.txt")), "a");
}

// The man page is written by hand: it names every option the program's own
// help gives, and the program's version.
TEST(CommandLine, ManPageNamesEveryOption) {
  std::string page = ReadFile(SOURCE_ROOT "/tools/mksetup/mksetup.1");
  page.erase(std::remove(page.begin(), page.end(), '\\'), page.end());  // "\-\-stub" is "--stub"
  std::string help;
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--help"}, {"build", "--help"}, {"inspect", "--help"}, {"extract", "--help"}})
    help += RunMksetup(args).output;
  std::set<std::string> options;
  for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    size_t end = help.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2);
    if (end > at + 2) options.insert(help.substr(at, end - at));
  }
  EXPECT_GT(options.size(), 8u);
  for (const std::string& option : options) EXPECT_NE(page.find(option), std::string::npos) << option;
  std::string version = RunMksetup({"--version"}).output;
  version = version.substr(0, version.find('\n'));
  EXPECT_NE(page.find("\"" + version + "\""), std::string::npos) << version;
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"build"}, {"build", "a.toml", "--bogus"}, {"build", "a.toml", "b.toml"},
           {"build", "a.toml", "-o"}, {"build", "a.toml", "-D", "NOEQUALS"}, {"inspect"}, {"inspect", "--xml", "x"}}) {
    RunResult r = RunMksetup(args);
    EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]) << "\n" << r.output;
    EXPECT_NE(r.output.find("usage:"), std::string::npos);
  }
  RunResult r = RunMksetup({"biuld", "x.toml"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.output.find("did you mean build?"), std::string::npos) << r.output;
  r = RunMksetup({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.output.compare(0, 8, "mksetup "), 0) << r.output;
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{"--help"}, {"build", "--help"}, {"inspect", "--help"}}) {
    RunResult r = RunMksetup(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.output.find("usage: mksetup"), std::string::npos) << r.output;
  }
}

}  // namespace
