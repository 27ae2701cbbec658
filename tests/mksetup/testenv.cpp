#include "testenv.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/container.h"
#include "common/fieldtable.h"
#include "framework/memory.h"

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string SmallJpeg() {
  std::string j("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
  // Baseline frame header: 8-bit, 250 high, 115 wide, 1 component.
  j += std::string("\xFF\xC0\x00\x0B\x08\x00\xFA\x00\x73\x01\x01\x11\x00", 13);
  j += std::string("\xFF\xD9", 2);
  return j;
}

std::string SmallIcon() {
  std::string ico("\x00\x00\x01\x00\x01\x00", 6);
  // 16 x 16, 4 bytes of image at offset 22.
  ico += std::string("\x10\x10\x00\x00\x01\x00\x20\x00\x04\x00\x00\x00\x16\x00\x00\x00", 16);
  ico += "IMG!";
  return ico;
}

namespace {
void Put16(std::string& s, size_t at, unsigned v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, unsigned long v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, (v >> 16) & 0xFFFF);
}
}  // namespace

std::string StubPe(bool withUninstaller) {
  std::string s(0x200, '\0');
  s[0] = 'M', s[1] = 'Z';
  Put32(s, 0x3C, 0x40);
  s.replace(0x40, 4, std::string("PE\0\0", 4));
  Put16(s, 0x44, 0x14C);  // i386
  Put16(s, 0x46, 1);      // one section
  Put16(s, 0x54, 0xE0);   // optional header size
  Put16(s, 0x58, 0x10B);  // PE32
  Put32(s, 0x58 + 92, 16);
  Put32(s, 0x58 + 112, 0x1000);  // resources: RVA and size
  Put32(s, 0x58 + 116, 0x68);
  s.replace(0x138, 5, ".rsrc");
  Put32(s, 0x138 + 8, 0x68);
  Put32(s, 0x138 + 12, 0x1000);
  Put32(s, 0x138 + 16, 0x68);
  Put32(s, 0x138 + 20, 0x200);
  // Resources: type "EXE" (or "BIN"), id 138, one language, 4 bytes.
  std::string r(0x68, '\0');
  Put16(r, 12, 1);
  Put32(r, 16, 0x80000058);
  Put32(r, 20, 0x80000018);
  Put16(r, 0x18 + 14, 1);
  Put32(r, 0x18 + 16, 138);
  Put32(r, 0x18 + 20, 0x80000030);
  Put16(r, 0x30 + 14, 1);
  Put32(r, 0x30 + 16, 0x804);
  Put32(r, 0x30 + 20, 0x48);
  Put32(r, 0x48, 0x1060);
  Put32(r, 0x48 + 4, 4);
  Put16(r, 0x58, 3);
  r.replace(0x5A, 6, withUninstaller ? std::string("E\0X\0E\0", 6) : std::string("B\0I\0N\0", 6));
  r.replace(0x60, 4, "RID!");
  s += r;
  return s;
}

std::string StubBytes() {
  std::string s = StubPe(true) + "stand-in for the setup program\n";
  for (int i = 0; i < 300; i++) s += static_cast<char>(i % 32 == 6 ? 'x' : 'A' + i % 26);
  return s;
}

RunResult RunMksetup(const std::vector<std::string>& args) {
  std::string cmd = "'" MKSETUP_EXE "'";
  for (const std::string& a : args) {
    std::string q = "'";
    for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += " " + q + "'";
  }
  cmd += " 2>&1";
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void ReadPackage(const std::string& path, ReadBack& out) {
  out.ok = false;
  if (!ReadTrailer(path.c_str(), out.len, out.seek)) return;
  long n = out.len;
  char* bytes = ReadRegion(path.c_str(), n, out.seek);
  if (!bytes) return;
  CFieldTable table;
  table.LoadBytes(bytes, static_cast<int>(n), TABLE_KEY);
  FreeBuffer(bytes);
  out.table.assign(table.text.c_str(), static_cast<size_t>(table.text.GetLength()));
  ParsePackageIndex(table, out.settings);
  out.ok = true;
}

void ScratchTest::SetUp() {
  std::string tmpl = (fs::temp_directory_path() / "mksetup_test_XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  ASSERT_NE(mkdtemp(buf.data()), nullptr);
  dir_ = buf.data();
}

void ScratchTest::TearDown() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void ScratchTest::Write(const std::string& rel, const std::string& bytes) const {
  fs::path p = fs::path(dir_) / rel;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> ScratchTest::Files() const {
  std::set<std::string> out;
  for (auto& e : fs::recursive_directory_iterator(dir_))
    if (!e.is_directory()) out.insert(fs::relative(e.path(), dir_).generic_string());
  return out;
}
