#include "copyengine.h"

#include <stdlib.h>
#include <string.h>

#include "common/container.h"
#include "common/regref.h"
#include "common/setuplog.h"
#include "common/shortenpath.h"
#include "finishrun.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/memory.h"
#include "setup/core/texts.h"

namespace {

// The pause before timing starts and before the associations and the finish
// page, so that each state can be read.
const DWORD kPause = 500;

bool IsOcx(const char* path) {
  int dot = ReverseFindCharMb(path, '.');
  return dot >= 0 && CompareNoCaseMb(path + dot + 1, "ocx") == 0;
}

// The bytes a file puts on disk, which the bar and the estimate follow: a
// packed file's unpacked size; a stored one's length, counted only when
// positive (a negative one is bad input, not "minus").
long long CountedBytes(const FileEntry& e) {
  if (e.Method == kMethodLzma || e.Method == kMethodSolid) return static_cast<long long>(e.Unpacked & 0x7FFFFFFFFFFFFFFFULL);
  return e.Length > 0 ? e.Length : 0;
}

// A sum of such counts; the sizes a damaged index claims stop at the largest
// number instead of wrapping round.
void AddCounted(long long& sum, const FileEntry& e) {
  long long n = CountedBytes(e);
  sum = sum > 0x7FFFFFFFFFFFFFFFLL - n ? 0x7FFFFFFFFFFFFFFFLL : sum + n;
}

unsigned HashOf(const char* lowered) {
  unsigned h = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(lowered); *p; p++) h = (h ^ *p) * 16777619u;
  return h;
}

// The package's targets in their long forms, for asking whether a path of
// the replaced installation is one of them: a hash and the row for each, the
// path itself formed again only for a row of the same hash.
class CTargetSet {
 public:
  CTargetSet(const CFileList& list, const CInstallFolders& folders) : m_folders(folders), m_keys(0), m_count(0) {
    m_keys = static_cast<Key*>(AllocBuffer(sizeof(Key) * static_cast<size_t>(list.Count > 0 ? list.Count : 1)));
    if (!m_keys) return;
    for (const CFileList::Node* n = list.Head; n && m_count < list.Count; n = n->Next) {
      CString path;
      if (!IsContainedEntry(n->Entry) || !folders.Resolve(n->Entry, path)) continue;
      m_keys[m_count].Hash = HashOf(LowerTextMb(path));
      m_keys[m_count].Row = n;
      m_count++;
    }
    qsort(m_keys, static_cast<size_t>(m_count), sizeof(Key), CompareKeys);
  }
  ~CTargetSet() { FreeBuffer(m_keys); }
  bool Ready() const { return m_keys != 0; }
  bool Contains(const char* path) const {
    CString lowered = LowerTextMb(path);
    unsigned h = HashOf(lowered);
    int lo = 0, hi = m_count;
    while (lo < hi) {
      int mid = lo + (hi - lo) / 2;
      if (m_keys[mid].Hash < h) lo = mid + 1;
      else hi = mid;
    }
    for (int k = lo; k < m_count && m_keys[k].Hash == h; k++) {
      CString target;
      if (m_folders.Resolve(m_keys[k].Row->Entry, target) && LowerTextMb(target) == lowered.c_str()) return true;
    }
    return false;
  }

 private:
  struct Key {
    unsigned Hash;
    const CFileList::Node* Row;
  };
  static int CompareKeys(const void* a, const void* b) {
    unsigned x = static_cast<const Key*>(a)->Hash, y = static_cast<const Key*>(b)->Hash;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  CTargetSet(const CTargetSet&);
  CTargetSet& operator=(const CTargetSet&);
  const CInstallFolders& m_folders;
  Key* m_keys;
  int m_count;
};

bool Exists(const char* path) { return GetAttributes(path) != INVALID_FILE_ATTRIBUTES; }

// Whether the folder of a row's target is there, looked at once for the files
// of one folder (they follow each other): a target in a folder that is not
// there is not there either, and needs no look of its own.
class CFolderLook {
 public:
  CFolderLook() : m_there(false) {}
  bool Holds(const char* target) {
    CString folder = FolderOf(target);
    if (m_folder.IsEmpty() || folder != m_folder.c_str()) {
      m_folder = folder;
      m_there = Exists(folder);
    }
    return m_there && Exists(target);
  }

 private:
  CString m_folder;
  bool m_there;
};

// True when path lies below folder.
bool IsBelow(const char* path, const char* folder) {
  CString top = LowerTextMb(WithBackslash(folder));
  CString lowered = LowerTextMb(path);
  return lowered.GetLength() > top.GetLength() && strncmp(lowered, top, top.GetLength()) == 0;
}

}  // namespace

CCopyEngine::CCopyEngine(CPackage& package, ICopyPage& page, ICopyServices& services)
    : FailedCount(0),
      Stopped(false),
      Damaged(false),
      RolledBack(false),
      RestartNeeded(false),
      m_package(package),
      m_page(page),
      m_services(services),
      m_rate(0.0),
      m_steps(0),
      m_typesRegistered(false),
      m_total(0),
      m_done(0),
      m_start(0),
      m_copying(false),
      m_previousTableRead(false) {
  m_reader.UseBlocks(&package.Blocks);
  m_reader.SetReadProgress(ShowReadProgress, this);
}

// A run that neither stood nor was taken back leaves its undo folder as a
// crash would: the next run puts its old copies back.
CCopyEngine::~CCopyEngine() { ForgetSteps(); }

CString CCopyEngine::TargetPath(int index) {
  CString path;
  if (m_package.FileList.MoveTo(index)) Folders.Resolve(*m_package.FileList.Current(), path);
  return path;
}

CString CCopyEngine::DestPath(int index) {
  CString path = TargetPath(index);
  if (path.IsEmpty()) return path;
  // A row that would leave its folder gets no folders and no path.
  if (!IsContainedEntry(*m_package.FileList.Current())) return CString();
  MakeFoldersOf(path);
  return path;
}

void CCopyEngine::MakeFoldersOf(const CString& path) {
  // Files of one folder follow each other: its folders are made once.
  int cut = ReverseFindCharMb(path, '\\');
  CString folder(path.c_str(), cut < 0 ? 0 : cut);
  if (!m_madeFolder.IsEmpty() && m_madeFolder == folder.c_str()) return;
  EnsureFolders(path);
  m_madeFolder = folder;
}

void CCopyEngine::EnsureFolders(const char* path) {
  int pos = 0;
  for (;;) {
    // Restarting right after a backslash keeps the scan on character starts.
    int rel = FindCharMb(path + pos, '\\');
    if (rel < 0) break;
    pos += rel;
    CString folder(path, pos);
    if (GetAttributes(folder) == INVALID_FILE_ATTRIBUTES && CreateFolder(folder)) NoteCreated(folder, true);
    pos++;
  }
}

CString CCopyEngine::CopyName(char kind, int index) {
  CString name;
  name.Format("%c%d", kind, index);
  return name;
}

void CCopyEngine::CopyEntry(int index) { CopyEntryTo(index, TargetPath(index)); }

ExtractResult CCopyEngine::Replace(int index, const FileEntry& e, const CString& dest, CopyFileResult& result) {
  result = kFileWritten;
  // A folder in the file's place is not the file's old copy: it stays, and
  // the file is not written.
  if (GetAttributes(dest) & FILE_ATTRIBUTE_FOLDER) return m_reader.Extract(e, dest);
  // A file in use stays as it is until the restart; the new one waits beside it.
  if (m_services.FileInUse(dest)) {
    CString beside = dest + BESIDE_SUFFIX;
    SetAttributesNormal(beside);
    ExtractResult r = m_reader.Extract(e, beside);
    if (r == kExtractDone) {
      Note(kStepBeside, beside, dest);
      result = kFileAtRestart;
    }
    return r;
  }
  CString copy = m_undo.SetAside(CopyName('r', index + 1), dest);
  if (copy.IsEmpty()) return m_reader.Extract(e, dest);  // no room for the old copy: written over as ever
  Note(kStepSetAside, dest, copy);
  ExtractResult r = m_reader.Extract(e, dest, true);
  return r == kExtractExists ? kExtractFailed : r;
}

void CCopyEngine::CopyEntryTo(int index, const CString& target) {
  if (!m_package.FileList.MoveTo(index)) return;
  if (!IsContainedEntry(*m_package.FileList.Current())) {
    // Listed as not installed, and nothing is written for it.
    NoteFailure(target);
    m_page.FileDone(target, kFileNotWritten);
    return;
  }
  CString dest = target;
  if (dest.IsEmpty()) return;
  MakeFoldersOf(dest);
  const FileEntry& e = *m_package.FileList.Current();
  if (!m_reader.IsOpen()) m_reader.Open(m_package.Path);
  // Through the row's method, its checksum checked; a region outside the
  // setup file (or of negative length) is data that is not there. A new file
  // is written at once (one look at the folder, not two); one that is there
  // goes by the row's copy mode.
  ExtractResult r = m_reader.Extract(e, dest, true);
  bool existed = r == kExtractExists || (r == kExtractFailed && GetAttributes(dest) != INVALID_FILE_ATTRIBUTES);
  bool copy = true;
  CopyFileResult result = kFileWritten;
  if (existed) {
    if (e.CopyMode == COPY_ASK) {
      CString question;
      question.Format(Text(kTextOverwriteQuestion), dest.c_str());
      copy = m_page.AskOverwrite(question);
    } else {
      copy = e.CopyMode == COPY_ALWAYS;
    }
    if (copy) r = Replace(index, e, dest, result);
  } else {
    NoteCreated(dest, false);
  }
  if (!copy) {
    result = kFileKept;
  } else if (r != kExtractDone) {
    NoteFailure(dest);
    result = kFileNotWritten;
  }
  m_page.FileDone(dest, result);
  if (IsOcx(dest) && result != kFileAtRestart) m_services.RegisterServer(dest);
}

void CCopyEngine::Note(StepKind kind, const char* path, const char* other) {
  Step* step = new Step;
  step->Kind = kind;
  step->Path = path;
  step->Other = other;
  step->Next = m_steps;
  m_steps = step;
  if (kind == kStepBeside || kind == kStepRemoveAtRestart) RestartNeeded = true;
}

void CCopyEngine::ForgetSteps() {
  while (m_steps) {
    Step* step = m_steps;
    m_steps = step->Next;
    delete step;
  }
}

void CCopyEngine::TakeBackMadeFolders() {
  // Only when empty, as everywhere: what others put there stays.
  if (!MadeFolder.IsEmpty()) RemoveFolder(MadeFolder);
  for (int i = 0; i < MadeParents.Count(); i++) RemoveFolder(MadeParents[i]);
}

void CCopyEngine::RollBack() {
  const TypeAssocRecord* assoc = m_package.TypeAssoc;
  for (int i = 0; m_typesRegistered && i < 2; i++) {
    if (assoc[i].Extension[0]) m_services.UndoFileType(assoc[i].Extension);
  }
  // A list association the replaced installation had too stays: its class
  // is the same, and its files come back below.
  for (int i = Types.Count - 1; m_typesRegistered && i >= 0; i--)
    if (!PreviousListType(Types.Items[i].Extension))
      m_services.UnregisterListType(ListTypeClass(m_package.ProductName, Types.Items[i].Extension), Types.Items[i]);
  Types.Count = 0;
  m_typesRegistered = false;
  // Newest first: a file before its folder, a folder before the one above it,
  // a new file before the old copy that comes back in its place.
  bool restored = true;
  for (Step* step = m_steps; step; step = step->Next) {
    const CString& path = step->Path;
    bool ocx = IsOcx(path);
    switch (step->Kind) {
      case kStepCreatedFolder:
        RemoveFolder(path);  // only when empty: what others put there stays
        break;
      case kStepCreatedFile:
      case kStepBeside:
        if (ocx && step->Kind == kStepCreatedFile) m_services.UnregisterServer(path);
        SetAttributesNormal(path);
        RemoveFile(path);
        break;
      case kStepSetAside:
      case kStepRemovedAside:
      case kStepCopiedAside:
        if (step->Kind == kStepSetAside && ocx && Exists(path)) m_services.UnregisterServer(path);
        SetAttributesNormal(path);
        if (step->Kind == kStepSetAside) RemoveFile(path);
        if (!MoveFileTo(step->Other, path)) restored = false;
        else if (ocx && step->Kind != kStepCopiedAside) m_services.RegisterServer(path);
        break;
      case kStepRemoveAtRestart:
        if (ocx) m_services.RegisterServer(path);  // unregistered before it was to go
        break;
    }
  }
  ForgetSteps();
  // An old copy that could not go back stays in the undo folder, which then
  // stays for the next run to put back.
  CPathList left;
  if (restored) m_undo.Close(left);
  else m_undo.Abandon();
  RestartNeeded = false;
  TakeBackMadeFolders();
}

void CCopyEngine::RemoveEmptyFolders(const char* from) {
  // From the folder up to, not including, the installation folder.
  for (CString folder = from; IsBelow(folder, Folders.InstallDir); folder = FolderOf(folder))
    if (!RemoveFolder(folder)) break;
}

void CCopyEngine::Commit(const CPathList& links, const char* programs) {
  CPathList left;
  m_undo.Close(left);
  RestartNeeded = false;
  NotScheduled.Clear();
  for (int i = 0; i < left.Count(); i++)
    if (m_services.AtRestart(left[i], "")) RestartNeeded = true;
  // For the restart the files first, then the folders they leave empty.
  for (Step* step = m_steps; step; step = step->Next) {
    if (step->Kind == kStepBeside || step->Kind == kStepRemoveAtRestart) {
      if (m_services.AtRestart(step->Path, step->Kind == kStepBeside ? step->Other.c_str() : "")) {
        RestartNeeded = true;
      } else if (step->Kind == kStepBeside) {
        // Nothing would ever put it in place.
        NotScheduled.Add(step->Other);
        SetAttributesNormal(step->Path);
        RemoveFile(step->Path);
      } else {
        NotScheduled.Add(step->Path);
      }
    } else if (step->Kind == kStepRemovedAside) {
      RemoveEmptyFolders(FolderOf(step->Path));
    }
  }
  for (Step* step = m_steps; step; step = step->Next) {
    if (step->Kind != kStepRemoveAtRestart) continue;
    for (CString folder = FolderOf(step->Path); IsBelow(folder, Folders.InstallDir); folder = FolderOf(folder))
      m_services.AtRestart(folder, "");
  }
  ForgetSteps();
  m_typesRegistered = false;
  if (PreviousLog.IsEmpty()) return;

  // The replaced installation's shortcuts that were not made again.
  CString oldGroup;
  for (int i = 0; i < m_previousLinks.Count(); i++) {
    const CString& link = m_previousLinks[i];
    CString group;
    // The group as the link spells it (the rule gives it lower-cased).
    if (oldGroup.IsEmpty() && ProgramGroupOf(link, programs, group)) oldGroup = link.Left(group.GetLength());
    if (links.Contains(link)) continue;
    SetAttributesNormal(link);
    RemoveFile(link);
  }
  // Its program group, when no new shortcut lies in it: the uninstaller's
  // shortcut, and the folder once empty.
  bool groupUsed = false;
  for (int i = 0; i < links.Count() && !oldGroup.IsEmpty() && !groupUsed; i++) {
    CString group;
    groupUsed = ProgramGroupOf(links[i], programs, group) && CompareNoCaseMb(group, oldGroup) == 0;
  }
  if (!oldGroup.IsEmpty() && !groupUsed) {
    CString ownLink = oldGroup + "\\" UNINSTALLER_LINK_NAME;
    SetAttributesNormal(ownLink);
    RemoveFile(ownLink);
    RemoveFolder(oldGroup);
  }
  // Its associations the package no longer has, of the two and of the list
  // (the classes of the list named as the replaced version named them).
  CString oldName = m_previousTableRead ? m_previousTable.ProductName : CString(m_package.ProductName);
  for (int i = 0; i < m_previousTypes.Count(); i++)
    if (!Associates(m_previousTypes[i])) m_services.UnregisterFileType(m_previousTypes[i]);
  for (int i = 0; i < m_previousListTypes.Count; i++) {
    const TypeRecord& record = m_previousListTypes.Items[i];
    if (!Associates(record.Extension))
      m_services.UnregisterListType(ListTypeClass(oldName, record.Extension), record);
  }
  RemoveObsoleteRegistry();
}

namespace {

// a names the same key as b or one below it (registry names are compared
// without regard to letter case).
bool KeyAtOrBelow(const RegReference& a, const RegReference& b) {
  return a.RootValue == b.RootValue && (CompareNoCaseMb(a.SubKey, b.SubKey) == 0 || IsBelow(a.SubKey, b.SubKey));
}

}  // namespace

// An entry the package still names stays, and so does one inside a key it
// names or one holding a key or value it names: deleting either would take
// what the new version uses (its own removal takes it later).
void CCopyEngine::RemoveObsoleteRegistry() {
  if (!m_previousTableRead) return;
  RegReference keys[REG_ENTRY_MAX], values[REG_ENTRY_MAX];
  bool isKey[REG_ENTRY_MAX], isValue[REG_ENTRY_MAX];
  for (int i = 0; i < REG_ENTRY_MAX; i++) {
    isKey[i] = ParseKeyReference(m_package.RegKeys[i], keys[i]);
    isValue[i] = ParseValueReference(m_package.RegValues[i], values[i]);
  }
  for (int k = 0; k < REG_ENTRY_MAX; k++) {
    RegReference old;
    if (!ParseKeyReference(m_previousTable.RegKeys[k], old)) continue;
    bool named = false;
    for (int i = 0; i < REG_ENTRY_MAX && !named; i++) {
      named = (isKey[i] && (KeyAtOrBelow(old, keys[i]) || KeyAtOrBelow(keys[i], old))) ||
              (isValue[i] && KeyAtOrBelow(values[i], old));
    }
    if (!named) m_services.DeleteKeyEntry(m_previousTable.RegKeys[k]);
  }
  for (int v = 0; v < REG_ENTRY_MAX; v++) {
    RegReference old;
    if (!ParseValueReference(m_previousTable.RegValues[v], old)) continue;
    bool named = false;
    for (int i = 0; i < REG_ENTRY_MAX && !named; i++) {
      named = (isKey[i] && KeyAtOrBelow(old, keys[i])) ||
              (isValue[i] && old.RootValue == values[i].RootValue &&
               CompareNoCaseMb(old.SubKey, values[i].SubKey) == 0 &&
               CompareNoCaseMb(old.ValueName, values[i].ValueName) == 0);
    }
    if (!named) m_services.DeleteValueEntry(m_previousTable.RegValues[v]);
  }
}

bool CCopyEngine::Associates(const char* ext) const {
  const TypeAssocRecord* assoc = m_package.TypeAssoc;
  for (int a = 0; a < 2; a++)
    if (assoc[a].Extension[0] && CompareNoCaseMb(assoc[a].Extension, ext) == 0) return true;
  for (int a = 0; a < m_package.AssociationCount; a++)
    if (CompareNoCaseMb(m_package.Associations[a].Extension, ext) == 0) return true;
  return false;
}

bool CCopyEngine::PreviousListType(const char* ext) const {
  for (int i = 0; i < m_previousListTypes.Count; i++)
    if (CompareNoCaseMb(m_previousListTypes.Items[i].Extension, ext) == 0) return true;
  return false;
}

void CCopyEngine::FoldersToLog(CPathList& folders) const {
  for (int i = 0; i < MadeParents.Count(); i++) folders.Add(MadeParents[i]);
  for (int i = 0; i < m_previousFolders.Count(); i++)
    if (!folders.Contains(m_previousFolders[i])) folders.Add(m_previousFolders[i]);
}

void CCopyEngine::ShowVerifyProgress(void* engine, long long done, long long total) {
  CCopyEngine* self = static_cast<CCopyEngine*>(engine);
  if (total > 0) self->m_page.SetProgress(static_cast<int>(done * kProgressMax / total));
}

void CCopyEngine::RegisterTypes() {
  const TypeAssocRecord* assoc = m_package.TypeAssoc;
  m_typesRegistered = true;
  if (assoc[0].Extension[0] || assoc[1].Extension[0] || m_package.AssociationCount > 0) {
    m_page.SetStatus(Text(kTextCreatingAssociations));
    m_services.Sleep(kPause);
  }
  for (int i = 0; i < 2; i++) {
    if (assoc[i].Extension[0]) m_services.RegisterFileType(assoc[i].Extension, Folders.ResolveRef(assoc[i].Program));
  }
  // The list's: each with a class of the product's own, what it replaces
  // noted for the log and for RollBack.
  for (int i = 0; i < m_package.AssociationCount && Types.Count < LIST_ITEM_MAX; i++) {
    const ListAssociation& a = m_package.Associations[i];
    CString program = Folders.ResolveRef(a.Program);
    CString icon = a.Icon.IsEmpty() ? program + ",0" : Folders.ResolveIconRef(a.Icon);
    TypeRecord& record = Types.Items[Types.Count++];
    record.Extension = a.Extension;
    m_services.RegisterListType(a.Extension, ListTypeClass(m_package.ProductName, a.Extension),
                                ListTypeCommand(program), a.Description, icon, record);
  }
}

bool CCopyEngine::VerifyPayload() {
  m_page.SetStatus(Text(kTextVerifying));
  bool ok = m_reader.IsOpen() && m_reader.VerifyPayload(m_package.Seal, m_package.Index.Offset, ShowVerifyProgress, this);
  m_page.SetProgress(0);
  return ok;
}

void CCopyEngine::ShowReadProgress(void* engine, long long rowBytes) {
  CCopyEngine* self = static_cast<CCopyEngine*>(engine);
  if (self->m_copying) self->ShowProgress(rowBytes);
}

void CCopyEngine::ShowProgress(long long rowBytes) {
  long long done = m_done + rowBytes, decoded = m_reader.DecodedBytes();
  if (decoded > done) done = decoded;
  if (done > m_total) done = m_total;
  UpdateEstimate(m_total, done, m_services.TickCount() - m_start);  // wraps like the tick count
  if (m_total > 0) {
    // done * 1000 / total, not done / (total * 0.001): with the x87's wider
    // intermediates the latter ends at 999 when everything is copied.
    double pos = static_cast<double>(done) * kProgressMax / static_cast<double>(m_total);
    m_page.SetProgress(pos >= kProgressMax ? kProgressMax : static_cast<int>(pos));
  }
}

void CCopyEngine::FindObsoleteFiles() {
  m_obsolete.Clear();
  CSetupLogReader log;
  if (!log.Open(PreviousLog) || !log.BeginFileList()) return;
  // Compared in their long forms: a log may name a file by its short name.
  CInstallFolders longFolders(m_services.LongPath(Folders.WindowsDir), m_services.LongPath(Folders.SystemDir),
                              m_services.LongPath(Folders.InstallDir));
  CTargetSet targets(m_package.FileList, longFolders);
  if (!targets.Ready()) return;  // no memory to tell: nothing is taken for gone
  CTargetSet spelled(m_package.FileList, Folders);
  if (!spelled.Ready()) return;
  CString path;
  while (log.NextFilePath(path)) {
    // Most paths are spelled as the package's: only the others are looked at
    // in their long form (which reads each folder on the way).
    if (spelled.Contains(path)) continue;
    DWORD attributes = GetAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_FOLDER)) continue;
    if (targets.Contains(m_services.LongPath(path)) || m_obsolete.Contains(path)) continue;
    m_obsolete.Add(path);
  }
}

void CCopyEngine::FindFilesInUse(CPathList& inUse) {
  inUse.Clear();
  CFolderLook look;
  for (CFileList::Node* n = m_package.FileList.Head; n; n = n->Next) {
    CString target;
    if (!IsContainedEntry(n->Entry) || !MayOverwrite(n->Entry) || !Folders.Resolve(n->Entry, target)) continue;
    if (look.Holds(target) && m_services.FileInUse(target) && !inUse.Contains(target)) inUse.Add(target);
  }
  // Of the files to go, only those of the installation folder wait for a
  // restart: elsewhere a file in use stays.
  for (int k = 0; k < m_obsolete.Count(); k++)
    if (IsBelow(m_obsolete[k], Folders.InstallDir) && m_services.FileInUse(m_obsolete[k])) inUse.Add(m_obsolete[k]);
}

void CCopyEngine::PlanRun() {
  // An undo folder only when the run may replace or remove something.
  CString log = SetupLogPathIn(Folders.InstallDir);
  CString uninstaller = WithBackslash(Folders.InstallDir) + UNINSTALLER_NAME;
  bool any = m_obsolete.Count() > 0 || Exists(log) || Exists(uninstaller);
  CFolderLook look;
  for (CFileList::Node* n = m_package.FileList.Head; n && !any; n = n->Next) {
    CString target;
    if (IsContainedEntry(n->Entry) && MayOverwrite(n->Entry) && Folders.Resolve(n->Entry, target))
      any = look.Holds(target);
  }
  if (!any || !m_undo.Open(Folders.InstallDir)) return;

  // The plan: where each old copy will be, and what the run may create.
  CFolderLook planLook;
  int i = 0;
  for (CFileList::Node* n = m_package.FileList.Head; n; n = n->Next, i++) {
    CString target;
    if (!IsContainedEntry(n->Entry) || !Folders.Resolve(n->Entry, target)) continue;
    if (!planLook.Holds(target)) {
      m_undo.PlanNew(target);
    } else if (MayOverwrite(n->Entry)) {
      m_undo.PlanAside(CopyName('r', i + 1), target);
      m_undo.PlanNew(target + BESIDE_SUFFIX);
    }
  }
  for (int k = 0; k < m_obsolete.Count(); k++) m_undo.PlanAside(CopyName('o', k + 1), m_obsolete[k]);
  if (Exists(uninstaller)) m_undo.PlanAside("u", uninstaller);
  else m_undo.PlanNew(uninstaller);
  bool logThere = Exists(log);
  if (logThere) m_undo.PlanAside("log", log);
  m_undo.WritePlan();
  // setup.log is written anew at the end: its old copy is kept from here on.
  if (logThere) {
    CString copy = m_undo.CopyAside("log", log);
    if (!copy.IsEmpty()) Note(kStepCopiedAside, log, copy);
  }
}

bool CCopyEngine::Prepare() {
  // What a run in this folder that never ended left behind goes back first.
  RecoverInterruptedRuns(Folders.InstallDir);
  m_obsolete.Clear();
  m_previousTypes.Clear();
  m_previousLinks.Clear();
  m_previousFolders.Clear();
  m_previousListTypes.Count = 0;
  m_previousTableRead = false;
  if (!PreviousLog.IsEmpty()) {
    ReadSetupLogLists(PreviousLog, m_previousTypes, m_previousLinks, m_previousFolders, &m_previousListTypes);
    // Its uninstaller, beside its log, before the run writes the new one; a
    // missing or damaged one gives nothing to take back.
    m_previousTable = UninstallTable();
    m_previousTableRead = ReadUninstallTable(WithBackslash(FolderOf(PreviousLog)) + UNINSTALLER_NAME, m_previousTable);
    FindObsoleteFiles();
  }
  for (;;) {
    CPathList inUse;
    FindFilesInUse(inUse);
    if (inUse.Count() == 0) break;
    InUseAnswer answer = m_page.AskFilesInUse(m_services.ProgramsUsing(inUse), inUse.Lines(kFailedListMax));
    if (answer == kInUseCancel) return false;
    if (answer == kInUseIgnore) break;
  }
  PlanRun();
  return true;
}

void CCopyEngine::RemoveObsoleteFiles() {
  for (int k = 0; k < m_obsolete.Count(); k++) {
    const CString& path = m_obsolete[k];
    if (!Exists(path)) continue;
    bool inUse = m_services.FileInUse(path);
    bool own = IsBelow(path, Folders.InstallDir);
    // Outside the installation folder a file in use stays (it may be shared).
    if (inUse && !own) continue;
    if (IsOcx(path)) m_services.UnregisterServer(path);
    CString copy = inUse ? CString() : m_undo.SetAside(CopyName('o', k + 1), path);
    bool atRestart = false;
    if (!copy.IsEmpty()) {
      Note(kStepRemovedAside, path, copy);
    } else if (!inUse && !m_undo.IsOpen()) {
      // No undo folder to keep it in: removed as the uninstaller removes it.
      SetAttributesNormal(path);
      atRestart = !RemoveFile(path) && own;
    } else {
      atRestart = own;
    }
    if (atRestart) Note(kStepRemoveAtRestart, path);
    m_page.OldFileRemoved(path, atRestart);
  }
}

void CCopyEngine::NoteFailure(const char* dest) {
  if (FailedCount < kFailedListMax) {
    m_failed += "\r\n";
    m_failed += dest;
  } else if (FailedCount == kFailedListMax) {
    m_failed += "\r\n...";
  }
  FailedCount++;
}

CString CCopyEngine::EstimateText(long long s) {
  CString text;
  if (s < 60) text.Format(Text(kTextEstimateSeconds), static_cast<int>(s));
  else if (s < 3600) text.Format(Text(kTextEstimateMinutes), static_cast<int>(s / 60), static_cast<int>(s % 60));
  else
    text.Format(Text(kTextEstimateHours), static_cast<int>(s / 3600), static_cast<int>((s % 3600) / 60),
                static_cast<int>(s % 60));
  return text;
}

void CCopyEngine::UpdateEstimate(long long total, long long done, DWORD elapsed) {
  if (elapsed == 0) return;  // no time has passed: no speed to measure yet
  double speed = static_cast<double>(done) / elapsed;
  // Only a change of speed by more than a factor of four replaces the
  // remembered rate, so the estimate does not jitter from file to file.
  if (!(m_rate > 0)) m_rate = speed;
  else if (speed / m_rate > 4.0 || speed / m_rate < 0.25) m_rate = speed;
  if (!(m_rate > 0)) return;
  double remaining = static_cast<double>(total - done) / m_rate;
  // Far beyond any real run; keeps the conversion defined.
  if (remaining > 1e15) remaining = 1e15;
  long long ms = static_cast<long long>(remaining);
  CString text = EstimateText(ms / 1000);
  if (m_estimate != text.c_str()) ShowEstimate(text);
}

void CCopyEngine::ShowEstimate(const char* text) {
  m_estimate = text;
  m_page.SetEstimate(text);
}

int CCopyEngine::CopyAll() {
  ShowEstimate(Text(kTextEstimateUnknown));
  m_page.SetStatus(Text(kTextGettingFileInfo));
  CFileList& list = m_package.FileList;
  m_total = 0;
  for (CFileList::Node* n = list.Head; n; n = n->Next) AddCounted(m_total, n->Entry);
  m_done = 0;
  m_copying = false;
  m_rate = 0.0;
  FailedCount = 0;
  m_failed.Empty();
  Stopped = false;
  Damaged = false;
  RolledBack = false;
  RestartNeeded = false;
  ForgetSteps();
  m_typesRegistered = false;
  Types.Count = 0;
  m_madeFolder.Empty();
  m_reader.Open(m_package.Path);
  // An extended package is checked whole before its first file is written.
  if (m_package.Extended && !VerifyPayload()) {
    m_reader.Close();
    m_page.ShowError(Text(kTextPackageDamaged));
    m_page.StopAnimation();
    TakeBackMadeFolders();
    Damaged = true;
    return FailedCount;
  }
  if (!Prepare()) {
    m_reader.Close();
    Stopped = true;
    return FailedCount;
  }
  // Packed files are decoded ahead, on both threads, while the ones before
  // them are written.
  m_reader.DecodeAhead(list);
  m_services.Sleep(kPause);
  m_start = m_services.TickCount();
  m_copying = true;

  int count = list.Count;
  // Asked before each file, and once after the last one.
  bool stop = false;
  for (int i = 0; i < count; i++) {
    if ((stop = m_page.StopRequested())) break;
    CString target = TargetPath(i);
    CString status;
    status.Format(Text(kTextCopyingTo), ShortenPath(target, kStatusPathMax).c_str());
    m_page.SetStatus(status);
    CopyEntryTo(i, target);
    if (list.MoveTo(i)) AddCounted(m_done, *list.Current());
    ShowProgress(0);
  }
  m_copying = false;

  if (stop || m_page.StopRequested()) {
    m_reader.Close();
    Stopped = true;
    return FailedCount;
  }

  m_reader.Close();
  // What the replaced installation had and the package has no more.
  RemoveObsoleteFiles();
  CString uninstaller = WithBackslash(Folders.InstallDir) + UNINSTALLER_NAME;
  if (Exists(uninstaller)) {
    CString copy = m_undo.SetAside("u", uninstaller);
    if (!copy.IsEmpty()) Note(kStepSetAside, uninstaller, copy);
  } else {
    NoteCreated(uninstaller, false);
  }
  if (!m_services.WriteUninstaller(Folders.InstallDir)) m_page.ShowError(Text(kTextUninstallerFailed));

  RegisterTypes();

  // Files that could not be written are not passed over in silence. Over an
  // installation of the product, the run then takes itself back: a product
  // half of one version and half of the other would work as neither.
  if (FailedCount > 0) {
    CString text(Text(PreviousLog.IsEmpty() ? kTextFilesNotInstalled : kTextUpgradeFailed));
    text += m_failed;
    m_page.ShowError(text);
    if (!PreviousLog.IsEmpty()) {
      RollBack();
      RolledBack = true;
      m_page.StopAnimation();
      return FailedCount;
    }
  }

  m_page.SetStatus(Text(kTextInstallComplete));
  ShowEstimate(Text(kTextEstimateDone));
  m_page.SetProgress(kProgressMax);
  m_page.StopAnimation();
  m_services.Sleep(kPause);
  return FailedCount;
}
