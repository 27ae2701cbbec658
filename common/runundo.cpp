#include "runundo.h"

#include "framework/filefind.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "setuplog.h"

namespace {

// Plan lines are written in pieces of about this many bytes.
const int kPlanChunk = 64 * 1024;
// Old copies are kept in subfolders of this many at most: a folder of
// thousands would make every new name cost a look through all of them where
// names are matched without regard to case by reading the folder (Wine).
const int kCopiesPerFolder = 64;

// Removes every file in folder and in its subfolders (the buckets), then the
// folder; what stays goes into left, each folder after its files.
void RemoveFolderFiles(const CString& folder, CPathList& left, int depth = 0) {
  CFileFind find;
  BOOL more = find.FindFile(folder + "*.*");
  while (more) {
    more = find.FindNextFile();
    if (find.IsDots()) continue;
    CString path = find.GetFilePath();
    if (find.IsDirectory() && !find.IsLink() && depth == 0) {
      RemoveFolderFiles(WithBackslash(path), left, depth + 1);
      continue;
    }
    SetAttributesNormal(path);
    if (!(find.IsDirectory() ? RemoveFolder(path) : RemoveFile(path))) left.Add(path);
  }
  find.Close();
  CString bare = folder.Left(folder.GetLength() - 1);
  if (!RemoveFolder(bare)) left.Add(bare);
}

// The plan's names of old copies are letters and digits.
bool IsCopyName(const CString& name) {
  if (name.IsEmpty()) return false;
  for (int i = 0; i < name.GetLength(); i++) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Where the old copy of that name lies in the folder: in the subfolder of
// its number's bucket ("r130" in "2\r130"), or at the top for a name
// without a number.
CString CopyPath(const CString& folder, const char* name) {
  const char* digits = name;
  while (*digits && (*digits < '0' || *digits > '9')) digits++;
  if (!*digits) return folder + name;
  long number = 0;
  for (const char* d = digits; *d >= '0' && *d <= '9' && number < 100000000; d++) number = number * 10 + (*d - '0');
  CString path;
  path.Format("%s%ld\\%s", folder.c_str(), number / kCopiesPerFolder, name);
  return path;
}

bool IsUndoFolderName(const char* name) {
  CString prefix(UNDO_FOLDER_PREFIX);
  return CompareNoCaseMb(CString(name).Left(prefix.GetLength()), prefix) == 0;
}

// Takes one folder back; false when its plan is held by a run that goes on,
// or an old copy could not be put back (the folder then stays, for another
// try).
bool Recover(const CString& folder) {
  CString planPath = folder + UNDO_PLAN_NAME;
  bool restored = true;
  if (GetAttributes(planPath) != INVALID_FILE_ATTRIBUTES) {
    {
      CFile probe;
      if (!probe.Open(planPath, CFile::modeRead | CFile::shareExclusive)) return false;
    }
    CSetupLogReader plan;
    if (plan.Open(planPath)) {
      // New files first, then the old copies back in their places.
      for (int pass = 0; pass < 2; pass++) {
        plan.Rewind();
        CString line;
        for (LogLineKind kind; (kind = plan.ReadLine(line)) != kLogLineEnd;) {
          int tab = FindCharMb(line, '\t');
          if (kind != kLogLineText || tab <= 0) continue;
          CString mark = line.Left(tab), path = line.Mid(tab + 1);
          if (path.IsEmpty()) continue;
          bool created = mark == UNDO_PLAN_NEW;
          if (pass == 0 && created) {
            SetAttributesNormal(path);
            RemoveFile(path);
          } else if (pass == 1 && !created && IsCopyName(mark) && mark != UNDO_PLAN_NAME) {
            CString copy = CopyPath(folder, mark);
            if (GetAttributes(copy) != INVALID_FILE_ATTRIBUTES) {
              SetAttributesNormal(path);
              if (!MoveFileTo(copy, path)) restored = false;
            }
          }
        }
      }
      plan.Close();
    }
  }
  if (!restored) return false;
  CPathList left;
  RemoveFolderFiles(folder, left);
  return true;
}

}  // namespace

CRunUndo::CRunUndo() : m_planOk(false) {}

CRunUndo::~CRunUndo() { m_plan.Close(); }

bool CRunUndo::Open(const char* installDir) {
  CString folder;
  folder.Format("%s" UNDO_FOLDER_PREFIX "%u", WithBackslash(installDir).c_str(), ProcessNumber());
  if (!CreateFolder(folder)) return false;
  m_folder = WithBackslash(folder);
  m_pending.Empty();
  m_planOk = m_plan.Open(m_folder + UNDO_PLAN_NAME, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
  if (!m_planOk) {
    RemoveFolder(folder);
    m_folder.Empty();
  }
  return m_planOk;
}

void CRunUndo::PlanLine(const char* mark, const char* path) {
  if (!m_planOk) return;
  m_pending += mark;
  m_pending += '\t';
  m_pending += path;
  m_pending += "\r\n";
  if (m_pending.GetLength() >= kPlanChunk) {
    m_planOk = m_plan.Write(m_pending.c_str(), static_cast<unsigned>(m_pending.GetLength())) != FALSE;
    m_pending.Empty();
  }
}

void CRunUndo::PlanAside(const char* name, const char* path) { PlanLine(name, path); }

void CRunUndo::PlanNew(const char* path) { PlanLine(UNDO_PLAN_NEW, path); }

bool CRunUndo::WritePlan() {
  if (m_planOk && !m_pending.IsEmpty())
    m_planOk = m_plan.Write(m_pending.c_str(), static_cast<unsigned>(m_pending.GetLength())) != FALSE;
  m_pending.Empty();
  return m_planOk && m_plan.Flush();
}

CString CRunUndo::SetAside(const char* name, const char* path) {
  if (m_folder.IsEmpty()) return CString();
  CString copy = CopyPath(m_folder, name);
  int cut = ReverseFindCharMb(copy, '\\');
  if (cut > m_folder.GetLength()) CreateFolder(copy.Left(cut));  // the bucket, once
  return MoveFileTo(path, copy) ? copy : CString();
}

CString CRunUndo::CopyAside(const char* name, const char* path) {
  if (m_folder.IsEmpty()) return CString();
  CString copy = CopyPath(m_folder, name);
  CFile in, out;
  if (!in.Open(path, CFile::modeRead | CFile::shareDenyWrite) || !out.Open(copy, CFile::modeCreate | CFile::modeWrite))
    return CString();
  char buffer[16 * 1024];
  bool ok = true;
  for (unsigned n; ok && (n = in.Read(buffer, sizeof buffer)) > 0;) ok = out.Write(buffer, n) != FALSE;
  if (!out.Close()) ok = false;
  if (ok) return copy;
  RemoveFile(copy);
  return CString();
}

void CRunUndo::Close(CPathList& left) {
  if (m_folder.IsEmpty()) return;
  m_plan.Close();
  m_pending.Empty();
  m_planOk = false;
  RemoveFolderFiles(m_folder, left);
  m_folder.Empty();
}

void CRunUndo::Abandon() {
  m_plan.Close();
  m_pending.Empty();
  m_planOk = false;
  m_folder.Empty();
}

int RecoverInterruptedRuns(const char* installDir) {
  if (!installDir || !installDir[0]) return 0;
  CPathList folders;
  CFileFind find;
  BOOL more = find.FindFile(WithBackslash(installDir) + "*.*");
  while (more) {
    more = find.FindNextFile();
    if (find.IsDirectory() && !find.IsDots() && !find.IsLink() && IsUndoFolderName(find.GetFileName()))
      folders.Add(find.GetFilePath());
  }
  find.Close();
  int recovered = 0;
  for (int i = 0; i < folders.Count(); i++)
    if (Recover(WithBackslash(folders[i]))) recovered++;
  return recovered;
}
