#include "snapshot.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "robot.h"

namespace {

void Walk(const std::string& root, const std::string& rel, FolderSnapshot& s) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = rel + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      s.entries[path + "\\"] = "";
      Walk(root, path + "\\", s);
    } else {
      s.entries[path] = ReadBytes(root + path);
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

std::string WithBackslash(std::string p) {
  if (p.empty() || p.back() != '\\') p += '\\';
  return p;
}

void ReadKey(HKEY key, const std::string& rel, RegSnapshot& s) {
  std::map<std::string, RegValue>& values = s.keys[rel];
  for (DWORD i = 0;; i++) {
    char name[16384];
    DWORD nameLen = sizeof name;
    DWORD type = 0, size = 0;
    if (RegEnumValueA(key, i, name, &nameLen, 0, &type, 0, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLen = sizeof name;
    DWORD got = size;
    RegEnumValueA(key, i, name, &nameLen, 0, &type, reinterpret_cast<BYTE*>(&data[0]), &got);
    data.resize(got);
    values[std::string(name, nameLen)] = RegValue{type, data};
  }
  for (DWORD i = 0;; i++) {
    char name[256];
    if (RegEnumKeyA(key, i, name, sizeof name) != ERROR_SUCCESS) break;
    HKEY sub = 0;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    ReadKey(sub, rel.empty() ? name : rel + "\\" + name, s);
    RegCloseKey(sub);
  }
}

template <class Map, class Same>
std::vector<std::string> DiffMaps(const Map& a, const Map& b, Same same) {
  std::vector<std::string> out;
  for (const auto& e : a) {
    auto it = b.find(e.first);
    if (it == b.end()) out.push_back("- " + e.first);
    else same(e.first, e.second, it->second, out);
  }
  for (const auto& e : b)
    if (!a.count(e.first)) out.push_back("+ " + e.first);
  return out;
}

}  // namespace

FolderSnapshot SnapshotFolder(const std::string& root) {
  FolderSnapshot s;
  DWORD a = GetFileAttributesA(root.c_str());
  s.exists = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  if (s.exists) Walk(WithBackslash(root), "", s);
  return s;
}

RegSnapshot SnapshotKey(HKEY root, const std::string& subKey) {
  RegSnapshot s;
  HKEY key = 0;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return s;
  s.exists = true;
  ReadKey(key, "", s);
  RegCloseKey(key);
  return s;
}

std::vector<std::string> Diff(const FolderSnapshot& before, const FolderSnapshot& after) {
  std::vector<std::string> out =
      DiffMaps(before.entries, after.entries,
               [](const std::string& k, const std::string& x, const std::string& y, std::vector<std::string>& o) {
                 if (x != y) o.push_back("~ " + k);
               });
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Diff(const RegSnapshot& before, const RegSnapshot& after) {
  typedef std::map<std::string, RegValue> Values;
  std::vector<std::string> out = DiffMaps(
      before.keys, after.keys, [](const std::string& k, const Values& x, const Values& y, std::vector<std::string>& o) {
        std::vector<std::string> inner =
            DiffMaps(x, y, [&](const std::string& n, const RegValue& a, const RegValue& b, std::vector<std::string>& o2) {
              if (!(a == b)) o2.push_back("~ " + n);
            });
        for (const std::string& line : inner) o.push_back(line.substr(0, 2) + k + "|" + line.substr(2));
      });
  std::sort(out.begin(), out.end());
  return out;
}

std::string SzValue(const RegSnapshot& s, const std::string& key, const std::string& name) {
  auto k = s.keys.find(key);
  if (k == s.keys.end()) return "";
  auto v = k->second.find(name);
  if (v == k->second.end() || v->second.type != REG_SZ) return "";
  std::string d = v->second.data;
  while (!d.empty() && d.back() == '\0') d.pop_back();
  return d;
}

bool RemoveTree(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return true;
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != 0;
  }
  std::string dir = WithBackslash(path);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name != "." && name != "..") RemoveTree(dir + name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(path.c_str()) != 0;
}

void RemoveKeyTree(HKEY root, const std::string& subKey) {
  HKEY key = 0;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (;;) {
    char name[256];
    if (RegEnumKeyA(key, 0, name, sizeof name) != ERROR_SUCCESS) break;
    RemoveKeyTree(key, name);
    // A subkey that cannot be removed would loop forever.
    HKEY probe = 0;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
      RegCloseKey(probe);
      break;
    }
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, subKey.c_str());
}

std::string FolderFrom(UINT(WINAPI* get)(LPSTR, UINT)) {
  char path[MAX_PATH + 1] = {0};
  get(path, MAX_PATH);
  return path;
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.insert(fd.cFileName);
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

std::multiset<std::string> MarkLines(const std::string& path, size_t n) {
  std::multiset<std::string> lines;
  WaitFor(
      [&] {
        lines.clear();
        std::string all = ReadBytes(path);
        size_t pos = 0;
        for (size_t end; (end = all.find("\r\n", pos)) != std::string::npos; pos = end + 2)
          lines.insert(all.substr(pos, end - pos));
        return lines.size() >= n;
      },
      15000);
  return lines;
}

void SetValue(HKEY root, const std::string& key, const std::string& name, const std::string& text) {
  HKEY k;
  if (RegCreateKeyExA(root, key.c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &k, 0) != ERROR_SUCCESS) return;
  RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(k);
}

ShortcutInfo ReadShortcut(const std::string& linkPath) {
  ShortcutInfo info;
  IShellLinkA* link = 0;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return info;
  IPersistFile* file = 0;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
      char buf[MAX_PATH + 1] = {0};
      info.loaded = true;
      if (SUCCEEDED(link->GetPath(buf, MAX_PATH, 0, SLGP_RAWPATH))) info.target = buf;
      buf[0] = 0;
      if (SUCCEEDED(link->GetWorkingDirectory(buf, MAX_PATH))) info.workingDir = buf;
    }
    file->Release();
  }
  link->Release();
  return info;
}
