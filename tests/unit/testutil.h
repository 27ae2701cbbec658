// Small helpers for tests that run both on the Linux host and under Wine.
#pragma once
#include <stdio.h>

#include <string>
#include <vector>

// A fresh folder for one test, removed with its files afterwards. Paths are
// formed with the platform's separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const;  // a file inside the folder
  const std::string& Dir() const { return dir_; }   // ends with a separator

 private:
  std::string dir_;
};

bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // "" when absent
bool FileExists(const std::string& path);
void MakeReadOnly(const std::string& path);
