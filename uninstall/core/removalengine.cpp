#include "removalengine.h"

#include <string.h>

#include "common/container.h"
#include "common/packageindex.h"
#include "common/regref.h"
#include "common/runundo.h"
#include "common/setuplog.h"
#include "common/shortenpath.h"
#include "framework/filefind.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "uninstall/core/texts.h"

namespace {

// The pauses after "正在读取文件信息...", the associations and the shortcuts,
// so that each state can be read.
const DWORD kPause = 500;

bool SameIdentity(const FolderIdentity& a, const FolderIdentity& b) {
  return a.Volume == b.Volume && a.IndexHigh == b.IndexHigh && a.IndexLow == b.IndexLow;
}

// The next entry of a search (not "." or ".."); false at its end. more is
// what the search's last step returned.
bool NextEntry(CFileFind& find, bool& more) {
  while (more) {
    more = find.FindNextFile();
    if (!find.IsDots()) return true;
  }
  return false;
}

CString WithoutTrailingSeparators(const char* path) {
  CString s(path);
  while (s.GetLength() > 1 && (EndsWithBackslashMb(s) || s.EndsWith('/'))) s = s.Left(s.GetLength() - 1);
  return s;
}

}  // namespace

CString ParentFolderOf(const char* path) {
  CString s = WithoutTrailingSeparators(path);
  int backslash = ReverseFindCharMb(s, '\\'), slash = ReverseFindCharMb(s, '/');
  int last = backslash > slash ? backslash : slash;
  return last < 0 ? CString() : s.Left(last);
}

CString FolderKey(const char* path) {
  CString lower = LowerTextMb(path ? path : "");
  CString key;
  const char* s = lower.c_str();
  for (int i = 0; s[i]; i++) {
    if (IsLeadByteMb(static_cast<unsigned char>(s[i])) && s[i + 1]) {
      key.Append(s + i, 2);
      i++;
    } else {
      key += s[i] == '/' ? '\\' : s[i];
    }
  }
  while (EndsWithBackslashMb(key)) key = key.Left(key.GetLength() - 1);
  return key;
}

bool IsRootOrRelative(const char* key) {
  size_t n = strlen(key);
  if (n >= 3 && key[1] == ':' && key[2] == '\\') return false;  // "x:\something"
  if (n >= 2 && key[0] == '\\' && key[1] == '\\') {
    if (key[2] == '?' || key[2] == '.') return true;  // device paths: not for us
    // "\\server\share" is a root; a folder on a share has one more part.
    int parts = 0;
    for (int i = 2; key[i]; i++) {
      if (IsLeadByteMb(static_cast<unsigned char>(key[i])) && key[i + 1]) {
        i++;
        continue;
      }
      if (key[i] == '\\') parts++;
    }
    return parts < 2;
  }
#ifndef _WIN32
  if (n >= 2 && key[0] == '\\') return false;  // the host's "/x"
#endif
  return true;  // empty, "x:", "x:name", "\name", "name"
}

CRemovalEngine::CRemovalEngine(UninstallSettings& settings, IRemovalProgress& progress, IRemovalServices& services)
    : m_settings(settings), m_progress(progress), m_services(services) {}

bool CRemovalEngine::IsOcxPath(const char* path) {
  int dot = ReverseFindCharMb(path, '.');
  if (dot < 0) return false;
  return CompareNoCaseMb(path + dot + 1, "ocx") == 0;
}

int CRemovalEngine::ProgressOf(long long done, long long total) {
  if (total <= 0 || done <= 0) return 0;
  // In doubles: sizes beyond 32 bits (and far beyond) keep the bar right.
  double pos = static_cast<double>(done) * kRemovalProgressMax / static_cast<double>(total);
  return pos >= kRemovalProgressMax ? kRemovalProgressMax : static_cast<int>(pos);
}

CString CRemovalEngine::InstallFolder() { return FolderOf(m_settings.SetupLogPath); }

RemovalResult CRemovalEngine::RemoveInstallFolder() { return RemoveFolderGuarded(InstallFolder()); }

void CRemovalEngine::ShowMessage(const char* format, const char* text) {
  CString message;
  message.Format(format, text);
  m_progress.ShowMessage(message);
}

CString CRemovalEngine::TargetOf(const char* folder) { return m_services.FullPath(WithBackslash(folder)); }

bool CRemovalEngine::MayRemoveWhole(const char* folder) {
  // "C:", "x:name", "\name" and "name" name no place of their own: refused
  // before they are resolved against some current folder.
  if (IsRootOrRelative(FolderKey(folder))) return false;
  return MayRemoveTarget(TargetOf(folder));
}

bool CRemovalEngine::MayRemoveTarget(const char* target) {
  CString key = FolderKey(target);
  if (IsRootOrRelative(key)) return false;
  CString protectedFolders[kProtectedFolderMax];
  int n = m_services.ProtectedFolders(protectedFolders, kProtectedFolderMax);
  CString below = key + "\\";
  for (int i = 0; i < n && i < kProtectedFolderMax; i++) {
    CString p = FolderKey(m_services.FullPath(protectedFolders[i]));
    if (p.IsEmpty()) continue;
    // The folder itself, or one that holds it. A byte comparison: where it
    // errs, it errs on the side of refusing.
    if (p == key || strncmp(p, below, below.GetLength()) == 0) return false;
  }
  CString profilesFolder = m_services.ProfilesFolder();
  CString profiles = profilesFolder.IsEmpty() ? CString() : FolderKey(m_services.FullPath(profilesFolder));
  if (!IsRootOrRelative(profiles) && FolderKey(FolderOf(key)) == profiles) return false;
  return !IsProtectedIdentity(target, protectedFolders, n);
}

// Names can differ for one folder (another drive letter, a share, a link or
// junction on the way): the same checks again on what the folders are. The
// target is refused when it is a protected folder or any folder above one, or
// when the folder above it is the profiles folder.
bool CRemovalEngine::IsProtectedIdentity(const char* target, const CString* protectedFolders, int n) {
  FolderIdentity self, other;
  if (!m_services.IdentifyFolder(target, self)) return false;  // nothing there: nothing to remove
  for (int i = 0; i < n && i < kProtectedFolderMax; i++) {
    CString p = protectedFolders[i].IsEmpty() ? CString() : m_services.FullPath(protectedFolders[i]);
    // The folder and each one above it, up to its drive's root.
    for (CString f = WithoutTrailingSeparators(p); !f.IsEmpty(); f = ParentFolderOf(f)) {
      if (m_services.IdentifyFolder(WithBackslash(f), other) && SameIdentity(self, other)) return true;
    }
  }
  CString profiles = m_services.ProfilesFolder();
  CString parent = ParentFolderOf(target);
  if (!profiles.IsEmpty() && !parent.IsEmpty() && !IsRootOrRelative(FolderKey(m_services.FullPath(profiles)))) {
    FolderIdentity parentId;
    if (m_services.IdentifyFolder(WithBackslash(parent), parentId) &&
        m_services.IdentifyFolder(WithBackslash(profiles), other) && SameIdentity(parentId, other))
      return true;
  }
  return false;
}

RemovalResult CRemovalEngine::RemoveFolderGuarded(const char* folder) {
  // One path for the guard and the walk.
  CString target = TargetOf(folder);
  if (IsRootOrRelative(FolderKey(folder)) || !MayRemoveTarget(target)) {
    ShowMessage(Text(kTextFolderRefused), folder);
    return kFolderRefused;
  }
  // A folder that is itself a link goes as a link: what it points to is not ours.
  CString bare = WithoutTrailingSeparators(target);
  bool link = IsLinkPath(bare);
  if (link ? RemoveFolder(bare) : RemoveFolderTree(target)) return kFolderRemoved;
  ShowMessage(Text(kTextFolderFailed), link ? bare.c_str() : FailedPath.c_str());
  return kFolderFailed;
}

bool CRemovalEngine::RemoveFolderTree(const char* folder) {
  FailedPath.Empty();
  if (!folder || !folder[0]) return true;  // names no folder: nothing to do
  ClearAttributes(folder);
  if (!RemoveContent(folder, 0)) return false;
  RemoveFolder(folder);
  return true;
}

bool CRemovalEngine::RemoveFolderContent(const char* folder) {
  FailedPath.Empty();
  if (!folder || !folder[0]) return true;
  return RemoveContent(folder, 0);
}

bool CRemovalEngine::RemoveContent(const char* folder, int depth) {
  CFileFind find;
  bool more = find.FindFile(WithBackslash(folder) + "*.*");
  while (NextEntry(find, more)) {
    CString path = find.GetFilePath();
    bool ok;
    if (find.IsDirectory() && find.IsLink()) {
      // A link goes as a link: what it points to is not ours, its attributes
      // included.
      ok = RemoveFolder(path);
    } else if (find.IsDirectory()) {
      ok = ClearAttributes(path);
      if (ok && !RemoveFolder(path)) {
        ok = depth + 1 < kFolderDepthMax && RemoveContent(path, depth + 1);
        if (!ok) {
          if (FailedPath.IsEmpty()) FailedPath = path;
          return false;
        }
        RemoveFolder(path);  // may still fail: not reported
      }
    } else {
      ok = ClearAttributes(path) && RemoveFile(path);
    }
    if (!ok) {
      if (FailedPath.IsEmpty()) FailedPath = path;
      return false;
    }
  }
  return true;
}

int CRemovalEngine::ListRemainingFiles(const char* folder) { return folder && folder[0] ? ListFiles(folder, 0) : 0; }

int CRemovalEngine::ListFiles(const char* folder, int depth) {
  int n = 0;
  CFileFind find;
  bool more = find.FindFile(WithBackslash(folder) + "*.*");
  while (NextEntry(find, more)) {
    if (!find.IsDirectory()) {
      if (m_atRestart.Contains(find.GetFilePath())) continue;  // goes at the restart
      m_progress.FileLeft(find.GetFilePath());
      n++;
    } else if (!find.IsLink() && depth + 1 < kFolderDepthMax) {
      n += ListFiles(find.GetFilePath(), depth + 1);
    }
  }
  return n;
}

void CRemovalEngine::Delete(const char* path) {
  SetAttributesNormal(path);
  if (RemoveFile(path)) return;
  DWORD attributes = GetAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_FOLDER)) return;
  // Only the installation folder's own files: one elsewhere may be shared.
  CString top = LowerTextMb(WithBackslash(InstallFolder()));
  CString lowered = LowerTextMb(path);
  if (lowered.GetLength() <= top.GetLength() || strncmp(lowered, top, top.GetLength()) != 0) return;
  if (!m_services.DeleteAtRestart(path)) return;
  m_atRestart.Add(path);
  m_progress.FileAtRestart(path);
}

bool CRemovalEngine::RemoveFolderAtRestart(const char* folder, int depth) {
  // What goes now goes now; a folder that keeps a file going at the restart
  // is scheduled after it.
  CFileFind find;
  bool more = find.FindFile(WithBackslash(folder) + "*.*");
  while (NextEntry(find, more)) {
    CString path = find.GetFilePath();
    if (find.IsDirectory() && find.IsLink()) RemoveFolder(path);
    else if (find.IsDirectory() && depth + 1 < kFolderDepthMax) RemoveFolderAtRestart(path, depth + 1);
  }
  find.Close();
  CString bare = WithoutTrailingSeparators(folder);
  return RemoveFolder(bare) || m_services.DeleteAtRestart(bare);
}

RemovalOutcome CRemovalEngine::RunRemoval() {
  m_atRestart.Clear();
  // What a setup in this folder that never ended left behind goes back first
  // (its log included), so that the log names what is there.
  RecoverInterruptedRuns(InstallFolder());
  CSetupLogReader log;
  // Both passes over the file list start from the top: a log that cannot be
  // read from there is a log that cannot be opened.
  if (!log.Open(m_settings.SetupLogPath) || !log.BeginFileList()) {
    m_progress.ShowMessage(Text(kTextLogOpenFailed));
    return kRemovalNoLog;
  }
  CString folder = InstallFolder();
  CString text;
  text.Format(Text(kTextRunning), m_settings.ProductName.c_str());
  m_progress.SetHeadline(text);
  m_progress.SetStatus(Text(kTextReading));
  m_services.Sleep(kPause);

  // Size pass. 64-bit sums: the bar stays right beyond 2 GiB in total.
  CString line;
  long long total = 0;
  while (log.NextFilePath(line)) {
    long long size = GetFileSize64(line);
    if (size > 0) total += size;
  }

  // Delete pass.
  long long done = 0;
  log.BeginFileList();
  while (log.NextFilePath(line)) {
    text.Format(Text(kTextDeleting), ShortenPath(line, kRemovalStatusPathMax).c_str());
    m_progress.SetStatus(text);
    SetAttributesNormal(line);
    long long size = GetFileSize64(line);
    if (size > 0) done += size;
    if (IsOcxPath(line)) m_services.UnregisterServer(line);
    Delete(line);
    m_progress.SetProgress(ProgressOf(done, total));
  }

  // Type pass (the reader cuts each extension to 3 bytes), then the list's
  // associations, which the log keeps after its shortcut list.
  bool anyType = false;
  log.BeginTypeList();
  while (log.NextExtension(line)) {
    m_services.RemoveTypeAssociation(line);
    anyType = true;
  }
  if (log.BeginSection(LOG_TYPES2_SECTION)) {
    TypeRecord record;
    while (log.NextEntry(line)) {
      if (!ParseTypeRecord(line, record)) continue;
      m_services.RemoveListType(ListTypeClass(m_settings.ProductName, record.Extension), record);
      anyType = true;
    }
  }
  if (anyType) {
    m_progress.SetStatus(Text(kTextDeletingTypes));
    m_services.Sleep(kPause);
  }

  // Every key, then every value, in the order the package gives them.
  for (int i = 0; i < REG_ENTRY_MAX; i++)
    if (i < 2 || !m_settings.RegKeys[i].IsEmpty()) m_services.DeleteKeyEntry(m_settings.RegKeys[i]);
  for (int i = 0; i < REG_ENTRY_MAX; i++)
    if (i < 2 || !m_settings.RegValues[i].IsEmpty()) m_services.DeleteValueEntry(m_settings.RegValues[i]);
  m_services.RemoveProductEntries(folder);

  // Shortcut pass: the first shortcut below the Programs folder names the
  // program group, which goes whole (with ridkit.lnk, which the log omits).
  bool anyShortcut = false;
  bool groupFound = false;
  CString group;
  // A Programs folder that is not a folder of its own (unknown, a root, a
  // relative path) holds no program group.
  CString programs = m_services.ProgramsFolder();
  if (IsRootOrRelative(FolderKey(programs))) programs.Empty();
  log.BeginGroup(2);
  while (log.NextShortcut(line)) {
    SetAttributesNormal(line);
    RemoveFile(line);
    if (!groupFound) groupFound = ProgramGroupOf(line, programs, group);
    anyShortcut = true;
  }
  if (anyShortcut) {
    m_progress.SetStatus(Text(kTextDeletingShortcuts));
    m_services.Sleep(kPause);
  }
  // The folders the setup made above the installation folder (/D=), after
  // the shortcuts; taken back below once they are empty.
  CPathList madeFolders;
  CString section;
  while (log.NextSection(section)) {
    while (log.NextSectionEntry(line))
      if (section == LOG_FOLDERS_SECTION && madeFolders.Count() < kFolderDepthMax) madeFolders.Add(line);
  }
  // A group that may not go whole stays (with a word why); one whose removal
  // fails stops the run here, as the message says.
  if (groupFound && RemoveFolderGuarded(group) == kFolderFailed) return kRemovalStopped;

  CString uninstaller = WithBackslash(folder) + UNINSTALLER_NAME;
  Delete(uninstaller);
  log.Close();
  Delete(WithBackslash(folder) + SETUP_LOG_NAME);

  if (ListRemainingFiles(folder) > 0) return kRemovalFilesLeft;
  RemovalOutcome outcome = kRemovalFinished;
  if (m_atRestart.Count() > 0) {
    // Nothing left but files in use: the folders that hold them go after
    // them at the restart.
    if (!MayRemoveWhole(folder)) {
      ShowMessage(Text(kTextFolderRefused), folder);
      return kRemovalAtRestart;
    }
    RemoveFolderAtRestart(TargetOf(folder), 0);
    outcome = kRemovalAtRestart;
  } else if (RemoveInstallFolder() == kFolderFailed) {
    // Only empty folders were left; as with the group, a failure stops here.
    return kRemovalStopped;
  }
  // The folders made above it, the deepest first, each once it is empty (at
  // the restart, after the installation folder, when that goes then).
  for (int i = 0; i < madeFolders.Count(); i++) {
    const CString& made = madeFolders[i];
    if (!MayRemoveWhole(made)) continue;
    if (!RemoveFolder(made) && outcome == kRemovalAtRestart) m_services.DeleteAtRestart(made);
  }
  return outcome;
}
