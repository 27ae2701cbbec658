// Real products: the whole licence, more file types and registry entries,
// packages past 2 GiB. Built, read back through the setup's own code,
// inspected and extracted; a stub that does not say it reads them is
// refused; a project without them builds as before. Building, installing and
// removing gigabytes is the benchmark's (bench/big_package).
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "codepage.h"
#include "common/fieldtable.h"
#include "common/packagefile.h"
#include "plan.h"
#include "testenv.h"

namespace fs = std::filesystem;

namespace {

class ProductsTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Write("stub.exe", StubBytes());
    Write("old-stub.exe", StubBytes(PACKAGE_TAG " lzma crc32"));
    Write("app.exe", "MZ app");
    // A licence of many pages whose 255th byte is the first half of a
    // Chinese character: the header's field ends before it.
    licence_ = std::string(254, 'a') + "许可";
    for (int i = 0; i < 600; i++) licence_ += "\n第 " + std::to_string(i) + " 条 GNU LESSER GENERAL PUBLIC LICENSE";
    Write("licence.txt", licence_);
  }
  // A project with the whole licence, three associations (one of them with
  // the type's name, one with an icon) and five keys and three values.
  std::string Project(const char* compression = "lzma") const {
    return std::string("compression = \"") + compression +
           "\"\n[product]\nname = \"Suite\"\n[licence]\nfile = \"licence.txt\"\n"
           "[[association]]\nextension = \"rtf\"\nprogram = \"app.exe\"\n"
           "[[association]]\nextension = \".wri\"\nprogram = \"app.exe\"\ndescription = \"写字板文档\"\n"
           "[[association]]\nextension = \"drawio\"\nprogram = { folder = \"windows\", path = \"notepad.exe\" }\n"
           "icon = \"app.exe\"\nicon_index = -101\n"
           "[uninstall]\nregistry_keys = [\"HKEY_CURRENT_USER|Software\\\\K1\", \"HKEY_CURRENT_USER|Software\\\\K2\", "
           "\"HKEY_CURRENT_USER|Software\\\\K3\", \"HKEY_CURRENT_USER|Software\\\\K4\", \"HKEY_USERS|K\\\\5\"]\n"
           "registry_values = [\"HKEY_CURRENT_USER|S|v1\", \"HKEY_CURRENT_USER|S|v2\", \"HKEY_CURRENT_USER|S|v3\"]\n"
           "[[file]]\nsource = \"app.exe\"\n";
  }
  RunResult Build(const std::string& stub = "stub.exe") {
    return RunMksetup({"build", Path("p.toml"), "--stub", Path(stub), "-o", Path("s.exe")});
  }
  std::string licence_;
};

TEST_F(ProductsTest, WholeLicenceAndListsReadBackAsTheSetupReadsThem) {
  std::string text = licence_;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
  for (const char* compression : {"lzma", "none"}) {
    SCOPED_TRACE(compression);
    Write("p.toml", Project(compression));
    RunResult r = Build();
    ASSERT_EQ(r.code, 0) << r.output;
    ReadBack rb;
    ReadPackage(Path("s.exe"), rb);
    ASSERT_EQ(rb.opened, kPackageOpened);
    const CPackage& s = rb.settings;
    EXPECT_EQ(std::string(s.Licence), Gbk(text));
    EXPECT_EQ(s.LicenceRegion.Method, strcmp(compression, "lzma") == 0 ? kMethodLzma : kMethodStored);
    // The header's field holds the first part, cut between two characters.
    EXPECT_EQ(std::string(s.PageText[1][2]), std::string(254, 'a'));
    // Every association in the list, none in the header's records.
    EXPECT_STREQ(s.TypeAssoc[0].Extension, "");
    ASSERT_EQ(s.AssociationCount, 3);
    EXPECT_STREQ(s.Associations[0].Extension, "rtf");
    EXPECT_STREQ(s.Associations[0].Program, "INSTALL_FOLDER\\app.exe");
    EXPECT_EQ(std::string(s.Associations[1].Description), Gbk("写字板文档"));
    EXPECT_STREQ(s.Associations[1].Extension, "wri");
    EXPECT_STREQ(s.Associations[2].Program, "WINDOWS_FOLDER\\notepad.exe");
    EXPECT_STREQ(s.Associations[2].Icon, "INSTALL_FOLDER\\app.exe,-101");
    EXPECT_STREQ(s.RegKeys[1], "HKEY_CURRENT_USER|Software\\K2");
    EXPECT_STREQ(s.RegKeys[4], "HKEY_USERS|K\\5");
    EXPECT_STREQ(s.RegValues[2], "HKEY_CURRENT_USER|S|v3");
    EXPECT_EQ(FileBytes(Path("s.exe"), s.FileList.Head->Entry, &s.Blocks), "MZ app");
    r = RunMksetup({"inspect", Path("s.exe")});
    EXPECT_EQ(r.code, 0) << r.output;
    for (const char* shown : {"\"licence.region\"", "\"association.3.icon\"", "\"uninstall.key.5\""})
      EXPECT_NE(r.output.find(shown), std::string::npos) << shown << "\n" << r.output;
  }

  // One byte of the licence changed: the setup refuses the package, inspect
  // fails it, extract writes nothing.
  std::string bytes = ReadFile(Path("s.exe"));
  ReadBack rb;
  ReadPackage(Path("s.exe"), rb);
  bytes[static_cast<size_t>(rb.settings.LicenceRegion.Offset) + 300] ^= 0x01;
  Write("bad.exe", bytes);
  ReadPackage(Path("bad.exe"), rb);
  EXPECT_EQ(rb.opened, kPackageDamaged);
  RunResult r = RunMksetup({"inspect", Path("bad.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("damaged: the licence"), std::string::npos) << r.output;
  r = RunMksetup({"extract", Path("bad.exe"), Path("x")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("nothing written"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("x/app.exe")));
}

// Each thing a package may need, asked of a stub that does not name it.
TEST_F(ProductsTest, StubThatCannotReadTheListsOrBigPackagesIsRefused) {
  Write("p.toml", Project("none"));
  RunResult r = Build("old-stub.exe");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("the stub cannot read a licence over 255 bytes"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("does not name lists"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("s.exe")));
  // Up to two plain associations and two of each registry entry need no list.
  Write("p.toml", "compression = \"none\"\n[product]\nname = \"P\"\n[licence]\ntext = \"short\"\n"
                  "[[association]]\nextension = \"rtf\"\nprogram = \"app.exe\"\n"
                  "[uninstall]\nregistry_keys = [\"HKEY_USERS|a\\\\b\", \"HKEY_USERS|c\\\\d\"]\n"
                  "[[file]]\nsource = \"app.exe\"\n");
  r = Build("old-stub.exe");
  EXPECT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("s.exe"), rb);
  EXPECT_FALSE(rb.settings.Extended);
  EXPECT_STREQ(rb.settings.TypeAssoc[0].Extension, "rtf");

  // Past 2 GiB (laid out only: a dry run reads nothing of the sparse file).
  int fd = open(Path("big.bin").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 2500LL << 20), 0);
  close(fd);
  Write("p.toml", "compression = \"none\"\n[product]\nname = \"P\"\n[[file]]\nsource = \"app.exe\"\n"
                  "[[file]]\nsource = \"big.bin\"\n[[file]]\nsource = \"app.exe\"\nname = \"last.exe\"\n");
  r = RunMksetup({"build", Path("p.toml"), "--stub", Path("old-stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("the stub cannot read packages past 2 GiB"), std::string::npos) << r.output;
  r = RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "--dry-run"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("    2621442054             6  file[3]"), std::string::npos) << r.output;
}

// The index of a package past 2 GiB as the builder composes it, and the
// setup's reader on it: a sparse file whose payload holds a gap of 2.2 GB,
// with rows past it. (Its payload's checksum is left out: checking 2 GiB is
// the benchmark's, with inspect and extract.)
TEST_F(ProductsTest, PastTwoGigabytesRowsAndTrailerIn64Bits) {
  std::string stub = StubBytes();
  Plan plan;
  plan.extended = true;
  plan.stubSize = static_cast<int64_t>(stub.size());
  plan.header.assign(kIndexHeaderFields, "");
  plan.header[kIdxProductName] = "Big";
  plan.header[kIdxExtension] = PACKAGE_TAG;
  struct Row {
    const char* name;
    int64_t offset;
    std::string data;
  } rows[] = {{"a.txt", plan.stubSize, "first"},
              {"z.txt", 2200000000LL, "past two gigabytes"},
              {"y.txt", 2200000018LL, "and one more"}};
  auto add = [&](const char* name, int64_t offset, int64_t length, uint32_t crc) {
    PlannedFile f;
    f.name = name;
    f.folder = FOLDER_INSTALL;
    f.copyMode = COPY_ALWAYS;
    f.method = kMethodStored;
    f.offset = offset;
    f.length = f.unpacked = length;
    f.crc = crc;
    plan.files.push_back(f);
  };
  for (const Row& r : rows)
    add(r.name, r.offset, static_cast<int64_t>(r.data.size()),
        static_cast<uint32_t>(Crc32Update(0, r.data.data(), r.data.size())));
  plan.indexOffset = 2200000030LL;
  ASSERT_EQ(ComposeIndex(plan, 0), "");
  EXPECT_NE(plan.trailer.find("&LEN:"), std::string::npos);
  EXPECT_NE(plan.trailer.find(",SEEK:2200000030.PKX1:"), std::string::npos) << plan.trailer;

  int fd = open(Path("big.exe").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  auto put = [&](int64_t at, const std::string& bytes) {
    EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
  };
  put(0, stub);
  for (const Row& r : rows) put(r.offset, r.data);
  put(plan.indexOffset, plan.index);
  put(plan.indexOffset + static_cast<int64_t>(plan.index.size()), plan.trailer);
  close(fd);

  ReadBack rb;
  ReadPackage(Path("big.exe"), rb);
  ASSERT_EQ(rb.opened, kPackageOpened);
  EXPECT_EQ(rb.seek, 2200000030LL);
  CFileList& list = rb.settings.FileList;
  ASSERT_EQ(list.Count, 3);
  ASSERT_TRUE(list.MoveTo(2));
  EXPECT_EQ(list.Current()->Offset, 2200000018LL);
  EXPECT_EQ(FileBytes(Path("big.exe"), *list.Current()), "and one more");
  // As stored: the 32-bit offset 0 where it does not fit, the region in the
  // row's extension.
  char ext[96];
  FormatRowExtension(ext, sizeof ext, kMethodStored, 12, plan.files[2].crc, 2200000018LL, 12);
  EXPECT_NE(rb.table.find(std::string("y.txt\x07INSTALL_FOLDER\x07\x07" "0\x07" "ALWAYS_COPY\x07" "12\x07" "0\x07") + ext +
                          "\x08\r\n"),
            std::string::npos);

  // A row longer than 2 GiB: length 0 in its 32-bit field, read back whole.
  plan.files.clear();
  add("huge.bin", plan.stubSize, 3000000000LL, 0x12345678);
  plan.indexOffset = plan.stubSize + 3000000000LL;
  ASSERT_EQ(ComposeIndex(plan, 0), "");
  CFieldTable t;
  t.LoadBytes(plan.index.data(), static_cast<int>(plan.index.size()), TABLE_KEY);
  PackageSettings back;
  ParsePackageIndex(t, back);
  EXPECT_FALSE(back.RowsDamaged);
  ASSERT_EQ(back.FileList.Count, 1);
  EXPECT_EQ(back.FileList.Head->Entry.Length, 3000000000LL);
  EXPECT_EQ(back.FileList.Head->Entry.Offset, plan.stubSize);
}

}  // namespace
