// File helpers the tests share, on the host and under Wine.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#else
#include <sys/stat.h>
#endif

// The file's bytes; "" when it is absent.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Replaces the file's content (a read-only file too, on Windows); false when
// it cannot be written.
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return static_cast<bool>(f);
}

inline bool FileExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0;
#endif
}

#ifdef _WIN32
// The folder of the running test program, with its trailing backslash.
inline std::string Here() {
  char path[MAX_PATH + 1] = {0};
  GetModuleFileNameA(0, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.rfind('\\') + 1);
}

// A special folder of the shell, with a trailing backslash.
inline std::string SpecialFolder(int csidl) {
  char path[MAX_PATH + 1] = {0};
  SHGetSpecialFolderPathA(0, path, csidl, FALSE);
  std::string p = path;
  if (p.empty() || p.back() != '\\') p += '\\';
  return p;
}
#endif
