// Snapshots of what a program left on the machine, for tests that compare a
// before and an after: a folder tree with every file's bytes, a registry key
// tree with every value, and what a shortcut file points to.
#pragma once
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/fileutil.h"

// A folder tree: paths relative to its root, folders with a trailing
// backslash and no content, files with their bytes. Empty when the root is
// missing.
struct FolderSnapshot {
  std::map<std::string, std::string> entries;
  bool exists = false;
};
FolderSnapshot SnapshotFolder(const std::string& root);

// A registry key tree below a root key: key paths relative to the key ("" is
// the key itself), each with its values by name ("" the default value), as
// type and raw bytes.
struct RegValue {
  DWORD type;
  std::string data;
  bool operator==(const RegValue& o) const { return type == o.type && data == o.data; }
};
struct RegSnapshot {
  std::map<std::string, std::map<std::string, RegValue>> keys;
  bool exists = false;
};
RegSnapshot SnapshotKey(HKEY root, const std::string& subKey);

// What changed between two snapshots, one line per path: "+ path" added,
// "- path" removed, "~ path" changed (for keys: "~ key|value"). Sorted.
std::vector<std::string> Diff(const FolderSnapshot& before, const FolderSnapshot& after);
std::vector<std::string> Diff(const RegSnapshot& before, const RegSnapshot& after);

// A REG_SZ value as a string (the terminator dropped); "" for any other.
std::string SzValue(const RegSnapshot& s, const std::string& key, const std::string& name = "");

// Removes a folder with everything below it (read-only files too); true when
// it is gone.
bool RemoveTree(const std::string& path);
// Deletes a registry key with all its subkeys.
void RemoveKeyTree(HKEY root, const std::string& subKey);
// A folder a Windows call names (GetWindowsDirectoryA, GetSystemDirectoryA).
std::string FolderFrom(UINT(WINAPI* get)(LPSTR, UINT));
// The names directly in a folder (no bytes, no walk): enough to see a file
// dropped into the Windows or system folder without reading all of them.
std::set<std::string> Names(const std::string& folder);
// The lines of a file of marks (a test program appends one line a run, each
// ended by CR LF), once at least n are there or 15 s have passed.
std::multiset<std::string> MarkLines(const std::string& path, size_t n);
// Sets a REG_SZ value, making the key as needed.
void SetValue(HKEY root, const std::string& key, const std::string& name, const std::string& text);

// Target and working folder of a shortcut file (COM must be initialised).
struct ShortcutInfo {
  bool loaded = false;
  std::string target;
  std::string workingDir;
};
ShortcutInfo ReadShortcut(const std::string& linkPath);

