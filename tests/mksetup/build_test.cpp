// A full project built, then read back through the setup's own format code:
// every header field and file row as written, every file's bytes in place.
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "codepage.h"
#include "common/container.h"
#include "common/lzmastream.h"
#include "common/x86filter.h"
#include "framework/memory.h"
#include "lzmapack.h"
#include "pe.h"
#include "plan.h"
#include "project.h"
#include "stubres.h"
#include "testenv.h"
#include "writer.h"

namespace fs = std::filesystem;

namespace {

// 23 Chinese characters and one letter: exactly the 47 bytes a page line holds.
const char kLongestLine[] = "欢迎一二三四五六七八九十一二三四五六七八九一二A";

const char kFullProject[] = R"(
compression = "none"
output = "out/full-setup.exe"
[vars]
DATA = "payload"
[product]
name = "演示软件"
picture = "art/page.jpg"
icon = "art/app.ico"
[welcome]
lines = ["欢迎一二三四五六七八九十一二三四五六七八九一二A", "line 2", "", "第四行"]
[licence]
lines = ["读我", "second"]
text = """
第一行
second line
"""
[destination]
lines = ["d1", "d2", "d3", "d4"]
[copying]
lines = ["正在复制"]
[finish]
lines = ["f1", "f2", "f3"]
readme = "doc/读我.txt"
run = { folder = "windows", path = "tools/run.exe" }
[background]
picture = "art/bg.jpg"
caption = "Caption \"quoted\""
colour = "#102030"
caption_bar = true
[[association]]
extension = ".abc"
program = "app.exe"
[[association]]
extension = "xyz"
program = { folder = "system", path = "viewer.exe" }
[uninstall]
registry_keys = ["HKEY_CURRENT_USER|Software\\Vendor\\App", "HKEY_LOCAL_MACHINE|Software\\Vendor\\App"]
registry_values = ["HKEY_CURRENT_USER|Software\\Run|App", "HKEY_USERS|Run|X"]
[[file]]
source = "${DATA}/app.bin"
name = "app.exe"
shortcuts = ["desktop", "startmenu", "group"]
copy = "ask"
[[file]]
source = "${DATA}/tree"
subfolder = "doc/"
copy = "if-absent"
[[file]]
source = "${DATA}/empty.dat"
folder = "system"
[[file]]
source = "${DATA}/w.ini"
folder = "windows"
subfolder = "cfg\\sub"
)";

class BuildTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Write("stub.exe", StubBytes());
    Write("art/page.jpg", SmallJpeg());
    Write("art/bg.jpg", SmallJpeg() + "pad");
    Write("art/app.ico", SmallIcon());
    std::string big;
    for (unsigned i = 0; i < 3u * 1024 * 1024 + 123; i++) big += static_cast<char>((i * 7919u) >> 8);
    Write("payload/app.bin", big);
    Write("payload/tree/读我.txt", "读我 readme");
    Write("payload/tree/b/z.txt", "zzz");
    Write("payload/tree/a/deeper/x.bin", std::string("\x00\x07\x08\xFF", 4));
    Write("payload/tree/B.txt", "upper B");
    Write("payload/empty.dat", "");
    Write("payload/w.ini", "[w]\n");
    Write("full.toml", kFullProject);
    fs::create_directories(Path("out"));
  }
};

struct ExpectedFile {
  const char* source;
  const char* name;
  const char* subdir;
  int folder, shortcuts, copyMode;
};

TEST_F(BuildTest, FullProjectReadsBackAsWritten) {
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  std::string out = Path("out/full-setup.exe");
  ReadBack rb;
  ReadPackage(out, rb);
  ASSERT_TRUE(rb.ok);
  const PackageSettings& s = rb.settings;

  EXPECT_STREQ(s.ProductName, "\xD1\xDD\xCA\xBE\xC8\xED\xBC\xFE");  // 演示软件
  EXPECT_EQ(std::string(s.PageText[0][0]), Gbk(kLongestLine));
  EXPECT_EQ(strlen(s.PageText[0][0]), 47u);
  EXPECT_STREQ(s.PageText[0][1], "line 2");
  EXPECT_STREQ(s.PageText[0][2], "");
  EXPECT_EQ(std::string(s.PageText[0][3]), Gbk("第四行"));
  EXPECT_STREQ(s.PageText[0][4], "");
  EXPECT_EQ(std::string(s.PageText[1][0]), Gbk("读我"));
  EXPECT_STREQ(s.PageText[1][1], "second");
  // The licence edit breaks lines at CR LF; the trailing break is dropped.
  EXPECT_EQ(std::string(s.PageText[1][2]), Gbk("第一行\r\nsecond line"));
  EXPECT_STREQ(s.PageText[2][3], "d4");
  EXPECT_EQ(std::string(s.PageText[3][0]), Gbk("正在复制"));
  EXPECT_STREQ(s.PageText[3][1], "");
  EXPECT_STREQ(s.PageText[4][2], "f3");
  EXPECT_EQ(std::string(s.ReadmeFile), Gbk("INSTALL_FOLDER\\doc\\读我.txt"));
  EXPECT_STREQ(s.RunFile, "WINDOWS_FOLDER\\tools\\run.exe");
  EXPECT_STREQ(s.RegKeys[0].c_str(), "HKEY_CURRENT_USER|Software\\Vendor\\App");
  EXPECT_STREQ(s.RegKeys[1].c_str(), "HKEY_LOCAL_MACHINE|Software\\Vendor\\App");
  EXPECT_STREQ(s.RegValues[0].c_str(), "HKEY_CURRENT_USER|Software\\Run|App");
  EXPECT_STREQ(s.RegValues[1].c_str(), "HKEY_USERS|Run|X");
  EXPECT_STREQ(s.TypeAssoc[0].Extension, "abc");
  EXPECT_STREQ(s.TypeAssoc[0].Program, "INSTALL_FOLDER\\app.exe");
  EXPECT_STREQ(s.TypeAssoc[1].Extension, "xyz");
  EXPECT_STREQ(s.TypeAssoc[1].Program, "SYSTEM_FOLDER\\viewer.exe");
  EXPECT_TRUE(s.SplashEnabled);
  EXPECT_TRUE(s.SplashCaptionBar);
  EXPECT_STREQ(s.SplashCaption, "Caption \"quoted\"");
  EXPECT_EQ(s.SplashBackColor, 0x302010);

  // Regions: stub, page picture, icon, background picture, then the files.
  std::string bytes = ReadFile(out);
  // The stub comes first, its resources rewritten for the product's icon:
  // its code section is as it was and the regions follow the rewritten image.
  std::string stub = StubBytes();
  EXPECT_EQ(bytes.compare(0x200, 0x200, stub, 0x200, 0x200), 0);
  EXPECT_GE(s.PictureOffset, static_cast<LONG>(stub.size()));
  EXPECT_EQ(bytes.substr(s.PictureOffset, s.PictureLength), SmallJpeg());
  EXPECT_EQ(s.IconOffset, s.PictureOffset + s.PictureLength);
  EXPECT_EQ(bytes.substr(s.IconOffset, s.IconLength), SmallIcon());
  EXPECT_EQ(bytes.substr(s.SplashPictureOffset, s.SplashPictureLength), SmallJpeg() + "pad");

  // Files in project order; a folder's files in byte order of their paths.
  const ExpectedFile expected[] = {
      {"payload/app.bin", "app.exe", "", FOLDER_INSTALL, 7, COPY_ASK},
      {"payload/tree/B.txt", "B.txt", "doc", FOLDER_INSTALL, 0, COPY_IF_ABSENT},
      {"payload/tree/a/deeper/x.bin", "x.bin", "doc\\a\\deeper", FOLDER_INSTALL, 0, COPY_IF_ABSENT},
      {"payload/tree/b/z.txt", "z.txt", "doc\\b", FOLDER_INSTALL, 0, COPY_IF_ABSENT},
      {"payload/tree/读我.txt", "读我.txt", "doc", FOLDER_INSTALL, 0, COPY_IF_ABSENT},
      {"payload/empty.dat", "empty.dat", "", FOLDER_SYSTEM, 0, COPY_ALWAYS},
      {"payload/w.ini", "w.ini", "cfg\\sub", FOLDER_WINDOWS, 0, COPY_ALWAYS},
  };
  ASSERT_EQ(s.FileList.Count, 7);
  LONG next = s.SplashPictureOffset + s.SplashPictureLength;
  for (int i = 0; i < 7; i++) {
    CFileList& list = const_cast<CFileList&>(s.FileList);
    ASSERT_TRUE(list.MoveTo(i));
    const FileEntry& e = *list.Current();
    const ExpectedFile& x = expected[i];
    SCOPED_TRACE(x.source);
    EXPECT_EQ(std::string(e.Name), Gbk(x.name));
    EXPECT_STREQ(e.SubDir, x.subdir);
    EXPECT_EQ(e.Folder, x.folder);
    EXPECT_EQ(e.Shortcuts, x.shortcuts);
    EXPECT_EQ(e.CopyMode, x.copyMode);
    EXPECT_EQ(e.Offset, next);
    std::string src = ReadFile(Path(x.source));
    EXPECT_EQ(e.Length, static_cast<LONG>(src.size()));
    EXPECT_TRUE(bytes.substr(e.Offset, e.Length) == src);
    next = e.Offset + e.Length;
  }
  // Then the index and the trailer, which ends the file.
  EXPECT_EQ(rb.seek, next);
  char trailer[64];
  int tn = FormatTrailer(trailer, sizeof trailer, rb.len, rb.seek);
  EXPECT_EQ(bytes.size(), static_cast<size_t>(rb.seek + rb.len + tn));
  EXPECT_EQ(bytes.substr(bytes.size() - tn), std::string(trailer, tn));
}

// A package without the extension (no tag, no seal, no row extension: what
// the builder made before it, and still makes for such a project) extracts to
// its sources, every folder kind in its place and nothing else.
TEST_F(BuildTest, PlainPackageExtractsToItsSources) {
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("p.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("p.exe"), rb);
  ASSERT_TRUE(rb.ok);
  ASSERT_FALSE(rb.settings.Extended);
  char trailer[64];
  int tn = FormatTrailer(trailer, sizeof trailer, rb.len, rb.seek);
  std::string bytes = ReadFile(Path("p.exe"));
  ASSERT_EQ(bytes.substr(bytes.size() - tn), std::string(trailer, tn));
  for (CFileList::Node* n = rb.settings.FileList.Head; n; n = n->Next) EXPECT_EQ(n->Entry.Method, kMethodNone);

  r = RunMksetup({"extract", Path("p.exe"), Path("x")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("7 files written"), std::string::npos) << r.output;
  const std::pair<const char*, const char*> files[] = {
      {"app.exe", "payload/app.bin"},
      {"doc/B.txt", "payload/tree/B.txt"},
      {"doc/a/deeper/x.bin", "payload/tree/a/deeper/x.bin"},
      {"doc/b/z.txt", "payload/tree/b/z.txt"},
      {"doc/读我.txt", "payload/tree/读我.txt"},
      {"SYSTEM_FOLDER/empty.dat", "payload/empty.dat"},
      {"WINDOWS_FOLDER/cfg/sub/w.ini", "payload/w.ini"},
  };
  std::set<std::string> expected;
  for (const auto& [out, source] : files) {
    expected.insert(std::string("x/") + out);
    EXPECT_TRUE(fs::is_regular_file(Path(std::string("x/") + out))) << out;
    EXPECT_TRUE(ReadFile(Path(std::string("x/") + out)) == ReadFile(Path(source))) << out;
  }
  std::set<std::string> written;
  for (const std::string& f : Files())
    if (f.rfind("x/", 0) == 0) written.insert(f);
  EXPECT_EQ(written, expected);
}

// The index text itself: 8 fields to a row, so the 64 header fields are 8 full
// rows and each file one more; the list ends with an empty name.
TEST_F(BuildTest, IndexIsRowsOfEightEndedByAnEmptyName) {
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("x.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("x.exe"), rb);
  ASSERT_TRUE(rb.ok);
  std::vector<std::string> fields;
  int rowEnds = 0;
  std::string cur;
  for (size_t i = 0; i < rb.table.size(); i++) {
    char c = rb.table[i];
    if (c == 0x07 || c == 0x08) {
      fields.push_back(cur);
      cur.clear();
      if (c == 0x08) {
        ASSERT_EQ(rb.table.compare(i, 3, "\x08\r\n"), 0);
        EXPECT_EQ(fields.size() % 8, 0u);
        rowEnds++;
        i += 2;
      }
    } else {
      cur += c;
    }
  }
  EXPECT_TRUE(cur.empty()) << "bytes after the last field";
  ASSERT_EQ(fields.size(), 64u + 7 * 8 + 1);
  EXPECT_EQ(rowEnds, 8 + 7);
  EXPECT_EQ(fields[47], "");
  EXPECT_EQ(fields[62], "");
  EXPECT_EQ(fields[63], "");
  EXPECT_EQ(fields[56], "TRUE");
  for (int f = 0; f < 7; f++) EXPECT_EQ(fields[64 + f * 8 + 7], "") << "file " << f;
  EXPECT_EQ(fields[64 + 1], "INSTALL_FOLDER");
  EXPECT_EQ(fields[64 + 4], "ASK_COPY");
  EXPECT_EQ(fields.back(), "");
}

// product.id or product.url put the tag and the settings section into the
// index, with the version and the publisher; the setup's reader takes them
// and still finds every file, and inspect shows them.
TEST_F(BuildTest, ProductEntryKeysGoIntoTheSettingsSection) {
  Write("e.toml", "[product]\nname = \"演示\"\nversion = \"2.1\"\npublisher = \"演示公司\"\n"
                  "id = \"Demo.App\"\nurl = \"https://example.com/演示\"\n"
                  "[[file]]\nsource = \"payload/w.ini\"\ncompression = \"none\"\n");
  RunResult r = RunMksetup({"build", Path("e.toml"), "--stub", Path("stub.exe"), "-o", Path("e.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("e.exe"), rb);
  ASSERT_TRUE(rb.ok);
  const PackageSettings& s = rb.settings;
  EXPECT_TRUE(s.Extended);
  EXPECT_EQ(s.FileList.Count, 1);
  EXPECT_STREQ(s.ProductId.c_str(), "Demo.App");
  EXPECT_STREQ(s.ProductVersion.c_str(), "2.1");
  EXPECT_EQ(std::string(s.ProductPublisher.c_str()), "\xD1\xDD\xCA\xBE\xB9\xAB\xCB\xBE");  // 演示公司
  EXPECT_EQ(std::string(s.ProductUrl.c_str()), "https://example.com/\xD1\xDD\xCA\xBE");
  // Pairs in rows of two after the list's empty name: the text ends with them.
  const std::string last = "product.url\x07https://example.com/\xD1\xDD\xCA\xBE\x08\r\n";
  ASSERT_GT(rb.table.size(), last.size());
  EXPECT_EQ(rb.table.substr(rb.table.size() - last.size()), last);
  EXPECT_NE(rb.table.find(std::string("\r\n\x07product.id\x07" "Demo.App\x08\r\n")), std::string::npos);

  RunResult i = RunMksetup({"inspect", Path("e.exe")});
  ASSERT_EQ(i.code, 0) << i.output;
  EXPECT_NE(i.output.find("48  Extension                \"PKX1\""), std::string::npos) << i.output;
  EXPECT_NE(i.output.find("settings: 4\n  \"product.id\"             \"Demo.App\"\n"), std::string::npos) << i.output;
  EXPECT_NE(i.output.find("\"product.url\"            \"https://example.com/演示\""), std::string::npos);
  EXPECT_EQ(i.output.find("problems"), std::string::npos) << i.output;
}

// ui.language: a language but the default goes into the settings section
// (and the version resource is in it); the default builds as a project
// without the key; a language the programs do not speak, and a stub that
// does not say it speaks the languages, are refused.
TEST_F(BuildTest, UiLanguageGoesIntoTheSettingsSection) {
  const std::string project = "compression = \"none\"\n[product]\nname = \"Demo\"\nversion = \"1.0\"\n"
                              "[[file]]\nsource = \"payload/w.ini\"\n";
  Write("none.toml", project);
  Write("en.toml", project + "[ui]\nlanguage = \"en\"\n");
  Write("zh.toml", project + "[ui]\nlanguage = \"zh-CN\"\n");
  Write("fr.toml", project + "[ui]\nlanguage = \"fr\"\n");
  for (const char* name : {"none", "en", "zh"}) {
    RunResult r = RunMksetup({"build", "-q", Path(std::string(name) + ".toml"), "--stub", Path("stub.exe"), "-o",
                              Path(std::string(name) + ".exe")});
    ASSERT_EQ(r.code, 0) << name << ": " << r.output;
  }
  EXPECT_EQ(ReadFile(Path("zh.exe")), ReadFile(Path("none.exe")));
  ReadBack rb;
  ReadPackage(Path("none.exe"), rb);
  ASSERT_TRUE(rb.ok);
  EXPECT_FALSE(rb.settings.Extended);
  ReadPackage(Path("en.exe"), rb);
  ASSERT_TRUE(rb.ok);
  EXPECT_TRUE(rb.settings.Extended);
  EXPECT_STREQ(rb.settings.Language.c_str(), "en");
  const std::string last = "ui.language\x07" "en\x08\r\n";
  EXPECT_EQ(rb.table.substr(rb.table.size() - last.size()), last);
  const std::u16string english = u"040904b0";
  const std::string block(reinterpret_cast<const char*>(english.data()), english.size() * 2);
  EXPECT_NE(ReadFile(Path("en.exe")).find(block), std::string::npos) << "the version resource in English";
  // Without version keys as well: the stub's own is Chinese.
  Write("bare.toml", "compression = \"none\"\n[ui]\nlanguage = \"en\"\n[product]\nname = \"Demo\"\n"
                     "[[file]]\nsource = \"payload/w.ini\"\n");
  RunResult bare = RunMksetup({"build", "-q", Path("bare.toml"), "--stub", Path("stub.exe"), "-o", Path("bare.exe")});
  ASSERT_EQ(bare.code, 0) << bare.output;
  EXPECT_NE(ReadFile(Path("bare.exe")).find(block), std::string::npos);

  RunResult fr = RunMksetup({"build", Path("fr.toml"), "--stub", Path("stub.exe"), "-o", Path("fr.exe")});
  EXPECT_EQ(fr.code, 1);
  EXPECT_NE(fr.output.find("ui.language = \"fr\": write \"zh-CN\" or \"en\""), std::string::npos) << fr.output;
  Write("old-stub.exe", StubBytes("PKX1 lzma crc32"));
  RunResult old = RunMksetup({"build", Path("en.toml"), "--stub", Path("old-stub.exe"), "-o", Path("old.exe")});
  EXPECT_EQ(old.code, 1);
  EXPECT_NE(old.output.find("ui.language = \"en\": the stub cannot speak it (its resource PKX does not name lang)"),
            std::string::npos) << old.output;
  EXPECT_FALSE(fs::exists(Path("fr.exe")) || fs::exists(Path("old.exe")));
}

// The manifest of a program (RT_MANIFEST 1), "" without one.
std::string ManifestOf(const std::string& program) {
  PeImage pe;
  ResTree tree;
  std::string error, manifest;
  if (!ParsePe(program, pe, error) || !ReadResources(program, pe, tree, error)) return "(unreadable: " + error + ")";
  FindResource(tree, kRtManifest, 1, manifest);
  return manifest;
}

// The uninstaller a setup program carries (resource EXE 138), unpacked.
std::string UninstallerOf(const std::string& setup) {
  PeImage pe;
  ResTree tree;
  std::string error;
  if (!ParsePe(setup, pe, error) || !ReadResources(setup, pe, tree, error)) return "";
  ResKey exe;
  exe.named = true;
  exe.name = u"EXE";
  if (!tree.count(exe) || !tree[exe].count(ResId(138)) || tree[exe][ResId(138)].empty()) return "";
  std::string program;
  return StubUninstallerProgram(setup, program, error) ? program : "";
}

// A program with a manifest asking for the administrator, as both of ours do.
std::string WithManifest(std::string program, const std::string& manifest) {
  PeImage pe;
  ResTree tree;
  std::string error;
  EXPECT_TRUE(ParsePe(program, pe, error) && ReadResources(program, pe, tree, error)) << error;
  tree[ResId(kRtManifest)][ResId(1)][ResId(0)].bytes = manifest;
  EXPECT_TRUE(WriteResources(program, tree, error)) << error;
  return program;
}

// install.scope: "machine" builds byte for byte as a project without the key;
// "user" and "ask" go into the settings section, and the setup program and
// the uninstaller it carries ask for no elevation (asInvoker), the rest of
// both programs unchanged. Read back from the built file. The uninstaller of
// "ask" names the scope chosen, so the setup assembles it: it is not taken
// from --uninstaller.
TEST_F(BuildTest, UserScopeSettingAndManifests) {
  const std::string manifest = "<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel "
                               "level=\"requireAdministrator\" uiAccess=\"false\"/></requestedPrivileges></security>"
                               "</trustInfo></assembly>";
  std::string asInvoker = manifest;
  asInvoker.replace(asInvoker.find("requireAdministrator"), 20, "asInvoker");
  std::string uninstaller = WithManifest(TestExecutable(false), manifest);
  uninstaller.replace(0x220, 5, std::string("\xE8\x10\x00\x00\x00", 5));  // a near call in its code
  // Filtered before packing, as the stand-in stub's capability text says.
  std::string filtered = uninstaller, packedUninstaller;
  CX86Filter().Encode(reinterpret_cast<unsigned char*>(&filtered[0]), filtered.size(), 0);
  ASSERT_TRUE(PackLzmaStream(filtered, packedUninstaller));
  // The stand-in stub with both manifests.
  std::string stub = WithManifest(StubBytes(), manifest);
  {
    PeImage pe;
    ResTree tree;
    std::string error;
    ASSERT_TRUE(ParsePe(stub, pe, error) && ReadResources(stub, pe, tree, error)) << error;
    ResKey exe;
    exe.named = true;
    exe.name = u"EXE";
    tree[exe][ResId(138)].begin()->second.bytes = packedUninstaller;
    ASSERT_TRUE(WriteResources(stub, tree, error)) << error;
  }
  Write("scope-stub.exe", stub);
  ASSERT_EQ(UninstallerOf(stub), uninstaller);
  const std::string project = "compression = \"none\"\n[product]\nname = \"Demo\"\n"
                              "[uninstall]\nregistry_keys = [\"HKEY_CURRENT_USER|Software\\\\Demo\"]\n"
                              "[[file]]\nsource = \"payload/w.ini\"\n";
  Write("none.toml", project);
  Write("machine.toml", project + "[install]\nscope = \"machine\"\n");
  Write("user.toml", project + "[install]\nscope = \"user\"\n");
  Write("ask.toml", project + "[install]\nscope = \"ask\"\n");
  for (const char* name : {"none", "machine", "user", "ask"}) {
    RunResult r = RunMksetup({"build", "-q", Path(std::string(name) + ".toml"), "--stub", Path("scope-stub.exe"),
                              "-o", Path(std::string(name) + ".exe")});
    ASSERT_EQ(r.code, 0) << name << ": " << r.output;
  }
  EXPECT_EQ(ReadFile(Path("machine.exe")), ReadFile(Path("none.exe")));
  EXPECT_EQ(ManifestOf(ReadFile(Path("machine.exe"))), manifest);
  EXPECT_EQ(UninstallerOf(ReadFile(Path("machine.exe"))), uninstaller);

  for (const char* scope : {"user", "ask"}) {
    ReadBack rb;
    ReadPackage(Path(std::string(scope) + ".exe"), rb);
    ASSERT_TRUE(rb.ok) << scope;
    EXPECT_TRUE(rb.settings.Extended);
    EXPECT_EQ(rb.settings.Scope, scope);
    const std::string last = std::string("install.scope\x07") + scope + "\x08\r\n";
    EXPECT_EQ(rb.table.substr(rb.table.size() - last.size()), last);
    const std::string built = ReadFile(Path(std::string(scope) + ".exe"));
    EXPECT_EQ(ManifestOf(built), asInvoker) << scope;
    const std::string builtUninstaller = UninstallerOf(built);
    EXPECT_EQ(ManifestOf(builtUninstaller), asInvoker) << scope;
    // Nothing else of the uninstaller changed: with the manifest put back it
    // is the stub's own.
    EXPECT_EQ(WithManifest(builtUninstaller, manifest), uninstaller) << scope;
  }
  Write("vendor-ridkit.exe", uninstaller);
  RunResult carried = RunMksetup({"build", "-q", Path("ask.toml"), "--stub", Path("scope-stub.exe"), "--uninstaller",
                                  Path("vendor-ridkit.exe"), "-o", Path("carried.exe")});
  EXPECT_EQ(carried.code, 1);
  EXPECT_NE(carried.output.find("install.scope = \"ask\": the uninstaller's table names the scope the user chooses, "
                                "so the setup assembles the uninstaller and cannot carry the one --uninstaller gives"),
            std::string::npos) << carried.output;
  EXPECT_FALSE(fs::exists(Path("carried.exe")));
}

// What a package for the current user alone may not do, each said with the
// file or entry it concerns: files for the Windows or the system folder,
// entries outside HKEY_CURRENT_USER and the classes for the uninstaller to
// remove; and a scope it does not know, or a stub that does not say it
// installs for one user (or lets the user choose). A package that lets the
// user choose may not do it either. Nothing is written.
TEST_F(BuildTest, UserScopeRefusals) {
  const std::string base = "compression = \"none\"\n[product]\nname = \"Demo\"\n";
  Write("bad.toml", base + "[install]\nscope = \"user\"\n[uninstall]\n"
                    "registry_keys = [\"HKEY_LOCAL_MACHINE|Software\\\\Demo\", \"HKEY_CURRENT_USER|A\", "
                    "\"HKEY_CURRENT_USER|B\", \"HKEY_LOCAL_MACHINE|Software\\\\Third\"]\n"
                    "registry_values = [\"HKEY_CLASSES_ROOT|.dmo|x\", \"HKEY_USERS|S\\\\Demo|v\"]\n"
                    "[[file]]\nsource = \"payload/w.ini\"\nfolder = \"windows\"\n"
                    "[[file]]\nsource = \"payload/w.ini\"\nname = \"ctl.ocx\"\nfolder = \"system\"\n"
                    "[[file]]\nsource = \"payload/w.ini\"\nname = \"fine.ini\"\n");
  RunResult bad = RunMksetup({"build", Path("bad.toml"), "--stub", Path("stub.exe"), "-o", Path("bad.exe")});
  EXPECT_EQ(bad.code, 1);
  for (const char* said :
       {"file[1] \"payload/w.ini\": folder = \"windows\", but install.scope = \"user\" installs for the current "
        "user alone, who may not write there; put the file in the installation folder",
        "file[2] \"ctl.ocx\": folder = \"system\", but install.scope",
        "uninstall.registry_keys[1] = \"HKEY_LOCAL_MACHINE|Software\\\\Demo\": install.scope = \"user\": the "
        "uninstaller runs without the administrator's rights",
        "uninstall.registry_values[2] = \"HKEY_USERS|S\\\\Demo|v\"",
        "uninstall.registry_keys[4] = \"HKEY_LOCAL_MACHINE|Software\\\\Third\": install.scope"})
    EXPECT_NE(bad.output.find(said), std::string::npos) << said << "\n" << bad.output;
  EXPECT_EQ(bad.output.find("fine.ini"), std::string::npos) << bad.output;
  EXPECT_EQ(bad.output.find("registry_values[1]"), std::string::npos) << bad.output;

  std::string toml = ReadFile(Path("bad.toml"));
  Write("ask.toml", toml.replace(toml.find("\"user\""), 6, "\"ask\""));
  RunResult ask = RunMksetup({"build", Path("ask.toml"), "--stub", Path("stub.exe"), "-o", Path("ask.exe")});
  EXPECT_EQ(ask.code, 1);
  for (const char* said :
       {"file[1] \"payload/w.ini\": folder = \"windows\", but install.scope = \"ask\" lets the user install for "
        "themselves alone, who may not write there",
        "uninstall.registry_keys[1] = \"HKEY_LOCAL_MACHINE|Software\\\\Demo\": install.scope = \"ask\": the "
        "uninstaller runs without the administrator's rights"})
    EXPECT_NE(ask.output.find(said), std::string::npos) << said << "\n" << ask.output;

  const std::string file = "[[file]]\nsource = \"payload/w.ini\"\n";
  Write("odd.toml", base + "[install]\nscope = \"everyone\"\n" + file);
  RunResult odd = RunMksetup({"build", Path("odd.toml"), "--stub", Path("stub.exe"), "-o", Path("odd.exe")});
  EXPECT_EQ(odd.code, 1);
  EXPECT_NE(odd.output.find("install.scope = \"everyone\": write \"machine\" (for everybody), \"user\" (for the "
                            "current user alone) or \"ask\" (the user chooses)"),
            std::string::npos) << odd.output;
  Write("user.toml", base + "[install]\nscope = \"user\"\n" + file);
  Write("old-stub.exe", StubBytes("PKX1 lzma crc32 lang"));
  RunResult old = RunMksetup({"build", Path("user.toml"), "--stub", Path("old-stub.exe"), "-o", Path("old.exe")});
  EXPECT_EQ(old.code, 1);
  EXPECT_NE(old.output.find("install.scope = \"user\": the stub cannot install for the current user alone (its "
                            "resource PKX does not name scope)"),
            std::string::npos) << old.output;
  // One that installs for one user, but not as the user chooses.
  Write("ask-file.toml", base + "[install]\nscope = \"ask\"\n" + file);
  Write("scope-stub.exe", StubBytes("PKX1 lzma crc32 lang scope"));
  old = RunMksetup({"build", Path("ask-file.toml"), "--stub", Path("scope-stub.exe"), "-o", Path("old.exe")});
  EXPECT_EQ(old.code, 1);
  EXPECT_NE(old.output.find("install.scope = \"ask\": the stub cannot let the user choose for whom it installs "
                            "(its resource PKX does not name ask)"),
            std::string::npos) << old.output;
  // A stub without the manifests of ours cannot be made to run unelevated.
  RunResult bare = RunMksetup({"build", Path("user.toml"), "--stub", Path("stub.exe"), "-o", Path("bare.exe")});
  EXPECT_EQ(bare.code, 1);
  EXPECT_NE(bare.output.find("the setup program's manifest does not ask for the administrator's rights"),
            std::string::npos) << bare.output;
  for (const char* out : {"bad.exe", "ask.exe", "odd.exe", "old.exe", "bare.exe"})
    EXPECT_FALSE(fs::exists(Path(out))) << out;
}

// A folder source: byte order of the relative paths even where names share
// their first bytes; a link to a file is packed under the link's name, a link
// to a folder is not followed, a broken link is refused.
TEST_F(BuildTest, FolderSourceOrderAndLinks) {
  Write("pack/abcdefgh.txt", "1");
  Write("pack/abcdefgh/x.txt", "2");
  Write("pack/abcdefgh-y.txt", "3");
  Write("pack/real/in.txt", "4");
  ASSERT_EQ(symlink("real/in.txt", Path("pack/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("real", Path("pack/linkdir").c_str()), 0);
  Write("p.toml", "compression = \"none\"\n[product]\nname = \"A\"\n[[file]]\nsource = \"pack\"\n");
  RunResult r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("x.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("x.exe"), rb);
  ASSERT_TRUE(rb.ok);
  std::vector<std::string> got;
  CFileList& list = rb.settings.FileList;
  for (int i = 0; list.MoveTo(i); i++)
    got.push_back(std::string(list.Current()->SubDir) + "|" + list.Current()->Name);
  EXPECT_EQ(got, (std::vector<std::string>{"|abcdefgh-y.txt", "|abcdefgh.txt", "abcdefgh|x.txt", "|link.txt",
                                            "real|in.txt"}));

  ASSERT_EQ(symlink("nowhere", Path("pack/broken").c_str()), 0);
  r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("x.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("\"broken\" is not a regular file"), std::string::npos) << r.output;
}

TEST_F(BuildTest, DefaultsWithoutOptionalSettings) {
  Write("min/setup.toml", "compression = \"none\"\n[product]\nname = \"Mini\"\n[[file]]\nsource = \"a.txt\"\n");
  Write("min/a.txt", "a");
  RunResult r = RunMksetup({"build", Path("min/setup.toml"), "--stub", Path("stub.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  // Beside the project, named after it.
  ReadBack rb;
  ReadPackage(Path("min/setup-setup.exe"), rb);
  ASSERT_TRUE(rb.ok);
  EXPECT_EQ(rb.settings.PictureLength, 0);
  EXPECT_EQ(rb.settings.IconLength, 0);
  EXPECT_FALSE(rb.settings.SplashEnabled);
  EXPECT_EQ(rb.settings.SplashPictureLength, 0);
  EXPECT_STREQ(rb.settings.ReadmeFile, "");
  EXPECT_STREQ(rb.settings.TypeAssoc[0].Extension, "");
  ASSERT_EQ(rb.settings.FileList.Count, 1);
  EXPECT_EQ(rb.settings.FileList.Head->Entry.Offset, static_cast<LONG>(StubBytes().size()));
}

TEST_F(BuildTest, CommandLineVariableWinsOverTheProjectsOwn) {
  fs::copy(Path("payload"), Path("payload2"), fs::copy_options::recursive);
  Write("payload2/app.bin", "other program");
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-D",
                            "DATA=" + Path("payload2"), "-o", Path("v.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("v.exe"), rb);
  ASSERT_TRUE(rb.ok);
  const FileEntry& first = rb.settings.FileList.Head->Entry;
  EXPECT_EQ(ReadFile(Path("v.exe")).substr(first.Offset, first.Length), "other program");
}

TEST_F(BuildTest, WarningsDoNotStopTheBuild) {
  Write("w.toml",
        "compression = \"none\"\n[product]\nname = \"W\"\n[finish]\nreadme = \"missing.txt\"\n[[file]]\nsource = \"payload/w.ini\"\n");
  RunResult r = RunMksetup({"build", Path("w.toml"), "--stub", Path("stub.exe"), "-o", Path("w.exe"),
                            "-D", "UNUSED=1"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("warning: "), std::string::npos);
  EXPECT_NE(r.output.find("finish.readme"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("UNUSED"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::exists(Path("w.exe")));
}

// A source that changes between the checks and the copy: the write fails,
// the temporary file goes, and an earlier package stays as it was.
TEST_F(BuildTest, SourceShrinkingMidWayLeavesNothingBehind) {
  for (bool kernel : {true, false}) {
    SCOPED_TRACE(kernel ? "kernel copy" : "read and write");
    Write("out/full-setup.exe", "previous package");
    Write("payload/app.bin", std::string(3 << 20, 'x'));
    Diagnostics diag;
    Project project;
    Plan plan;
    ASSERT_TRUE(LoadProject(Path("full.toml"), {}, project, diag));
    BuildOptions options;
    options.stub = Path("stub.exe");
    ASSERT_TRUE(PlanPackage(project, options, plan, diag)) << (diag.errors.empty() ? "" : diag.errors[0]);
    ASSERT_EQ(truncate(Path("payload/app.bin").c_str(), 1 << 20), 0);
    std::set<std::string> before = Files();
    UseKernelCopy(kernel);
    std::string error;
    EXPECT_FALSE(WritePackage(plan, error));
    UseKernelCopy(true);
    EXPECT_NE(error.find("file[1]"), std::string::npos) << error;
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(ReadFile(Path("out/full-setup.exe")), "previous package");
  }
}

TEST_F(BuildTest, PlainCopyGivesTheSameBytes) {
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("k.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  Diagnostics diag;
  Project project;
  Plan plan;
  ASSERT_TRUE(LoadProject(Path("full.toml"), {}, project, diag));
  BuildOptions options;
  options.stub = Path("stub.exe");
  options.output = Path("p.exe");
  ASSERT_TRUE(PlanPackage(project, options, plan, diag));
  UseKernelCopy(false);
  std::string error;
  EXPECT_TRUE(WritePackage(plan, error)) << error;
  UseKernelCopy(true);
  EXPECT_TRUE(ReadFile(Path("p.exe")) == ReadFile(Path("k.exe")));
}

}  // namespace

namespace {

// The output never destroys an input, a device or a link; a stale temporary
// file of a killed run is cleared by the next one.
TEST_F(BuildTest, OutputNeverDestroysAnInput) {
  const std::string projectBytes = ReadFile(Path("full.toml"));
  const std::string stubBytes = ReadFile(Path("stub.exe"));
  for (const char* input : {"full.toml", "stub.exe", "payload/w.ini", "art/page.jpg"}) {
    SCOPED_TRACE(input);
    std::string before = ReadFile(Path(input));
    RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path(input)});
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("the same file as"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(Path(input)), before);
  }
  // Not a regular file: a pipe stays a pipe.
  ASSERT_EQ(mkfifo(Path("out/pipe").c_str(), 0600), 0);
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("out/pipe")});
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_NE(r.output.find("not a regular file"), std::string::npos) << r.output;
  struct stat st;
  ASSERT_EQ(lstat(Path("out/pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(BuildTest, LinkAsOutputIsWrittenThrough) {
  Write("out/target.exe", "old");
  ASSERT_EQ(symlink("target.exe", Path("out/link.exe").c_str()), 0);
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("out/link.exe"), "-q"});
  ASSERT_EQ(r.code, 0) << r.output;
  struct stat st;
  ASSERT_EQ(lstat(Path("out/link.exe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ReadBack back;
  ReadPackage(Path("out/target.exe"), back);
  EXPECT_TRUE(back.ok);
  // A link onto an input is refused like the input itself.
  ASSERT_EQ(symlink("../full.toml", Path("out/self.exe").c_str()), 0);
  r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("out/self.exe")});
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_EQ(ReadFile(Path("full.toml")), std::string(kFullProject));
}

TEST_F(BuildTest, LongestOutputNameAndStaleTemporaryFiles) {
  // A temporary file left by a run that no longer lives.
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  std::string stale = "out/.mksetup-" + std::to_string(child) + "-AbCdEf";
  Write(stale, "partial");
  std::string name = "out/" + std::string(251, 'n') + ".exe";
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path(name), "-q"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::exists(Path(name)));
  EXPECT_FALSE(fs::exists(Path(stale)));
}

}  // namespace

// --depfile: every file and folder the build read, and no folder of a single
// file (often the build folder itself, whose time changes with every build).
TEST_F(BuildTest, DepfileNamesEveryInput) {
  Write("payload/tree/with space#1$.txt", "odd name");
  RunResult r = RunMksetup({"build", Path("full.toml"), "--stub", Path("stub.exe"), "-o", Path("d.exe"), "--depfile",
                            Path("d.d"), "-q"});
  ASSERT_EQ(r.code, 0) << r.output;
  std::string text = ReadFile(Path("d.d"));
  std::set<std::string> got;
  std::string word;
  for (size_t i = 0; i <= text.size(); i++) {
    char c = i < text.size() ? text[i] : ' ';
    if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n') word += text[++i];
    else if (c == '$' && i + 1 < text.size() && text[i + 1] == '$') word += text[++i];
    else if (c == ' ' || c == '\n' || c == '\\') {
      if (!word.empty()) got.insert(word);
      word.clear();
    } else word += c;
  }
  std::set<std::string> want = {Path("d.exe") + ":"};
  for (const char* rel : {"full.toml", "stub.exe", "art/page.jpg", "art/bg.jpg", "art/app.ico", "payload/app.bin",
                          "payload/tree", "payload/tree/读我.txt", "payload/tree/b", "payload/tree/b/z.txt",
                          "payload/tree/a", "payload/tree/a/deeper", "payload/tree/a/deeper/x.bin",
                          "payload/tree/B.txt", "payload/tree/with space#1$.txt", "payload/empty.dat",
                          "payload/w.ini"})
    want.insert(Path(rel));
  EXPECT_EQ(got, want) << text;
}
