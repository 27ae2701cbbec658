// The three base folders of an installation and the one rule that turns a
// file row's folder kind, or a folder-token reference, into a path below
// them. The copy run writes files where this rule says, setup.log lists them
// by the same rule, and the uninstaller deletes what the log lists.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"
#include "packageindex.h"

struct CInstallFolders {
  CInstallFolders() {}
  CInstallFolders(const char* windowsDir, const char* systemDir, const char* installDir)
      : WindowsDir(windowsDir), SystemDir(systemDir), InstallDir(installDir) {}

  CString WindowsDir;
  CString SystemDir;
  CString InstallDir;

  // WindowsDir for FOLDER_WINDOWS, SystemDir for FOLDER_SYSTEM, InstallDir for
  // any other kind.
  const CString& Base(int kind) const;
  // The base folder of the kind, a backslash if missing, subDir, a backslash
  // if missing, name. False (and path empty) when the text could not be
  // formed (out of memory).
  bool Resolve(int kind, const char* subDir, const char* name, CString& path) const;
  // The installed path of a file row.
  bool Resolve(const FileEntry& e, CString& path) const { return Resolve(e.Folder, e.SubDir, e.Name, path); }
  // The path a folder-token reference stands for: the text before its first
  // backslash picks the Windows folder, the system folder or (anything else)
  // the installation folder; the rest follows below it.
  CString ResolveRef(const char* ref) const;
  // An icon reference of the association list, "<reference>,<index>", as
  // the registry's DefaultIcon holds it: the path, a comma, the index. A
  // text without an index (or one that is no number) is a reference whole,
  // with index 0.
  CString ResolveIconRef(const char* icon) const;
};
