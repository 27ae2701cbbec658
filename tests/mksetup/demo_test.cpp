// The demo project under examples/demo builds and reads back.
#include <filesystem>

#include "codepage.h"
#include "testenv.h"

namespace {

class DemoTest : public ScratchTest {};

TEST_F(DemoTest, DemoProjectBuildsAndReadsBack) {
  // Stand-ins for the compiled demo program and the setup program.
  Write("demo.exe", "MZ demo program stand-in");
  Write("stub.exe", StubBytes());
  RunResult r = RunMksetup({"build", SOURCE_ROOT "/examples/demo/setup.toml", "-D", "DEMO_EXE=" + Path("demo.exe"),
                            "--stub", Path("stub.exe"), "-o", Path("demo-setup.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;

  ReadBack rb;
  ReadPackage(Path("demo-setup.exe"), rb);
  ASSERT_TRUE(rb.ok);
  const PackageSettings& s = rb.settings;
  std::string name;
  ASSERT_TRUE(Utf8ToCp936("演示软件", name, nullptr));
  EXPECT_EQ(std::string(s.ProductName), name);
  for (int k = 0; k < 8; k++) EXPECT_LE(strlen(s.PageText[0][k]), 47u);
  EXPECT_GT(strlen(s.PageText[1][2]), 0u);  // the licence
  EXPECT_STREQ(s.TypeAssoc[0].Extension, "dmo");
  EXPECT_TRUE(s.SplashEnabled);
  // Built packed by default: the extension, every row checksummed.
  EXPECT_TRUE(s.Extended);
  EXPECT_FALSE(s.RowsDamaged);

  std::string bytes = ReadFile(Path("demo-setup.exe"));
  // The pictures are JPEGs, the icon an icon file, each where the index says.
  EXPECT_EQ(bytes.compare(s.PictureOffset, 3, "\xFF\xD8\xFF"), 0);
  EXPECT_EQ(bytes.compare(s.SplashPictureOffset, 3, "\xFF\xD8\xFF"), 0);
  EXPECT_EQ(bytes.compare(s.IconOffset, 4, std::string("\0\0\1\0", 4)), 0);
  EXPECT_EQ(bytes.substr(s.PictureOffset, s.PictureLength), ReadFile(SOURCE_ROOT "/examples/demo/art/page.jpg"));

  // The program first, with all three shortcuts, then the files below files/.
  ASSERT_GE(s.FileList.Count, 5);
  const FileEntry& program = s.FileList.Head->Entry;
  EXPECT_EQ(program.Shortcuts, SHORTCUT_DESKTOP | SHORTCUT_STARTMENU | SHORTCUT_GROUP);
  EXPECT_EQ(FileBytes(Path("demo-setup.exe"), program, &s.Blocks), "MZ demo program stand-in");
  std::string run = "INSTALL_FOLDER\\" + std::string(program.Name);
  EXPECT_EQ(std::string(s.RunFile), run);
  bool nested = false;
  for (CFileList::Node* n = s.FileList.Head; n; n = n->Next)
    if (std::string(n->Entry.SubDir).find('\\') != std::string::npos) nested = true;
  EXPECT_TRUE(nested) << "a file in a nested sub-folder";

  // Every other file comes out as exactly the bytes of its source below files/.
  int compared = 0;
  for (CFileList::Node* n = s.FileList.Head->Next; n; n = n->Next) {
    std::string rel = std::string(n->Entry.SubDir) + (n->Entry.SubDir[0] ? "\\" : "") + n->Entry.Name;
    bool lossless = false;
    std::string utf8 = Cp936ToUtf8(rel, &lossless);
    ASSERT_TRUE(lossless) << rel;
    for (char& c : utf8)
      if (c == '\\') c = '/';
    std::string source = ReadFile(SOURCE_ROOT "/examples/demo/files/" + utf8);
    ASSERT_FALSE(source.empty()) << utf8;
    EXPECT_EQ(FileBytes(Path("demo-setup.exe"), n->Entry, &s.Blocks), source) << utf8;
    compared++;
  }
  EXPECT_EQ(compared, s.FileList.Count - 1);
}

TEST_F(DemoTest, DemoProjectNamesItsMissingProgram) {
  Write("stub.exe", StubBytes());
  RunResult r = RunMksetup({"build", SOURCE_ROOT "/examples/demo/setup.toml", "--stub", Path("stub.exe"), "-o",
                            Path("demo-setup.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("-D DEMO_EXE="), std::string::npos) << r.output;
}

}  // namespace
