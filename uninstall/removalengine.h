// The removal run behind button 1 of the uninstall dialog, apart from its
// window: it reads setup.log, deletes the files (unregistering controls first),
// the file-type associations, the package's registry entries, the shortcuts
// and the program group, the uninstaller and the log, and lists what is left.
// The dialog and the platform are reached through two small interfaces, so the
// run works alike in the dialog and in tests.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"
#include "uninstallsettings.h"

#define REMOVAL_PROGRESS_MAX 1000
// Status lines show paths shortened to this many bytes.
#define REMOVAL_STATUS_PATH_MAX 35
// Folders that the platform names as never to be removed whole (every known
// folder of the system, and the older special folders besides).
#define PROTECTED_FOLDER_MAX 256
// Folder walks go no deeper than this (a deeper tree is left as it is).
#define FOLDER_DEPTH_MAX 64

// Texts of button 1 (they choose its command) and button 2.
#define BUTTON_UNINSTALL "卸载"
#define BUTTON_DELETE_ALL "全部删除"
#define BUTTON_DONE "完成"
#define BUTTON_EXIT "退出"
#define BUTTON_CANCEL "取消"

#define LOG_OPEN_FAILED_TEXT "打开 setup.log 失败!"
// A folder that is (or holds) a system or user folder is never removed whole.
#define FOLDER_REFUSED_FORMAT "不能删除文件夹 %s: 它是(或含有)系统或用户的文件夹."
// Something inside a folder could not be removed (the path of that thing).
#define FOLDER_FAILED_FORMAT "删除 %s 失败!"

enum RemovalResult { FOLDER_REMOVED, FOLDER_REFUSED, FOLDER_FAILED };

// What the run shows through its dialog.
class IRemovalPage {
 public:
  virtual void SetHeadline(const char* text) = 0;  // control 1001 and its member
  virtual void SetStatus(const char* text) = 0;    // control 1000
  virtual void SetProgress(int pos) = 0;           // 0..REMOVAL_PROGRESS_MAX
  virtual void PlayAnimation() = 0;                // shows the control, plays for ever
  virtual void StopAnimation() = 0;                // the stop request
  virtual void CloseAnimation() = 0;               // the clip closed: the control goes blank
  virtual void EnableButton1(BOOL enable) = 0;
  virtual void SetButton1Text(const char* text) = 0;
  virtual void SetButton2Text(const char* text) = 0;
  virtual void HideButton2() = 0;
  virtual void MoveButton1Right(int pixels) = 0;
  virtual void AddListEntry(const char* path) = 0;
  virtual int ListCount() = 0;
  virtual void ShowList() = 0;
  virtual void MoveHeadlineAboveList() = 0;
  virtual void ShowMessage(const char* text) = 0;  // a message box with OK
  virtual void Close() = 0;                        // ends the dialog with OK

 protected:
  ~IRemovalPage() {}
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
  virtual void DeleteKeyEntry(const char* reference) = 0;
  virtual void DeleteValueEntry(const char* reference) = 0;
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
  // The identity of the folder path leads to (links followed). FALSE when
  // there is no such folder or it cannot be opened.
  virtual BOOL IdentifyFolder(const char* path, FolderIdentity& id) = 0;

 protected:
  ~IRemovalServices() {}
};

class CRemovalEngine {
 public:
  CRemovalEngine(UninstallSettings& settings, IRemovalPage& page, IRemovalServices& services);

  // Button 1 (or Enter): the command its current text names.
  void OnButton1(const char* button1Text);
  // The removal run, from "正在读取文件信息..." to state Files left or Finished.
  void RunRemoval();
  // The installation folder: the folder of the log in use.
  CString InstallFolder();

  // Normal attributes for the folder, its content removed, then the folder
  // itself. FALSE when something inside could not be removed (FailedPath
  // names it; the walk stopped there).
  BOOL RemoveFolderTree(const char* folder);
  BOOL RemoveFolderContent(const char* folder);
  // Adds every file below folder to the dialog's list, in the order the
  // search meets them.
  void ListRemainingFiles(const char* folder);
  // TRUE when folder may be removed with everything in it: not a drive root,
  // not relative, and neither one of the protected folders nor a folder that
  // holds one, nor a user profile. Folders are compared by what they are
  // (their identities) as well as by their names.
  BOOL MayRemoveWhole(const char* folder);
  // The one form of a folder that the guard checks and the walk walks: the
  // full path of the folder with a backslash at its end, so that "C:" is the
  // root of drive C for both, never the current folder of that drive.
  CString TargetOf(const char* folder);

  // The last path RemoveFolderContent could not remove.
  CString FailedPath;

  // "ocx" after the last ".", in any letter case.
  static BOOL IsOcxPath(const char* path);
  // The bar position for done of total bytes (0 when total is 0).
  static int ProgressOf(long long done, long long total);

 private:
  BOOL RemoveContent(const char* folder, int depth);
  // The guard for a folder already in its TargetOf form.
  BOOL MayRemoveTarget(const char* target);
  BOOL IsProtectedIdentity(const char* target, const CString* protectedFolders, int count);
  void ListFiles(const char* folder, int depth);
  // Removes folder whole after the guard; shows why when it will not or could not.
  RemovalResult RemoveFolderGuarded(const char* folder);
  void EndFilesLeft();
  void EndFinished();

  UninstallSettings& settings_;
  IRemovalPage& page_;
  IRemovalServices& services_;
};

// The comparable form of a folder path: ASCII letters in lower case, forward
// slashes as backslashes, trailing backslashes removed.
CString FolderKey(const char* path);
// TRUE when key (a FolderKey) is a drive root, a share root or not absolute.
// On the Linux host (see fsys.h) "\x" is the absolute host path "/x".
BOOL IsRootOrRelative(const char* key);
// path without its trailing separators, up to (not including) its last
// separator (a backslash or a slash); empty without one.
CString ParentFolderOf(const char* path);
