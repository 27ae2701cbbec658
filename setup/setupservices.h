// The setup's way to the platform, apart from its pages: the folders of the
// run, the time, self-registration, the associations and the uninstaller file
// for the copy run, the shell for the finish run.
#pragma once
#include "setup/core/copyengine.h"
#include "setup/core/finishrun.h"

// The Windows and system folders as the platform reports them (empty when one
// does not fit the buffer), with the installation folder given.
CInstallFolders CurrentFolders(const char* installDir);

// Writes the product's entry in the list of installed programs for the
// installation in folders (after the copy and finish runs: its size counts
// the files in place). FALSE when it could not be written; keyName is the
// entry's key name either way.
BOOL RegisterProductEntry(const PackageSettings& settings, const CInstallFolders& folders, CString& keyName);

class CSetupServices : public ICopyServices, public IFinishServices {
 public:
  // The package the uninstaller is made from (its table, picture and icon).
  explicit CSetupServices(const CPackage& package) : m_package(package) {}

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
  // IFinishServices
  CString SpecialFolder(int csidl);
  bool CreateShortcut(const char* target, const char* linkPath);
  void CreateFolder(const char* path);
  void Open(const char* path);
  void ShowError(const char* text);

 private:
  const CPackage& m_package;
};
