#include "folderrules.h"

#include "common/packageindex.h"
#include "framework/mbcs.h"
#include "setup/core/texts.h"

CString DefaultInstallFolder(const char* windowsDir, const char* productName) {
  CString dir(windowsDir);
  int slash = FindCharMb(dir, '\\');
  CString folder = slash >= 0 ? dir.Left(slash + 1) : dir;
  folder += "Program Files\\";
  folder += productName;
  return folder;
}

CString UserProgramsFolder(const char* localAppData) {
  CString folder(localAppData);
  if (folder.IsEmpty()) return folder;
  AppendBackslashIfMissing(folder);
  folder += "Programs\\";
  return folder;
}

CString DefaultUserInstallFolder(const char* localAppData, const char* productName) {
  return UserProgramsFolder(localAppData) + productName;
}

CString ParentFolder(const char* folderWithBackslash) {
  CString s(folderWithBackslash);
  return s.IsEmpty() ? s : FolderOf(s.Left(s.GetLength() - 1));
}

const char* FolderRefusal(const char* path, int (*driveType)(const char* drive),
                          bool (*exists)(const char* path)) {
  CString p(path);
  if (p.IsEmpty()) return Text(kTextBadDrive);
  if (EndsWithBackslashMb(p)) p = p.Left(p.GetLength() - 1);
  if (p.GetLength() == 2) {
    switch (driveType(p)) {
      case kDriveNoRoot: {
        char letter = p[0] | 0x20;
        return (p[1] == ':' && (letter == 'a' || letter == 'b')) ? Text(kTextFloppy) : Text(kTextBadDrive);
      }
      case kDriveRemovable:
        return Text(kTextFloppy);
      case kDriveRemote:
        return Text(kTextNetwork);
      default:
        return 0;
    }
  }
  return exists(p) ? 0 : Text(kTextBadFolder);
}

const char* MissingParents(const char* folderWithBackslash, int (*driveType)(const char* drive),
                           bool (*exists)(const char* path), CPathList& missing) {
  missing.Clear();
  CString at = ParentFolder(folderWithBackslash);
  if (EndsWithBackslashMb(at)) at = at.Left(at.GetLength() - 1);
  // Up to a drive ("C:") or a folder that is there.
  while (at.GetLength() > 2 && !exists(at)) {
    missing.Add(at);
    at = FolderOf(at);
  }
  const char* refusal = FolderRefusal(at, driveType, exists);
  if (refusal) missing.Clear();
  return refusal;
}

const char* StartingScope(const char* packageScope, const SetupSwitches& switches, bool installedForUser,
                          bool installedForMachine, bool elevated) {
  CString scope(packageScope ? packageScope : "");
  if (scope != SCOPE_ASK_WORD) return scope == SCOPE_USER_WORD ? SCOPE_USER_WORD : SCOPE_MACHINE_WORD;
  if (switches.AllUsers) return SCOPE_MACHINE_WORD;
  if (switches.CurrentUser) return SCOPE_USER_WORD;
  if (installedForUser) return SCOPE_USER_WORD;
  if (installedForMachine) return SCOPE_MACHINE_WORD;
  return elevated ? SCOPE_MACHINE_WORD : SCOPE_USER_WORD;
}
