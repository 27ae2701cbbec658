// What the builder's tests share: a scratch folder, small valid pictures and
// icons, running the mksetup program, and reading a built package back through
// the setup's own format code.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/package.h"

std::string ReadFile(const std::string& path);  // "" when absent
std::string SmallJpeg();                        // signature, a frame header, end marker
std::string SmallIcon();                        // one 4-byte image
// A setup program stand-in: a Windows program carrying a resource EXE 138
// (or, without the uninstaller, the same bytes under another type), then some
// bytes, none of them "&"; StubBytes with the capability resource and a real
// packed uninstaller program.
// The stand-in says what it reads as a setup built with this mksetup does,
// unless another capability text is given (a stub of an earlier release names
// fewer words).
std::string StubBytes(const char* capabilities = 0);
// UTF-8 text in code page 936, as the package holds it.
std::string Gbk(const std::string& utf8);
// The uninstaller program StubBytes carries (resource EXE 138, packed).
std::string UninstallerProgram();
std::string StubPe(bool withUninstaller);
// A small 32-bit executable (.text, .rsrc with resource EXE 138 or BIN 138,
// and a last section, the base relocations unless lastName says else).
std::string TestExecutable(bool withUninstaller, const char* lastName = ".reloc");

struct RunResult {
  int code = -1;
  std::string output;  // stdout and stderr together
};
// Runs the built mksetup with these arguments (each quoted for the shell).
RunResult RunMksetup(const std::vector<std::string>& args);
// Runs another program found on the PATH, the same way.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// A package read back the way the setup reads it.
struct ReadBack {
  bool ok = false;
  PackageOpenResult opened = kPackageNoTrailer;
  long long len = 0, seek = 0;
  std::string table;  // the unscrambled index text
  CPackage settings;
};
void ReadPackage(const std::string& path, ReadBack& out);
// A file row's bytes as the setup writes them out (through its method, its
// checksum checked); "(not extracted)" when that fails.
std::string FileBytes(const std::string& setup, const FileEntry& e, const CBlockTable* blocks = nullptr);

// A setup file made by hand: the stub, data, the given index fields (8 to a
// row, as the builder writes them) scrambled, and the trailer; sealed adds
// the extension's seal (the payload from the end of the stub to the index);
// more is index text put after the fields.
std::string HandMade(const std::vector<std::string>& fields, const std::string& data = "DATA", bool sealed = false,
                     const std::string& more = "");
// A file row of such a package: its name, sub-folder, folder keyword and
// bytes (stored; with the extension its checksum, wrong when badCrc).
struct HandRow {
  std::string name, subdir, data;
  std::string folder = "INSTALL_FOLDER";
  bool badCrc = false;
};
// The index fields of a package of these rows (product "App"; with sealed
// the tag and the rows' extensions), their bytes in data, then the settings
// (key, value) after the list's empty name; for HandMade.
std::vector<std::string> HandFields(const std::vector<HandRow>& rows, bool sealed, std::string& data,
                                    const std::vector<std::pair<std::string, std::string>>& settings = {});

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }
  // Writes a file below the scratch folder, making its folders.
  void Write(const std::string& rel, const std::string& bytes) const;
  // Every file below the scratch folder (relative paths), hidden ones too.
  std::set<std::string> Files() const;
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
};
