#include "copyengine.h"

#include <string.h>

#include "common/container.h"
#include "common/regref.h"
#include "common/shortenpath.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
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
  if (e.Method == kMethodLzma) return static_cast<long long>(e.Unpacked & 0x7FFFFFFFFFFFFFFFULL);
  return e.Length > 0 ? e.Length : 0;
}

// A sum of such counts; the sizes a damaged index claims stop at the largest
// number instead of wrapping round.
void AddCounted(long long& sum, const FileEntry& e) {
  long long n = CountedBytes(e);
  sum = sum > 0x7FFFFFFFFFFFFFFFLL - n ? 0x7FFFFFFFFFFFFFFFLL : sum + n;
}

}  // namespace

CCopyEngine::CCopyEngine(CPackage& package, ICopyPage& page, ICopyServices& services)
    : FailedCount(0),
      Stopped(false),
      Damaged(false),
      m_package(package),
      m_page(page),
      m_services(services),
      m_rate(0.0),
      m_created(0),
      m_typesRegistered(false) {}

CCopyEngine::~CCopyEngine() { ForgetCreated(); }

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

void CCopyEngine::CopyEntry(int index) { CopyEntryTo(index, TargetPath(index)); }

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
  if (existed) {
    if (e.CopyMode == COPY_ASK) {
      CString question;
      question.Format(Text(kTextOverwriteQuestion), dest.c_str());
      copy = m_page.AskOverwrite(question);
    } else {
      copy = e.CopyMode == COPY_ALWAYS;
    }
    if (copy) r = m_reader.Extract(e, dest);
  } else {
    NoteCreated(dest, false);
  }
  CopyFileResult result = kFileKept;
  if (copy) {
    result = kFileWritten;
    if (r != kExtractDone) {
      NoteFailure(dest);
      result = kFileNotWritten;
    }
  }
  m_page.FileDone(dest, result);
  if (IsOcx(dest)) m_services.RegisterServer(dest);
}

void CCopyEngine::NoteCreated(const char* path, bool folder) {
  CreatedPath* c = new CreatedPath;
  c->Path = path;
  c->Folder = folder;
  c->Next = m_created;
  m_created = c;
}

void CCopyEngine::ForgetCreated() {
  while (m_created) {
    CreatedPath* c = m_created;
    m_created = c->Next;
    delete c;
  }
}

void CCopyEngine::RollBack() {
  const TypeAssocRecord* assoc = m_package.TypeAssoc;
  for (int i = 0; m_typesRegistered && i < 2; i++) {
    if (assoc[i].Extension[0]) m_services.UnregisterFileType(assoc[i].Extension);
  }
  for (int i = Types.Count - 1; m_typesRegistered && i >= 0; i--)
    m_services.UnregisterListType(ListTypeClass(m_package.ProductName, Types.Items[i].Extension), Types.Items[i]);
  Types.Count = 0;
  m_typesRegistered = false;
  // Newest first: a file before its folder, a folder before the one above it.
  for (CreatedPath* c = m_created; c; c = c->Next) {
    if (c->Folder) {
      RemoveFolder(c->Path);  // only when empty: what others put there stays
    } else {
      if (IsOcx(c->Path)) m_services.UnregisterServer(c->Path);
      SetAttributesNormal(c->Path);
      RemoveFile(c->Path);
    }
  }
  ForgetCreated();
  if (!MadeFolder.IsEmpty()) RemoveFolder(MadeFolder);  // only when empty, as above
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
  long long total = 0;
  for (CFileList::Node* n = list.Head; n; n = n->Next) AddCounted(total, n->Entry);
  long long done = 0;
  m_rate = 0.0;
  FailedCount = 0;
  m_failed.Empty();
  Stopped = false;
  Damaged = false;
  ForgetCreated();
  m_typesRegistered = false;
  Types.Count = 0;
  m_madeFolder.Empty();
  m_reader.Open(m_package.Path);
  // An extended package is checked whole before its first file is written.
  if (m_package.Extended && !VerifyPayload()) {
    m_reader.Close();
    m_page.ShowError(Text(kTextPackageDamaged));
    m_page.StopAnimation();
    if (!MadeFolder.IsEmpty()) RemoveFolder(MadeFolder);
    Damaged = true;
    return FailedCount;
  }
  // Packed files are decoded ahead, on both threads, while the ones before
  // them are written.
  m_reader.DecodeAhead(list);
  m_services.Sleep(kPause);
  DWORD start = m_services.TickCount();

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
    if (list.MoveTo(i)) AddCounted(done, *list.Current());
    DWORD elapsed = m_services.TickCount() - start;  // wraps like the tick count
    UpdateEstimate(total, done, elapsed);
    if (total > 0) {
      // done * 1000 / total, not done / (total * 0.001): with the x87's wider
      // intermediates the latter ends at 999 when everything is copied.
      double pos = static_cast<double>(done) * kProgressMax / static_cast<double>(total);
      m_page.SetProgress(pos >= kProgressMax ? kProgressMax : static_cast<int>(pos));
    }
  }

  if (stop || m_page.StopRequested()) {
    m_reader.Close();
    Stopped = true;
    return FailedCount;
  }

  m_reader.Close();
  CString uninstaller = Folders.InstallDir;
  uninstaller += UNINSTALLER_NAME;
  if (GetAttributes(uninstaller) == INVALID_FILE_ATTRIBUTES) NoteCreated(uninstaller, false);
  if (!m_services.WriteUninstaller(Folders.InstallDir)) m_page.ShowError(Text(kTextUninstallerFailed));

  RegisterTypes();

  // Files that could not be written are not passed over in silence.
  if (FailedCount > 0) {
    CString text(Text(kTextFilesNotInstalled));
    text += m_failed;
    m_page.ShowError(text);
  }

  m_page.SetStatus(Text(kTextInstallComplete));
  ShowEstimate(Text(kTextEstimateDone));
  m_page.SetProgress(kProgressMax);
  m_page.StopAnimation();
  m_services.Sleep(kPause);
  return FailedCount;
}
