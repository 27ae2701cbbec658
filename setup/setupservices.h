// The setup's way to the platform, apart from its pages: the folders of the
// run, the time, self-registration, the associations and the uninstaller file
// for the copy run, the shell for the finish run.
#pragma once
#include "common/logonwork.h"
#include "setup/core/copyengine.h"
#include "setup/core/commandline.h"
#include "setup/core/finishrun.h"

// The Windows and system folders as the platform reports them (empty when one
// does not fit the buffer), with the installation folder given.
CInstallFolders CurrentFolders(const char* installDir);

// The folder the folder page proposes: below Program Files for the whole
// machine, below the user's local application data (Programs) for an
// installation of the current user alone. Without a trailing backslash.
CString ProposedInstallFolder(const PackageSettings& settings);
// For an installation of the current user alone into a folder directly in
// the user's Programs folder (folder ends with a backslash), that Programs
// folder is made when it is missing, as the system makes it for the programs
// of a user: the folder page's and the unattended run's check that the
// parent exists then holds for the proposed folder.
void PrepareUserProgramsFolder(const PackageSettings& settings, const char* folder);

// Writes the product's entry in the list of installed programs for the
// installation in folders (after the copy and finish runs: its size counts
// the files in place), and removes any other entry of that folder. FALSE
// when it could not be written; keyName is the entry's key name either way.
BOOL RegisterProductEntry(const PackageSettings& settings, const CInstallFolders& folders, CString& keyName);

// The installation of this product that the list of installed programs names
// (its entry under the package's key): its folder, without a trailing
// backslash, and its version. Found only when the entry is one the setup
// wrote for that folder and the folder holds a setup.log.
struct PreviousInstallation {
  PreviousInstallation() : Found(false) {}
  bool Found;
  CString Folder;
  CString Version;
};
// The entry is the package's (product.id, else the product name); for a
// package with a product.id, else the one of its product name. Looked for in
// the list of one scope (userScope: the current user's).
PreviousInstallation FindPreviousInstallation(const PackageSettings& settings, bool userScope);
// The installations of the product in the lists of both scopes, by scope
// (kForMachine, kForUser), and the scope the installation starts in
// (StartingScope). A package that lets the user choose gets that scope in
// its Scope, so that the runs, the entry and the uninstaller's table see the
// one chosen; a package of one scope keeps its own, and only its own list
// is looked at.
enum { kForMachine = 0, kForUser = 1 };
void StartScope(PackageSettings& settings, const SetupSwitches& switches, PreviousInstallation found[2]);
// True when the two paths name the same folder (letter case, short names and
// trailing backslashes aside).
bool SameFolder(const char* a, const char* b);

class CSetupServices : public ICopyServices, public IFinishServices {
 public:
  // The package the uninstaller is made from (its table, picture and icon).
  explicit CSetupServices(const CPackage& package) : m_package(package), m_saved(0), m_savedCount(0) {}
  ~CSetupServices();

  // ICopyServices
  DWORD TickCount();
  void Sleep(DWORD ms);
  int RegisterServer(const char* path);
  void RegisterFileType(const char* ext, const char* program);
  void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                        const char* icon, TypeRecord& record);
  bool WriteUninstaller(const char* installDir);
  int UnregisterServer(const char* path);
  void UnregisterFileType(const char* ext);
  void UnregisterListType(const char* typeClass, const TypeRecord& record);
  void DeleteKeyEntry(const char* reference);
  void DeleteValueEntry(const char* reference);
  void UndoFileType(const char* ext);
  bool FileInUse(const char* path);
  CString ProgramsUsing(const CPathList& files);
  // For the current user alone at the user's next logon (CLogonWork).
  bool AtRestart(const char* from, const char* to);
  CString LongPath(const char* path);
  // IFinishServices
  CString SpecialFolder(int csidl);
  bool CreateShortcut(const char* target, const char* linkPath);
  void CreateFolder(const char* path);
  void Open(const char* path);
  void ShowError(const char* text);

 private:
  CSetupServices(const CSetupServices&);
  CSetupServices& operator=(const CSetupServices&);
  // An association as it was before RegisterFileType replaced it.
  struct SavedFileType;
  const CPackage& m_package;
  SavedFileType* m_saved;
  int m_savedCount;
  CLogonWork m_logonWork;
};
