#include "copyengine.h"

#include <string.h>

#include "../common/container.h"
#include "../common/shortenpath.h"
#include "../framework/fsys.h"
#include "../framework/mbcs.h"
#include "texts.h"

namespace {

// The pause before timing starts and before the associations and the finish
// page, so that each state can be read.
const DWORD kPause = 500;

BOOL IsOcx(const char* path) {
  int dot = ReverseFindCharMb(path, '.');
  return dot >= 0 && CompareNoCaseMb(path + dot + 1, "ocx") == 0;
}

// Lengths count only when positive: a negative one is bad input, not "minus".
long long CountedLength(LONG length) { return length > 0 ? length : 0; }

}  // namespace

CCopyEngine::CCopyEngine(PackageSettings& settings, ICopyPage& page, ICopyServices& services)
    : FailedCount(0), settings_(settings), page_(page), services_(services), rate_(0.0) {}

CString CCopyEngine::TargetPath(int index) {
  CString path;
  if (settings_.FileList.MoveTo(index)) Folders.Resolve(*settings_.FileList.Current(), path);
  return path;
}

CString CCopyEngine::DestPath(int index) {
  CString path = TargetPath(index);
  if (path.IsEmpty()) return path;
  // A row that would leave its folder gets no folders and no path.
  if (!IsContainedEntry(*settings_.FileList.Current())) return CString();
  EnsureFolders(path);
  return path;
}

void CCopyEngine::EnsureFolders(const char* path) {
  int pos = 0;
  for (;;) {
    // Restarting right after a backslash keeps the scan on character starts.
    int rel = FindCharMb(path + pos, '\\');
    if (rel < 0) break;
    pos += rel;
    CString folder(path, pos);
    if (GetAttributes(folder) == INVALID_FILE_ATTRIBUTES) CreateFolder(folder);
    pos++;
  }
}

void CCopyEngine::CopyEntry(int index) {
  if (!settings_.FileList.MoveTo(index)) return;
  if (!IsContainedEntry(*settings_.FileList.Current())) {
    // Listed as not installed, and nothing is written for it.
    NoteFailure(TargetPath(index));
    return;
  }
  CString dest = DestPath(index);
  if (dest.IsEmpty()) return;
  const FileEntry& e = *settings_.FileList.Current();
  BOOL copy = TRUE;
  if (GetAttributes(dest) != INVALID_FILE_ATTRIBUTES) {
    if (e.CopyMode == COPY_ASK) {
      CString question;
      question.Format(kTextOverwriteQuestion, dest.c_str());
      copy = page_.AskOverwrite(question);
    } else {
      copy = e.CopyMode == COPY_ALWAYS;
    }
  }
  if (copy) {
    // A negative length would mean "to the end of the setup file" to
    // ExtractRegion: it is data that is not there.
    if (e.Length < 0 || !ExtractRegion(dest, ModulePath, e.Offset, e.Length)) NoteFailure(dest);
  }
  if (IsOcx(dest)) services_.RegisterServer(dest);
}

void CCopyEngine::NoteFailure(const char* dest) {
  if (FailedCount < FAILED_LIST_MAX) {
    failed_ += "\r\n";
    failed_ += dest;
  } else if (FailedCount == FAILED_LIST_MAX) {
    failed_ += "\r\n...";
  }
  FailedCount++;
}

CString CCopyEngine::EstimateText(long long s) {
  CString text;
  if (s < 60) text.Format(kTextEstimateSeconds, static_cast<int>(s));
  else if (s < 3600) text.Format(kTextEstimateMinutes, static_cast<int>(s / 60), static_cast<int>(s % 60));
  else
    text.Format(kTextEstimateHours, static_cast<int>(s / 3600), static_cast<int>((s % 3600) / 60),
                static_cast<int>(s % 60));
  return text;
}

void CCopyEngine::UpdateEstimate(long long total, long long done, DWORD elapsed) {
  if (elapsed == 0) return;  // no time has passed: no speed to measure yet
  double speed = static_cast<double>(done) / elapsed;
  // Only a change of speed by more than a factor of four replaces the
  // remembered rate, so the estimate does not jitter from file to file.
  if (!(rate_ > 0)) rate_ = speed;
  else if (speed / rate_ > 4.0 || speed / rate_ < 0.25) rate_ = speed;
  if (!(rate_ > 0)) return;
  double remaining = static_cast<double>(total - done) / rate_;
  // Far beyond any real run; keeps the conversion defined.
  if (remaining > 1e15) remaining = 1e15;
  long long ms = static_cast<long long>(remaining);
  CString text = EstimateText(ms / 1000);
  if (estimate_ != text.c_str()) ShowEstimate(text);
}

void CCopyEngine::ShowEstimate(const char* text) {
  estimate_ = text;
  page_.SetEstimate(text);
}

int CCopyEngine::CopyAll() {
  ShowEstimate(kTextEstimateUnknown);
  page_.SetStatus(kTextGettingFileInfo);
  CFileList& list = settings_.FileList;
  long long total = 0;
  for (CFileList::Node* n = list.head; n; n = n->next) total += CountedLength(n->entry.Length);
  long long done = 0;
  rate_ = 0.0;
  FailedCount = 0;
  failed_.Empty();
  services_.Sleep(kPause);
  DWORD start = services_.TickCount();

  int count = list.count;
  for (int i = 0; i < count; i++) {
    CString status;
    status.Format(kTextCopyingTo, ShortenPath(TargetPath(i), STATUS_PATH_MAX).c_str());
    page_.SetStatus(status);
    CopyEntry(i);
    if (list.MoveTo(i)) done += CountedLength(list.Current()->Length);
    DWORD elapsed = services_.TickCount() - start;  // wraps like the tick count
    UpdateEstimate(total, done, elapsed);
    if (total > 0) {
      // done * 1000 / total, not done / (total * 0.001): with the x87's wider
      // intermediates the latter ends at 999 when everything is copied.
      double pos = static_cast<double>(done) * PROGRESS_MAX / static_cast<double>(total);
      page_.SetProgress(pos >= PROGRESS_MAX ? PROGRESS_MAX : static_cast<int>(pos));
    }
  }

  if (!services_.WriteUninstaller(Folders.InstallDir)) page_.ShowError(UNINSTALLER_FAILED_TEXT);

  const TypeAssocRecord* assoc = settings_.TypeAssoc;
  if (assoc[0].Extension[0] || assoc[1].Extension[0]) {
    page_.SetStatus(kTextCreatingAssociations);
    services_.Sleep(kPause);
  }
  for (int i = 0; i < 2; i++) {
    if (assoc[i].Extension[0]) services_.RegisterFileType(assoc[i].Extension, Folders.ResolveRef(assoc[i].Program));
  }

  // Files that could not be written are not passed over in silence.
  if (FailedCount > 0) {
    CString text(kTextFilesNotInstalled);
    text += failed_;
    page_.ShowError(text);
  }

  page_.SetStatus(kTextInstallComplete);
  ShowEstimate(kTextEstimateDone);
  page_.SetProgress(PROGRESS_MAX);
  page_.StopAnimation();
  services_.Sleep(kPause);
  return FailedCount;
}
