#include "setupfile.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "common/container.h"
#include "common/fieldtable.h"
#include "framework/memory.h"
#include "robot.h"
#include "tests/fileutil.h"

std::string WrenTmp() { return TempFolder() + "wren.tmp"; }

void RemoveWrenTmp() {
  SetFileAttributesA(WrenTmp().c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(WrenTmp().c_str());
}

// A scrambled index holding these fields, rows of 8 as the builder writes them.
std::string ScrambledIndex(const std::vector<std::string>& fields) {
  CFieldTable t;
  t.columnCount = 8;
  for (const std::string& f : fields) t.AddField(f.c_str());
  int len = 0;
  char* text = t.ExportText(len);
  std::string bytes(text, static_cast<size_t>(len));
  FreeBuffer(text);
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&bytes[0]), len, TABLE_KEY);
  return bytes;
}

// A complete, well-formed index: 64 header fields and the given file names.
std::vector<std::string> IndexFields(const std::string& product, const std::vector<std::string>& files) {
  std::vector<std::string> f(64);
  f[0] = "第一行";
  f[40] = product;
  f[52] = "INSTALL_FOLDER\\app.exe";
  f[53] = "abc";
  for (const std::string& name : files) {
    std::vector<std::string> row = {name, "INSTALL_FOLDER", "", "0", "ALWAYS_COPY", "0", "0", ""};
    f.insert(f.end(), row.begin(), row.end());
  }
  f.push_back("");
  return f;
}

std::string Trailer(long len, long seek) {
  char t[64];
  FormatTrailer(t, sizeof t, len, seek);
  return t;
}

std::string Stub() {
  static std::string stub = ReadBytes(WinePath(SETUP_EXE));
  return stub;
}

// The stub, some payload, the index and its trailer.
std::string SetupFile(const std::string& index) {
  std::string s = Stub() + std::string(100, 'P');
  long seek = static_cast<long>(s.size());
  return s + index + Trailer(static_cast<long>(index.size()), seek);
}


std::string CaseFile(const std::string& name) {
  char dir[MAX_PATH + 1] = {0};
  GetCurrentDirectoryA(MAX_PATH, dir);
  return std::string(dir) + "\\" + name + ".exe";
}
