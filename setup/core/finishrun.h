// What the finish page does when Finish is pressed, apart from its window:
// setup.log, the shortcut pass (the uninstaller's own shortcut included), the
// read-me and the program. The shell is reached through a small interface, so
// the run works alike in the wizard and in tests.
#pragma once
#include "common/installfolders.h"
#include "common/packageindex.h"
#include "common/pathlist.h"
#include "framework/cstring.h"
#include "framework/platform.h"

// Special folders of the shortcut pass (CSIDL_*).
const int kFolderIdPrograms = 2;
const int kFolderIdStartMenu = 11;
const int kFolderIdDesktop = 16;

#define UNINSTALLER_LINK_NAME "ridkit.lnk"

// What the platform does for the run that tests must control or observe.
class IFinishServices {
 public:
  // The special folder's path, ending with a backslash.
  virtual CString SpecialFolder(int csidl) = 0;
  // True when the shortcut file was saved.
  virtual bool CreateShortcut(const char* target, const char* linkPath) = 0;
  // One folder, no parents; an existing folder is fine.
  virtual void CreateFolder(const char* path) = 0;
  // Opens a file with its default verb, shown normally; nobody waits for it.
  virtual void Open(const char* path) = 0;
  // A message box with OK, captioned with the application's title.
  virtual void ShowError(const char* text) = 0;

 protected:
  ~IFinishServices() {}
};

// The user's choices on the finish page, each 0 or 1.
struct FinishChoices {
  int Desktop;
  int StartMenu;
  int Group;
  int Readme;
  int Run;
};

class CFinishRun {
 public:
  // uninstallerLinkPending is the process-wide flag of the uninstaller's
  // shortcut: set at program start, cleared when that shortcut is made.
  CFinishRun(const PackageSettings& settings, IFinishServices& services, bool& uninstallerLinkPending);

  // Everything from creating setup.log to starting the program. False when
  // the log could not be created (then nothing else was done).
  bool Run(const FinishChoices& choices);
  // The Programs folder with its backslash (asked once); empty when the
  // platform has none.
  const CString& ProgramsFolder() { return Folder(kFolderIdPrograms, m_programs, m_programsAsked); }

  // Captured by the page on its first paint.
  CInstallFolders Folders;
  CString GroupName;
  // What the copy run's list associations found (null: none), listed after
  // the shortcuts.
  const struct TypeRecordList* Types;
  // The folders the log lists for the removal after its shortcuts (null or
  // empty: none, and the log ends with its shortcuts as before).
  const CPathList* LogFolders;
  // After Run: every shortcut it listed in the log, and whether the log was
  // written whole.
  CPathList Links;
  bool LogWritten;

 private:
  // The special folder's path, asked once per run; empty when the platform
  // has none, so that nothing lands in the root of the current drive.
  const CString& Folder(int csidl, CString& cache, bool& asked);
  void ShortcutPass(const FinishChoices& choices, class CSetupLogWriter& log, bool& logOk);
  void MakeUninstallerLink(const CString& programs);
  // Creates the shortcut and lists it in the log.
  void Link(const CString& target, const CString& link, class CSetupLogWriter& log, bool& logOk);

  const PackageSettings& m_settings;
  IFinishServices& m_services;
  bool& m_uninstallerLinkPending;
  CString m_desktop, m_startMenu, m_programs;
  bool m_desktopAsked, m_startMenuAsked, m_programsAsked;
};
