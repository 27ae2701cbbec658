// The uninstaller a signed package carries: made as the setup makes it,
// signed with the setup file (build --sign, sign), or signed by the vendor's
// own tool and taken back (--uninstaller-out, --uninstaller); the real
// osslsigncode with a certificate made here by openssl.
#include <stdlib.h>

#include "common/container.h"
#include "common/packagefile.h"
#include "framework/memory.h"
#include "testenv.h"
#include "uninstaller.h"

namespace {

class UninstallerTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    if (system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
      GTEST_SKIP() << "osslsigncode or openssl is not installed";
    std::string make = "cd '" + Dir() + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout k.pem -out c.pem "
                       "-days 2 -subj '/CN=Test Signer' -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 && "
                       "openssl pkcs12 -export -inkey k.pem -in c.pem -out c.pfx -passout pass:pw1 && echo pw1 > pw";
    ASSERT_EQ(system(make.c_str()), 0);
    Project("compression = \"none\"\n");
    Write("stub.exe", StubBytes());
  }
  // A project with a picture, an icon and registry entries: all of them
  // go into the uninstaller.
  void Project(const std::string& top) {
    Write("p.toml", top + "[product]\nname = \"演示软件\"\npicture = \"page.jpg\"\nicon = \"app.ico\"\n"
                          "[welcome]\nlines=[\"w\"]\n[licence]\nlines=[\"l\"]\ntext=\"t\"\n[destination]\n"
                          "lines=[\"d\"]\n[copying]\nlines=[\"c\"]\n[finish]\nlines=[\"f\"]\n[uninstall]\n"
                          "registry_keys = [\"HKEY_CURRENT_USER|Software\\\\Demo\\\\App\"]\n"
                          "[[file]]\nsource=\"a.txt\"\n[[file]]\nsource=\"b.txt\"\n");
    Write("page.jpg", SmallJpeg());
    Write("app.ico", SmallIcon());
    Write("a.txt", "payload a");
    Write("b.txt", std::string(5000, 'b'));
  }
  RunResult Build(const std::string& out, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"build", "-q", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path(out)};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunMksetup(args);
  }
  std::vector<std::string> Signing() const { return {"--sign", Path("c.pfx"), "--sign-password-file", Path("pw")}; }
  bool Verifies(const std::string& file) const {
    std::string cmd = "osslsigncode verify -CAfile '" + Path("c.pem") + "' -in '" + Path(file) + "' >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
  }
  // What the setup of the package writes: the carried uninstaller, or the
  // one its setup program assembles.
  std::string SetupWrites(const std::string& setup) const {
    CPackage package;
    std::string image, error;
    if (package.Open(Path(setup).c_str()) != kPackageOpened || !SetupsUninstaller(package, image, error))
      return "(none: " + error + ")";
    return image;
  }
  // The setup's own assembly of ridkit.exe for the package, in-process.
  std::string Assembled(const std::string& setup) const {
    CPackage package;
    if (package.Open(Path(setup).c_str()) != kPackageOpened) return "(not opened)";
    std::string program = UninstallerProgram();
    long size = 0;
    char* image = AssembleUninstaller(UninstallerSourceOf(package, program.data(), static_cast<DWORD>(program.size()),
                                                          package.Path, ""), size);
    std::string bytes = image ? std::string(image, static_cast<size_t>(size)) : "(not assembled)";
    FreeBuffer(image);
    return bytes;
  }
};

// A signed build carries the uninstaller the setup would write, signed with
// the same certificate; an unsigned one carries none and is the same bytes
// with or without --uninstaller-out, which writes what its setup writes.
TEST_F(UninstallerTest, SignedBuildCarriesTheUninstallerItsSetupWouldWriteSigned) {
  ASSERT_EQ(Build("plain.exe").code, 0);
  RunResult r = Build("u.exe", {"--uninstaller-out", Path("ridkit.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(ReadFile(Path("u.exe")) == ReadFile(Path("plain.exe")));
  std::string unsignedUninstaller = ReadFile(Path("ridkit.exe"));
  EXPECT_TRUE(unsignedUninstaller == Assembled("u.exe"));
  EXPECT_TRUE(unsignedUninstaller.substr(0, UninstallerProgram().size()) == UninstallerProgram());
  ReadBack plain;
  ReadPackage(Path("u.exe"), plain);
  EXPECT_FALSE(plain.settings.Extended);

  std::vector<std::string> args = Signing();
  args.insert(args.end(), {"--uninstaller-out", Path("carried.exe")});
  r = Build("s.exe", args);
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack back;
  ReadPackage(Path("s.exe"), back);
  ASSERT_TRUE(back.ok);
  const RegionRef& region = back.settings.UninstallerRegion;
  ASSERT_NE(region.Method, kMethodNone);
  EXPECT_TRUE(back.settings.Extended);
  EXPECT_EQ(region.Offset + region.Length, back.seek) << "the last region before the index";
  std::string carried = SetupWrites("s.exe");
  EXPECT_TRUE(carried == ReadFile(Path("carried.exe")));
  EXPECT_EQ(SignedCopyProblem(unsignedUninstaller, carried), "");
  EXPECT_EQ(SignedCopyProblem(Assembled("s.exe"), carried), "");
  EXPECT_TRUE(Verifies("carried.exe"));
  EXPECT_TRUE(Verifies("s.exe"));
  r = RunMksetup({"inspect", Path("s.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("uninstaller signature: signed by /CN=Test Signer\n"
                          "uninstaller signature check: matches the file"),
            std::string::npos)
      << r.output;

  // A byte of the carried uninstaller changed: the payload's checksum, which
  // the setup checks before it writes any file, no longer matches; the
  // uninstaller's own checksum neither.
  std::string bytes = ReadFile(Path("s.exe"));
  bytes[static_cast<size_t>(region.Offset + region.Length / 2)] ^= 0x10;
  Write("flipped.exe", bytes);
  CPackage flipped;
  ASSERT_EQ(flipped.Open(Path("flipped.exe").c_str()), kPackageOpened);
  CPackageFile file;
  ASSERT_TRUE(file.Open(Path("flipped.exe").c_str()));
  EXPECT_FALSE(file.VerifyPayload(flipped.Seal, flipped.Index.Offset, 0, 0));
  EXPECT_EQ(SetupWrites("flipped.exe").substr(0, 6), "(none:");
  r = RunMksetup({"inspect", Path("flipped.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("damaged: the uninstaller it carries is damaged"), std::string::npos) << r.output;

  // A package in English: the uninstaller carried has the language in its
  // table's extension, as the setup would have written it.
  Write("p.toml", ReadFile(Path("p.toml")) + "[ui]\nlanguage = \"en\"\n");
  ASSERT_EQ(Build("en.exe", Signing()).code, 0);
  carried = SetupWrites("en.exe");
  EXPECT_EQ(SignedCopyProblem(Assembled("en.exe"), carried), "");
  Write("en-ridkit.exe", carried);
  CStoredTable stored;
  ASSERT_TRUE(stored.Read(Path("en-ridkit.exe").c_str(), 1 << 20));
  CFieldTable table;
  stored.Load(table);
  EXPECT_NE(std::string(table.text.c_str()).find(SETTING_UI_LANGUAGE), std::string::npos);
}

// The vendor's own signing tool: --uninstaller-out writes the uninstaller,
// the tool signs it, --uninstaller takes it back; anything but that file
// with a signature is refused and nothing is written.
TEST_F(UninstallerTest, VendorSignedUninstallerIsTakenBackOnlyAsItWasWritten) {
  ASSERT_EQ(Build("u.exe", {"--uninstaller-out", Path("ridkit.exe")}).code, 0);
  std::string sign = "cd '" + Dir() + "' && osslsigncode sign -pkcs12 c.pfx -readpass pw -h sha256 ";
  ASSERT_EQ(system((sign + "-in ridkit.exe -out signed.exe >/dev/null").c_str()), 0);
  RunResult r = Build("s.exe", {"--uninstaller", Path("signed.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(SetupWrites("s.exe") == ReadFile(Path("signed.exe")));

  std::string good = ReadFile(Path("signed.exe"));
  std::string changed = good;
  changed[changed.size() / 3] ^= 1;  // in the program, the picture or the table
  Write("changed.exe", changed);
  Write("junk.exe", good + "junk");  // the certificate table no longer ends the file
  Write("foreign.exe", StubPe(false));
  ASSERT_EQ(system((sign + "-in foreign.exe -out foreign-signed.exe >/dev/null").c_str()), 0);
  const std::pair<const char*, const char*> refused[] = {
      {"changed.exe", "it is not the uninstaller of this package"},
      {"ridkit.exe", "it is not signed"},
      {"junk.exe", "its certificate table entry is damaged"},
      {"foreign-signed.exe", "it is not the uninstaller of this package"},
  };
  for (const auto& [file, why] : refused) {
    r = Build("refused.exe", {"--uninstaller", Path(file)});
    EXPECT_EQ(r.code, 1) << file;
    EXPECT_NE(r.output.find("--uninstaller " + Path(file) + ": " + why), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(Path("refused.exe")), "") << file;
  }
  // A project changed since the file was written gives another uninstaller.
  std::string toml = ReadFile(Path("p.toml"));
  Write("p.toml", toml.replace(toml.find("Demo"), 4, "Else"));
  r = Build("refused.exe", {"--uninstaller", Path("signed.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("is not the uninstaller of this package"), std::string::npos) << r.output;

  // A stub that writes no carried uninstaller cannot take it.
  Write("stub.exe", StubPe(true));
  r = Build("refused.exe", {"--uninstaller", Path("signed.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("the stub cannot carry the uninstaller --uninstaller gives"), std::string::npos) << r.output;
}

// sign writes the package anew with the uninstaller signed inside: a package
// without the extension gets it (every row checksummed), an uninstaller
// carried at the payload's end is replaced in its place; a setup program
// that cannot carry one is signed as before, with a warning.
TEST_F(UninstallerTest, SignPutsTheSignedUninstallerIntoAnyPackage) {
  ASSERT_EQ(Build("plain.exe", {"--uninstaller-out", Path("ridkit.exe")}).code, 0);
  RunResult r = RunMksetup({"sign", Path("plain.exe"), "--sign", Path("c.pfx"), "--sign-password-file", Path("pw"),
                            "-o", Path("s.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack back;
  ReadPackage(Path("s.exe"), back);
  CPackage reopened;
  ASSERT_EQ(reopened.Open(Path("s.exe").c_str()), kPackageOpened);
  EXPECT_TRUE(back.settings.Extended);
  ASSERT_EQ(back.settings.FileList.Count, 2);
  EXPECT_EQ(FileBytes(Path("s.exe"), back.settings.FileList.Head->Entry), "payload a");
  EXPECT_EQ(FileBytes(Path("s.exe"), back.settings.FileList.Tail->Entry), std::string(5000, 'b'));
  EXPECT_EQ(back.settings.FileList.Tail->Entry.Method, kMethodStored);
  std::string carried = SetupWrites("s.exe");
  EXPECT_EQ(SignedCopyProblem(ReadFile(Path("ridkit.exe")), carried), "");
  Write("carried.exe", carried);
  EXPECT_TRUE(Verifies("carried.exe"));
  EXPECT_TRUE(Verifies("s.exe"));
  r = RunMksetup({"extract", Path("s.exe"), Path("out")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadFile(Path("out/b.txt")), std::string(5000, 'b'));

  // Files in solid blocks: the blocks stay where they were, the uninstaller
  // follows them, and the files still read through them.
  Project("");
  ASSERT_EQ(Build("solid.exe").code, 0);
  r = RunMksetup({"sign", Path("solid.exe"), "--sign", Path("c.pfx"), "--sign-password-file", Path("pw"), "-o",
                  Path("solid-signed.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack solid;
  ReadPackage(Path("solid-signed.exe"), solid);
  ASSERT_NE(solid.settings.Blocks.At(1), nullptr);
  EXPECT_EQ(solid.settings.FileList.Head->Entry.Method, kMethodSolid);
  EXPECT_EQ(FileBytes(Path("solid-signed.exe"), solid.settings.FileList.Tail->Entry, &solid.settings.Blocks),
            std::string(5000, 'b'));
  EXPECT_EQ(SignedCopyProblem(Assembled("solid-signed.exe"), SetupWrites("solid-signed.exe")), "");
  EXPECT_EQ(RunMksetup({"inspect", Path("solid-signed.exe")}).code, 0);
  Project("compression = \"none\"\n");

  // Carried already (the vendor's, the setup unsigned): signed anew in its place.
  std::string sign = "cd '" + Dir() + "' && osslsigncode sign -pkcs12 c.pfx -readpass pw -h sha256 ";
  ASSERT_EQ(system((sign + "-in ridkit.exe -out vendor.exe >/dev/null").c_str()), 0);
  ASSERT_EQ(Build("v.exe", {"--uninstaller", Path("vendor.exe")}).code, 0);
  ReadBack vendor;
  ReadPackage(Path("v.exe"), vendor);
  r = RunMksetup({"sign", Path("v.exe"), "--sign", Path("c.pfx"), "--sign-password-file", Path("pw"), "-o",
                  Path("vs.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack resigned;
  ReadPackage(Path("vs.exe"), resigned);
  EXPECT_EQ(resigned.settings.UninstallerRegion.Offset, vendor.settings.UninstallerRegion.Offset);
  EXPECT_EQ(SignedCopyProblem(ReadFile(Path("ridkit.exe")), SetupWrites("vs.exe")), "");
  EXPECT_EQ(resigned.table.find(SETTING_UNINSTALLER_REGION), resigned.table.rfind(SETTING_UNINSTALLER_REGION));
  EXPECT_EQ(RunMksetup({"inspect", Path("vs.exe")}).code, 0);

  // A setup program that does not say it writes a carried uninstaller.
  Write("stub.exe", StubPe(true));
  ASSERT_EQ(Build("old.exe").code, 0);
  r = RunMksetup({"sign", Path("old.exe"), "--sign", Path("c.pfx"), "--sign-password-file", Path("pw"), "-o",
                  Path("old-signed.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("warning: " + Path("old.exe") + ": cannot carry a signed uninstaller"), std::string::npos)
      << r.output;
  ReadBack old;
  ReadPackage(Path("old-signed.exe"), old);
  EXPECT_FALSE(old.settings.Extended);
  EXPECT_TRUE(Verifies("old-signed.exe"));
  r = Build("old-build.exe", Signing());
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("the stub cannot carry a signed uninstaller"), std::string::npos) << r.output;
}

}  // namespace
