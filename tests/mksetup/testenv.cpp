#include "testenv.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "codepage.h"
#include "common/container.h"
#include "common/fieldtable.h"
#include "common/packagefile.h"
#include "common/x86filter.h"
#include "framework/memory.h"
#include "lzmapack.h"
#include "pe.h"

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

std::string TestExecutable(bool withUninstaller, const char* lastName) {
  // A 32-bit executable of three sections: .text, .rsrc and a last one, the
  // base relocations unless lastName says else.
  std::string b(0x800, '\0');
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, 0x80);
  b.replace(0x80, 8, std::string("PE\0\0\x4c\x01\x03\0", 8));  // i386, 3 sections
  Put16(b, 0x80 + 20, 0xE0);                                   // optional header size
  size_t opt = 0x98;
  Put16(b, opt, 0x10B);                                   // PE32
  Put32(b, opt + 32, 0x1000), Put32(b, opt + 36, 0x200);  // alignments
  Put32(b, opt + 56, 0x4000), Put32(b, opt + 60, 0x200);  // image, headers
  Put32(b, opt + 92, 16);
  Put32(b, opt + 96 + 2 * 8, 0x2000), Put32(b, opt + 96 + 2 * 8 + 4, 0x68);
  if (!strcmp(lastName, ".reloc")) Put32(b, opt + 96 + 5 * 8, 0x3000), Put32(b, opt + 96 + 5 * 8 + 4, 12);
  const char* names[3] = {".text", ".rsrc", lastName};
  for (int i = 0; i < 3; i++) {
    size_t at = opt + 0xE0 + i * 40;
    b.replace(at, strlen(names[i]), names[i]);
    Put32(b, at + 8, 0x200), Put32(b, at + 12, 0x1000 * (i + 1));
    Put32(b, at + 16, 0x200), Put32(b, at + 20, 0x200 * (i + 1));
  }
  // With a near call, which the x86 branch filter changes.
  const char text[] = "stand-in for the setup program\n";
  b.replace(0x200, sizeof text - 1, text);
  // Resources: type "EXE" (or "BIN"), id 138, one language, 4 bytes.
  size_t r = 0x400;
  Put16(b, r + 12, 1);
  Put32(b, r + 16, 0x80000058);
  Put32(b, r + 20, 0x80000018);
  Put16(b, r + 0x18 + 14, 1);
  Put32(b, r + 0x18 + 16, 138);
  Put32(b, r + 0x18 + 20, 0x80000030);
  Put16(b, r + 0x30 + 14, 1);
  Put32(b, r + 0x30 + 16, 0x804);
  Put32(b, r + 0x30 + 20, 0x48);
  Put32(b, r + 0x48, 0x2060);
  Put32(b, r + 0x48 + 4, 4);
  Put16(b, r + 0x58, 3);
  b.replace(r + 0x5A, 6, withUninstaller ? std::string("E\0X\0E\0", 6) : std::string("B\0I\0N\0", 6));
  b.replace(r + 0x60, 4, "RID!");
  b.replace(0x600, 12, std::string("\x00\x10\x00\x00\x0c\x00\x00\x00\x18\x30\x19\x30", 12));  // one relocation block
  return b;
}

std::string StubPe(bool withUninstaller) { return TestExecutable(withUninstaller, ".reloc"); }

std::string Gbk(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(Utf8ToCp936(utf8, out, nullptr)) << utf8;
  return out;
}

std::string UninstallerProgram() { return TestExecutable(false, ".reloc"); }

std::string StubBytes(const char* capabilities) {
  // The setup's capability resource, so that packed files may be appended,
  // and a small program as the uninstaller, packed as the build packs it
  // (the 13-byte header: property bytes and the unpacked size).
  std::string b = StubPe(true);
  PeImage image;
  ResTree tree;
  std::string error;
  if (!ParsePe(b, image, error) || !ReadResources(b, image, tree, error)) return b;
  ResKey name;
  name.named = true;
  name.name = u"" CAPABILITY_RESOURCE_NAME;
  tree[ResId(10)][name][ResId(0x804)].bytes = capabilities ? capabilities : CAPABILITY_TEXT;
  // Through the x86 branch filter first when the stub says so, as the build does.
  std::string program = UninstallerProgram(), filtered = program;
  const std::string words = " " + tree[ResId(10)][name][ResId(0x804)].bytes + " ";
  if (words.find(" " PROGRAM_X86_WORD " ") != std::string::npos)
    CX86Filter().Encode(reinterpret_cast<unsigned char*>(&filtered[0]), filtered.size(), 0);
  std::string packed = PackBytes(filtered), size;
  for (int i = 0; i < 8; i++) size += static_cast<char>((program.size() >> (8 * i)) & 0xFF);
  ResKey exe;
  exe.named = true;
  exe.name = u"EXE";
  tree[exe][ResId(138)][ResId(0x804)].bytes = packed.substr(0, LZMA_PROPS_BYTES) + size + packed.substr(LZMA_PROPS_BYTES);
  std::string out = b;
  return WriteResources(out, tree, error) ? out : b;
}

std::string FileBytes(const std::string& setup, const FileEntry& e, const CBlockTable* blocks) {
  std::string out = setup + ".row";
  CPackageFile f;
  f.UseBlocks(blocks);
  if (!f.Open(setup.c_str()) || f.Extract(e, out.c_str()) != kExtractDone) return "(not extracted)";
  std::string bytes = ReadFile(out);
  remove(out.c_str());
  return bytes;
}

RunResult RunMksetup(const std::vector<std::string>& args) { return RunProgram(MKSETUP_EXE, args); }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string cmd = "'" + program + "'";
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
  out.opened = out.settings.Open(path.c_str());
  if (!out.settings.IndexRead) return;
  out.len = out.settings.Index.Length;
  out.seek = out.settings.Index.Offset;
  CFieldTable table;
  out.settings.ReadIndex(table);
  out.table.assign(table.text.c_str(), static_cast<size_t>(table.text.GetLength()));
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

std::string HandMade(const std::vector<std::string>& fields, const std::string& data, bool sealed,
                     const std::string& more) {
  CFieldTable t;
  t.columnCount = 8;
  for (const std::string& f : fields) t.AddField(f.c_str());
  int len = 0;
  char* text = t.ExportText(len);
  std::string index = std::string(text, static_cast<size_t>(len)) + more;
  FreeBuffer(text);
  len = static_cast<int>(index.size());
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&index[0]), len, TABLE_KEY);
  std::string stub = StubBytes();
  std::string out = stub + data + index;
  char trailer[128];
  out.append(trailer, static_cast<size_t>(FormatTrailer(trailer, sizeof trailer, len,
                                                        static_cast<long>(stub.size() + data.size()))));
  if (sealed)
    out.append(trailer, static_cast<size_t>(FormatSeal(trailer, sizeof trailer, static_cast<long>(stub.size()),
                                                       Crc32Update(0, data.data(), data.size()),
                                                       Crc32Update(0, index.data(), index.size()))));
  return out;
}

std::vector<std::string> HandFields(const std::vector<HandRow>& rows, bool sealed, std::string& data,
                                    const std::vector<std::pair<std::string, std::string>>& settings) {
  std::vector<std::string> f(kIndexHeaderFields);
  f[kIdxProductName] = "App";
  if (sealed) f[kIdxExtension] = PACKAGE_TAG;
  data.clear();
  size_t at = StubBytes().size();
  for (const HandRow& r : rows) {
    char ext[64] = "";
    if (sealed)
      FormatRowExtension(ext, sizeof ext, kMethodStored, r.data.size(),
                         Crc32Update(0, r.data.data(), r.data.size()) ^ (r.badCrc ? 1 : 0));
    std::vector<std::string> row = {r.name, r.folder, r.subdir, "0", "ALWAYS_COPY", std::to_string(r.data.size()),
                                    std::to_string(at + data.size()), ext};
    f.insert(f.end(), row.begin(), row.end());
    data += r.data;
  }
  f.push_back("");
  for (const auto& [key, value] : settings) f.insert(f.end(), {key, value});
  return f;
}
