#include "hostfs.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

std::string SelfFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return self.parent_path().string();
}

std::vector<std::string> StubPlaces() {
  std::string self = SelfFolder();
  if (self.empty()) return {"setup.exe"};
  fs::path dir(self);
  return {(dir / "setup.exe").string(), (dir / ".." / "lib" / "mksetup" / "setup.exe").lexically_normal().string()};
}

std::string StubPlacesText() {
  std::string text;
  for (const std::string& place : StubPlaces()) text += (text.empty() ? "" : ", ") + place;
  return text;
}

std::string FindStub() {
  for (const std::string& place : StubPlaces()) {
    struct stat st;
    if (stat(place.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return place;
  }
  return "";
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  FILE* f = fopen(path.c_str(), "wb");
  bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (!ok) error = strerror(errno);
  if (f && fclose(f) != 0 && ok) {
    error = strerror(errno);
    ok = false;
  }
  return ok;
}
