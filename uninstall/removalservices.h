// The platform side of the removal run: pauses, unregistering controls, the
// registry cleanup, and the special folders the run must know.
#pragma once
#include "common/logonwork.h"
#include "uninstall/core/removalengine.h"

// Loads the library, calls its DllUnregisterServer if it has one (for the
// current user alone: userScope, CallServerEntry), and always releases it, so
// that the file can be deleted right after. 0 when it does not load or the
// call fails; 1 otherwise (also without the entry point).
int UnregisterServer(const char* path, bool userScope);

class CRemovalServices : public IRemovalServices {
 public:
  // userScope: the installation is the current user's alone (install.scope
  // = user of the uninstaller's table): its controls, associations and entry
  // in the list of programs are taken from the user's part of the registry.
  explicit CRemovalServices(bool userScope = false) : m_userScope(userScope) {}

  void Sleep(DWORD ms);
  int UnregisterServer(const char* path);
  void RemoveTypeAssociation(const char* ext);
  void RemoveListType(const char* typeClass, const TypeRecord& record);
  void DeleteKeyEntry(const char* reference);
  void DeleteValueEntry(const char* reference);
  void RemoveProductEntries(const char* folder);
  CString ProgramsFolder();
  int ProtectedFolders(CString* folders, int max);
  CString ProfilesFolder();
  CString FullPath(const char* path);
  bool IdentifyFolder(const char* path, FolderIdentity& id);
  // For the current user alone at the user's next logon (CLogonWork).
  bool DeleteAtRestart(const char* path);

 private:
  CRemovalServices(const CRemovalServices&);
  CRemovalServices& operator=(const CRemovalServices&);
  bool m_userScope;
  CLogonWork m_logonWork;
};
