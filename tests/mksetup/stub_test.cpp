// The setup file's own icon and version, and signing: built through the
// mksetup program onto a small stand-in executable, then read back.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/container.h"
#include "pe.h"
#include "testenv.h"

namespace {

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; i--) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

std::string Executable(const char* lastName = ".reloc") { return TestExecutable(true, lastName); }

class StubTest : public ScratchTest {
 protected:
  void Project(const std::string& product) {
    Write("p.toml", "compression = \"none\"\n[product]\nname = \"演示软件\"\n" + product +
                        "\n[welcome]\nlines=[\"w\"]\n[licence]\nlines=[\"l\"]\ntext=\"t\"\n[destination]\n"
                        "lines=[\"d\"]\n[copying]\nlines=[\"c\"]\n[finish]\nlines=[\"f\"]\n[[file]]\nsource=\"a.txt\"\n");
    Write("a.txt", "payload");
    Write("stub.exe", Executable());
  }
  RunResult Build(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"build", "-q", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe")};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunMksetup(args);
  }
};

TEST_F(StubTest, SetupFileCarriesTheProductsIconAndVersion) {
  std::string ico = ReadFile(std::string(SOURCE_ROOT) + "/examples/demo/art/product.ico");
  ASSERT_GT(ico.size(), 100u);
  Write("app.ico", ico);
  Project("icon = \"app.ico\"\nversion = \"1.2.3\"\npublisher = \"示例公司\"\ndescription = \"演示软件安装程序\"\n"
          "copyright = \"(c) 2026 示例公司\"");
  RunResult r = Build();
  ASSERT_EQ(r.code, 0) << r.output;
  std::string out = ReadFile(Path("s.exe"));
  ReadBack back;
  ReadPackage(Path("s.exe"), back);
  ASSERT_TRUE(back.ok);
  PeImage pe;
  ResTree tree;
  std::string error;
  ASSERT_TRUE(ParsePe(out, pe, error) && ReadResources(out, pe, tree, error)) << error;

  // Every image of the .ico, in order, under the ids the group names.
  std::string group, img;
  ASSERT_TRUE(FindResource(tree, kRtGroupIcon, 128, group));
  uint32_t count = static_cast<uint8_t>(ico[4]);
  ASSERT_EQ(group.size(), 6 + count * 14);
  for (uint32_t i = 0; i < count; i++) {
    uint32_t id = static_cast<uint8_t>(group[6 + i * 14 + 12]) | static_cast<uint8_t>(group[6 + i * 14 + 13]) << 8;
    ASSERT_TRUE(FindResource(tree, kRtIcon, id, img)) << id;
    EXPECT_EQ(img, ico.substr(Get32(ico, 6 + i * 16 + 12), Get32(ico, 6 + i * 16 + 8))) << i;
    EXPECT_EQ(group.substr(6 + i * 14, 12), ico.substr(6 + i * 16, 12)) << i;
  }
  std::string version;
  ASSERT_TRUE(FindResource(tree, kRtVersion, 1, version));
  auto strings = VersionResourceStrings(version);
  EXPECT_EQ(strings["ProductName"], "演示软件");
  EXPECT_EQ(strings["ProductVersion"], "1.2.3");
  EXPECT_EQ(strings["FileVersion"], "1.2.3");
  EXPECT_EQ(strings["CompanyName"], "示例公司");
  EXPECT_EQ(strings["FileDescription"], "演示软件安装程序");
  EXPECT_EQ(strings["LegalCopyright"], "(c) 2026 示例公司");
  EXPECT_EQ(Get32(version, 40 + 8), 0x00010002u);  // file version 1.2.3.0 in the fixed part
  EXPECT_EQ(Get32(version, 40 + 12), 0x00030000u);

  // The relocations moved behind the grown resources, bytes intact, and the
  // image size covers them.
  const PeSection& reloc = pe.sections[2];
  EXPECT_GE(reloc.virtualAddress, pe.sections[1].virtualAddress + pe.sections[1].virtualSize);
  EXPECT_EQ(pe.DirAddress(out, kDirBaseReloc), reloc.virtualAddress);
  EXPECT_EQ(out.substr(reloc.rawOffset, 12), Executable().substr(0x600, 12));
  EXPECT_EQ(Get32(out, 0x98 + 56), reloc.virtualAddress + 0x1000);
}

// A setup program with a manifest and a version of its own: the manifest
// stays, the project's version replaces the program's (one version resource).
TEST_F(StubTest, ProgramsOwnVersionIsReplacedAndItsManifestKept) {
  std::string stub = Executable(), error;
  PeImage pe;
  ResTree tree;
  ASSERT_TRUE(ParsePe(stub, pe, error) && ReadResources(stub, pe, tree, error)) << error;
  const std::string manifest = "<assembly manifestVersion=\"1.0\"/>";
  tree[ResId(24)][ResId(1)][ResId(0x0409)].bytes = manifest;
  VersionStrings own;
  own.version = "9.9";
  own.productName = "setup";
  tree[ResId(kRtVersion)][ResId(1)][ResId(0x0409)].bytes = VersionResource(own);
  ASSERT_TRUE(WriteResources(stub, tree, error)) << error;
  Project("version = \"1.2\"");
  Write("stub.exe", stub);
  RunResult r = Build();
  ASSERT_EQ(r.code, 0) << r.output;

  std::string out = ReadFile(Path("s.exe")), data;
  ASSERT_TRUE(ParsePe(out, pe, error) && ReadResources(out, pe, tree, error)) << error;
  ASSERT_TRUE(FindResource(tree, 24, 1, data));
  EXPECT_EQ(data, manifest);
  ASSERT_EQ(tree[ResId(kRtVersion)].size(), 1u);
  ASSERT_EQ(tree[ResId(kRtVersion)][ResId(1)].size(), 1u) << "a second version resource";
  ASSERT_TRUE(FindResource(tree, kRtVersion, 1, data));
  EXPECT_EQ(VersionResourceStrings(data)["ProductVersion"], "1.2");
}

TEST_F(StubTest, StubThatCannotBeRewrittenIsRefused) {
  Project("version = \"1.0\"");
  Write("stub.exe", Executable(".data2"));  // a section after the resources
  RunResult r = Build();
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("section .data2 follows its resources"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(Path("s.exe")), "");
  Project("version = \"1.0.70000\"");
  r = Build();
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("product.version"), std::string::npos) << r.output;
}

// Signing through a stand-in for the signing tool that copies the file and
// notes what it signed in bin/signed (refusing an existing output, as the tool
// does), or interrupts the program that runs it.
class SigningTest : public StubTest {
 protected:
  void SetUp() override {
    StubTest::SetUp();
    Project("");
    Write("c.pfx", "a certificate");
    Write("bin/osslsigncode",
          "#!/bin/sh\n"
          "while [ $# -gt 0 ]; do case $1 in -in) in=$2; shift;; -out) out=$2; shift;; esac; shift; done\n"
          "if [ -e \"$(dirname \"$0\")/interrupt\" ]; then kill -INT $PPID; exit 1; fi\n"
          "if [ -e \"$out\" ]; then echo 'Overwriting an existing file is not supported.'; exit 1; fi\n"
          "cat < \"$in\" > \"$out\" && echo \"$in\" >> \"$(dirname \"$0\")/signed\"\n");
    chmod(Path("bin/osslsigncode").c_str(), 0755);
    path_ = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (Path("bin") + ":" + path_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    StubTest::TearDown();
  }
  static mode_t Mode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  std::string path_;
};

// The unsigned package and the signed copy are made under names of the
// builder's own: files of the user's beside the output are never touched,
// an interrupted run leaves nothing, a password file that is a pipe is
// refused at once, and the signed file has the unsigned one's permissions.
TEST_F(SigningTest, SigningLeavesNothingOfItsOwnAndTouchesNothingOfTheUsers) {
  Write("s.exe.signing", "mine");
  Write("s.exe.unsigned", "mine too");
  std::set<std::string> before = Files();
  RunResult r = Build({"--sign", Path("c.pfx")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(ReadFile(Path("bin/signed")), "");
  EXPECT_EQ(ReadFile(Path("s.exe.signing")), "mine");
  EXPECT_EQ(ReadFile(Path("s.exe.unsigned")), "mine too");
  before.insert({"s.exe", "bin/signed"});
  EXPECT_EQ(Files(), before);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Mode(Path("s.exe")), 0777 & ~mask);

  Write("bin/interrupt", "");
  r = Build({"--sign", Path("c.pfx")});
  EXPECT_NE(r.code, 0) << r.output;
  EXPECT_EQ(Files().size(), before.size() + 1) << "no temporary file left";
  remove(Path("bin/interrupt").c_str());

  ASSERT_EQ(mkfifo(Path("pw").c_str(), 0600), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"build", "-q", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe"),
                                 "--sign", Path("c.pfx"), "--sign-password-file", Path("pw")},
        std::vector<std::string>{"sign", Path("s.exe"), "--sign", Path("c.pfx"), "--sign-password-file", Path("pw")}}) {
    r = RunMksetup(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_NE(r.output.find("--sign-password-file " + Path("pw") + ": not a regular file"), std::string::npos)
        << r.output;
  }
  r = RunMksetup({"sign", Path("s.exe"), "--sign", Path("c.pfx"), "-o", Path("missing/x.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("cannot create a file in " + Path("missing") + ": No such file or directory"),
            std::string::npos)
      << r.output;
}

// sign takes what build makes and writes as build writes: options end at
// "--", a file that only ends near an "&" is no setup file, an output that
// is a link is written through, and the signed file keeps the permissions
// of the file signed.
TEST_F(SigningTest, SignTakesSetupFilesAndWritesLikeBuild) {
  ASSERT_EQ(Build().code, 0);
  Write("t.exe", "target");
  symlink(Path("t.exe").c_str(), Path("link.exe").c_str());
  chmod(Path("s.exe").c_str(), 0750);
  RunResult r = RunMksetup({"sign", Path("s.exe"), "--sign", Path("c.pfx"), "-o", Path("link.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  struct stat st;
  EXPECT_TRUE(lstat(Path("link.exe").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(Path("t.exe")), ReadFile(Path("s.exe")));
  EXPECT_EQ(Mode(Path("t.exe")), 0750u);

  Write("-d.exe", ReadFile(Path("s.exe")));
  std::string cmd = "cd '" + Dir() + "' && '" MKSETUP_EXE "' sign --sign c.pfx -- -d.exe >/dev/null 2>&1";
  EXPECT_EQ(system(cmd.c_str()), 0);
  EXPECT_NE(ReadFile(Path("bin/signed")).find("-d.exe"), std::string::npos);

  Write("notes.txt", "a text that ends near a sign: & more");
  r = RunMksetup({"sign", Path("notes.txt"), "--sign", Path("c.pfx")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("not a setup file"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(Path("notes.txt")), "a text that ends near a sign: & more");
}

TEST_F(StubTest, SignedSetupVerifiesAndAChangedByteIsCaught) {
  if (system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
    GTEST_SKIP() << "osslsigncode or openssl is not installed";
  // A throw-away self-signed code-signing certificate.
  std::string d = Dir();
  std::string make = "cd '" + d + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout k.pem -out c.pem -days 2 "
                     "-subj '/CN=Test Signer' -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 && "
                     "openssl pkcs12 -export -inkey k.pem -in c.pem -out c.pfx -passout pass:pw1 && echo pw1 > pw";
  ASSERT_EQ(system(make.c_str()), 0);
  Project("");
  Write("wrong", "nope\n");
  RunResult r = Build({"--sign", Path("c.pfx"), "--sign-password-file", Path("wrong")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("wrong password"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(Path("s.exe")), "");
  EXPECT_EQ(Files(), (std::set<std::string>{"p.toml", "a.txt", "stub.exe", "k.pem", "c.pem", "c.pfx", "pw", "wrong"}));

  r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe"), "--sign", Path("c.pfx"),
                  "--sign-password-file", Path("pw")});
  ASSERT_EQ(r.code, 0) << r.output;
  // It reports the signed file, not the package before signing.
  EXPECT_NE(r.output.find(": " + std::to_string(ReadFile(Path("s.exe")).size()) + " bytes, 1 files, signed"),
            std::string::npos) << r.output;
  std::string verify = "osslsigncode verify -CAfile '" + Path("c.pem") + "' -in '" + Path("s.exe") + "' >/dev/null 2>&1";
  EXPECT_EQ(system(verify.c_str()), 0);
  ReadBack back;
  ReadPackage(Path("s.exe"), back);
  EXPECT_TRUE(back.ok);
  r = RunMksetup({"inspect", Path("s.exe")});
  EXPECT_NE(r.output.find("signed by /CN=Test Signer"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("matches the file"), std::string::npos) << r.output;

  // One byte of the package changed.
  std::string bytes = ReadFile(Path("s.exe"));
  bytes[back.seek - 3] ^= 1;  // inside the packed file
  Write("s.exe", bytes);
  EXPECT_NE(system(verify.c_str()), 0);
  r = RunMksetup({"inspect", Path("s.exe")});
  EXPECT_NE(r.output.find("DOES NOT MATCH"), std::string::npos) << r.output;
}

}  // namespace
