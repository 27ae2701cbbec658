// The removal run behind button 1 of the uninstall dialog, apart from its
// window: it reads setup.log, deletes the files (unregistering controls first),
// the file-type associations, the package's registry entries, the shortcuts
// and the program group, the uninstaller and the log, and lists what is left.
// It reports its progress and returns how it ended; the dialog owns what the
// user sees. The platform is reached through a small interface too, so the run
// works alike in the dialog and in tests.
#pragma once
#include "common/setuplog.h"
#include "common/pathlist.h"
#include "framework/cstring.h"
#include "framework/platform.h"
#include "uninstallsettings.h"

const int kRemovalProgressMax = 1000;
// Status lines show paths shortened to this many bytes.
const int kRemovalStatusPathMax = 35;
// Folders that the platform names as never to be removed whole (every known
// folder of the system, and the older special folders besides).
const int kProtectedFolderMax = 256;
// Folder walks go no deeper than this (a deeper tree is left as it is).
const int kFolderDepthMax = 64;

enum RemovalResult { kFolderRemoved, kFolderRefused, kFolderFailed };

// How a removal run ended.
enum RemovalOutcome {
  kRemovalFinished,    // nothing left: the installation folder went too
  kRemovalFilesLeft,  // files stay in the installation folder (each one reported)
  kRemovalStopped,     // a folder that could not be removed stopped the run
  kRemovalNoLog,      // setup.log could not be read: nothing was touched
  // Nothing left but files in use (and their folders), which go at the
  // next restart (each one reported).
  kRemovalAtRestart,
};

// What the run reports while it goes; the dialog shows it.
class IRemovalProgress {
 public:
  virtual void SetHeadline(const char* text) = 0;
  virtual void SetStatus(const char* text) = 0;
  virtual void SetProgress(int pos) = 0;           // 0..kRemovalProgressMax
  virtual void ShowMessage(const char* text) = 0;  // returns once the user has read it
  virtual void FileLeft(const char* path) = 0;     // a file that stays, in the order found
  // A file in use in the installation folder, removed at the next restart.
  virtual void FileAtRestart(const char* /*path*/) {}

 protected:
  ~IRemovalProgress() {}
};

// What a folder is, whatever it is called: two paths that lead to the same
// folder (through another drive letter, a share, a link) give equal identities.
struct FolderIdentity {
  DWORD Volume;
  DWORD IndexHigh;
  DWORD IndexLow;
};

// What the platform does for the run that tests must control or observe.
class IRemovalServices {
 public:
  virtual void Sleep(DWORD ms) = 0;
  virtual int UnregisterServer(const char* path) = 0;
  virtual void RemoveTypeAssociation(const char* ext) = 0;
  // Takes back a list association: its class's keys (typeClass, from
  // ListTypeClass) and ".ext" as the record of setup.log says.
  virtual void RemoveListType(const char* typeClass, const TypeRecord& record) = 0;
  virtual void DeleteKeyEntry(const char* reference) = 0;
  virtual void DeleteValueEntry(const char* reference) = 0;
  // Removes the product's entries in the list of installed programs that
  // name folder as their installation (and its uninstaller as theirs).
  virtual void RemoveProductEntries(const char* folder) = 0;
  // The Start menu's Programs folder, ending with a backslash; empty when the
  // platform cannot name it.
  virtual CString ProgramsFolder() = 0;
  // Folders that must never be removed whole, nor any folder that holds one
  // (the Windows and system folders, the Programs folder, the Start menu, the
  // desktop, the user profile, Program Files, ...); up to max of them into
  // folders. Returns how many.
  virtual int ProtectedFolders(CString* folders, int max) = 0;
  // The folder that holds the user profiles: every folder directly inside it
  // is a profile. Empty when unknown.
  virtual CString ProfilesFolder() = 0;
  // The full, absolute form of a path (relative parts resolved).
  virtual CString FullPath(const char* path) = 0;
  // The identity of the folder path leads to (links followed). False when
  // there is no such folder or it cannot be opened.
  virtual bool IdentifyFolder(const char* path, FolderIdentity& id) = 0;
  // Removes the file (or the folder, if it is empty by then) at the next
  // restart. False when refused.
  virtual bool DeleteAtRestart(const char* path) = 0;

 protected:
  ~IRemovalServices() {}
};

class CRemovalEngine {
 public:
  CRemovalEngine(UninstallSettings& settings, IRemovalProgress& progress, IRemovalServices& services);

  // The removal run, from "正在读取文件信息..." to its end.
  RemovalOutcome RunRemoval();
  // "全部删除": the installation folder with everything left in it, after the
  // guard; a message says why when it will not or could not.
  RemovalResult RemoveInstallFolder();
  // The installation folder: the folder of the log in use.
  CString InstallFolder();

  // Normal attributes for the folder, its content removed, then the folder
  // itself. False when something inside could not be removed (FailedPath
  // names it; the walk stopped there).
  bool RemoveFolderTree(const char* folder);
  bool RemoveFolderContent(const char* folder);
  // Reports every file below folder as left, in the order the search meets
  // them. Returns how many.
  int ListRemainingFiles(const char* folder);
  // True when folder may be removed with everything in it: not a drive root,
  // not relative, and neither one of the protected folders nor a folder that
  // holds one, nor a user profile. Folders are compared by what they are
  // (their identities) as well as by their names.
  bool MayRemoveWhole(const char* folder);
  // The one form of a folder that the guard checks and the walk walks: the
  // full path of the folder with a backslash at its end, so that "C:" is the
  // root of drive C for both, never the current folder of that drive.
  CString TargetOf(const char* folder);

  // The last path RemoveFolderContent could not remove.
  CString FailedPath;

  // "ocx" after the last ".", in any letter case.
  static bool IsOcxPath(const char* path);
  // The bar position for done of total bytes (0 when total is 0).
  static int ProgressOf(long long done, long long total);

 private:
  // Deletes a file the removal takes; one in use in the installation folder
  // goes at the next restart instead (reported, and then never a file left).
  void Delete(const char* path);
  // The installation folder (after the guard) and its empty folders now,
  // the folders that hold files going at the restart then.
  bool RemoveFolderAtRestart(const char* folder, int depth);
  bool RemoveContent(const char* folder, int depth);
  // The guard for a folder already in its TargetOf form.
  bool MayRemoveTarget(const char* target);
  bool IsProtectedIdentity(const char* target, const CString* protectedFolders, int count);
  int ListFiles(const char* folder, int depth);
  // Removes folder whole after the guard; shows why when it will not or could not.
  RemovalResult RemoveFolderGuarded(const char* folder);
  // Reports text, formatted with one string, as a message.
  void ShowMessage(const char* format, const char* text);

  UninstallSettings& m_settings;
  IRemovalProgress& m_progress;
  IRemovalServices& m_services;
  CPathList m_atRestart;  // files of the last run that go at the restart
};

// The comparable form of a folder path: ASCII letters in lower case, forward
// slashes as backslashes, trailing backslashes removed.
CString FolderKey(const char* path);
// True when key (a FolderKey) is a drive root, a share root or not absolute.
// On the Linux host (see fsys.h) "\x" is the absolute host path "/x".
bool IsRootOrRelative(const char* key);
// path without its trailing separators, up to (not including) its last
// separator (a backslash or a slash); empty without one.
CString ParentFolderOf(const char* path);
