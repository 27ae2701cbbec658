// The setup file's own icon and version, and signing: built through the
// mksetup program onto a small stand-in executable, then read back.
#include <stdlib.h>
#include <string.h>

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
