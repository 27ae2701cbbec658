// The copy run of the fourth wizard page, apart from its window: destination
// paths, copy rules, self-registration, the uninstaller, the associations and
// the remaining-time estimate. The page and the platform are reached through
// two small interfaces, so the run works alike in the wizard, in tests and in
// benchmarks.
#pragma once
#include "common/installfolders.h"
#include "common/package.h"
#include "common/packagefile.h"
#include "common/setuplog.h"
#include "common/pathlist.h"
#include "common/runundo.h"
#include "framework/cstring.h"
#include "framework/platform.h"

const int kProgressMax = 1000;
const int kStatusPathMax = 36;
// Failed files listed by name in the closing message; the rest become "...".
const int kFailedListMax = 20;

// What became of one file of the package.
enum CopyFileResult {
  kFileWritten,
  kFileKept,
  kFileNotWritten,
  kFileAtRestart,  // in use: written beside it, to replace it at the next restart
};

// The answers to the question about files in use.
enum InUseAnswer {
  kInUseRetry,   // look again (the user closed the programs)
  kInUseIgnore,  // go on: what is still in use is replaced at the next restart
  kInUseCancel,  // end the run before its first file
};

// The name a file in use is written under beside it, until the restart
// replaces it: its own name and this.
#define BESIDE_SUFFIX ".~new"

// What the run shows and asks through its page.
class ICopyPage {
 public:
  virtual void SetStatus(const char* text) = 0;
  virtual void SetEstimate(const char* text) = 0;
  virtual void SetProgress(int pos) = 0;  // 0..kProgressMax
  // True when the user chose "覆盖".
  virtual bool AskOverwrite(const char* question) = 0;
  virtual void ShowError(const char* text) = 0;  // a message box with OK
  virtual void StopAnimation() = 0;
  // Each file once its copy rule was applied (the wizard's page shows no
  // such list; the unattended run writes it to its account).
  virtual void FileDone(const char* /*path*/, CopyFileResult /*result*/) {}
  // Asked before each file and once after the last: True stops the run there
  // (the user quit). A page may hold the run here while it asks the user
  // something; a page without a way to quit keeps this answer.
  virtual bool StopRequested() { return false; }
  // Before the first file: files the run is to replace or remove are open in
  // other programs. programs names those programs, one a line, where the
  // system can say (else it is empty); files are the files (the first
  // kFailedListMax of them and "..."). A page without anyone to ask goes on.
  virtual InUseAnswer AskFilesInUse(const char* /*programs*/, const char* /*files*/) { return kInUseIgnore; }
  // A file of the installation this run replaces that the package no longer
  // has, removed (atRestart: in use, removed at the next restart).
  virtual void OldFileRemoved(const char* /*path*/, bool /*atRestart*/) {}

 protected:
  ~ICopyPage() {}
};

// What the platform does for the run that tests must control or observe.
class ICopyServices {
 public:
  virtual DWORD TickCount() = 0;
  virtual void Sleep(DWORD ms) = 0;
  virtual int RegisterServer(const char* path) = 0;
  virtual void RegisterFileType(const char* ext, const char* program) = 0;
  // Writes ridkit.exe into the installation folder (ending with a backslash).
  virtual bool WriteUninstaller(const char* installDir) = 0;
  // An association of the package's list: ".ext" names typeClass, which is
  // made with its open command, description (when given) and icon; what
  // ".ext" held before goes into record (its Extension set by the caller).
  virtual void RegisterListType(const char* ext, const char* typeClass, const char* command,
                                const char* description, const char* icon, TypeRecord& record) = 0;
  // The undoing of RegisterServer, for RollBack and for controls the
  // package no longer has.
  virtual int UnregisterServer(const char* path) = 0;
  // Removes the association of an extension the package no longer has.
  virtual void UnregisterFileType(const char* ext) = 0;
  // The undoing of RegisterListType, for RollBack and for list
  // associations the package no longer has: ".ext" as record says it was.
  virtual void UnregisterListType(const char* typeClass, const TypeRecord& record) = 0;
  // The registry entries of the replaced installation's uninstaller table
  // that the package no longer names, once the run stands: "ROOT|subkey"
  // with everything below it, "ROOT|subkey|name". A reference that names no
  // key or value below a root is passed over.
  virtual void DeleteKeyEntry(const char* reference) = 0;
  virtual void DeleteValueEntry(const char* reference) = 0;
  // The undoing of RegisterFileType, for RollBack: puts back the association
  // it replaced, or removes it when there was none.
  virtual void UndoFileType(const char* ext) { UnregisterFileType(ext); }
  // True when another program has the file open: it cannot be opened for
  // writing without sharing.
  virtual bool FileInUse(const char* path) = 0;
  // The programs that have any of the files open, one a line; empty when the
  // system cannot say.
  virtual CString ProgramsUsing(const CPathList& /*files*/) { return CString(); }
  // At the next restart, from replaces to; with to empty, from is removed
  // (a folder only when it is empty by then). False when refused.
  virtual bool AtRestart(const char* from, const char* to) = 0;
  // The long, full form of an existing path, for telling whether two paths
  // name the same file; the path itself when there is none.
  virtual CString LongPath(const char* path) { return CString(path); }

 protected:
  ~ICopyServices() {}
};

class CCopyEngine {
 public:
  // The package is the run's input, whole: its file list, its associations,
  // and the setup file it reads the files from.
  CCopyEngine(CPackage& package, ICopyPage& page, ICopyServices& services);
  ~CCopyEngine();

  // The full destination path of an entry, as its row composes it.
  CString TargetPath(int index);
  // The same, once its missing folders are created; empty for a row that
  // would leave its folder (IsContainedEntry), which gets no folders.
  CString DestPath(int index);
  // Creates every missing folder along path; the part after the last
  // backslash is a file name and is left alone. Errors are ignored.
  void EnsureFolders(const char* path);
  // Applies the entry's copy rule and registers an "ocx" file. A copy that
  // fails, and a row that would leave its folder, is remembered for the
  // closing message.
  void CopyEntry(int index);
  // The whole run, from "正在获取文件信息..." to "安装完成" and the last pause;
  // the page moves on when it returns. The number of files not written
  // completely (0: every file is in place). A run the page stops ends at once
  // with Stopped set: no uninstaller, associations or closing message. An
  // extended package's payload is checked against its seal first: when it
  // does not match, the damage message is shown, nothing is written (and
  // MadeFolder, when empty, goes) and Damaged is set.
  int CopyAll();
  // Undoes what the last run did: the files and folders that were not there
  // before it (newest first, a folder only when it is empty again), the
  // files written beside their targets, the controls it registered among
  // those files and the associations it made (the ones they replaced come
  // back, a list association's ".ext" as it found it, one the replaced
  // installation had stays); the files it overwrote or removed, and setup.log, come back from
  // the run's undo folder (their controls registered again); then MadeFolder
  // and MadeParents when they are empty again. A second call does nothing.
  void RollBack();
  // After setup.log was written: the run stands. The old copies go, what
  // waits for the restart is scheduled, and of the installation it replaced
  // (PreviousLog) the shortcuts not in links, its program group when no new
  // shortcut lies in it (programs: the Programs folder, with its backslash),
  // the associations the package no longer has (of its list too, their
  // classes named after the product name its uninstaller's table gives), the
  // registry keys and values that table names and the package does not, and
  // the folders the removed files leave empty go too. A RollBack after it
  // does nothing.
  void Commit(const CPathList& links, const char* programs);
  // The folders setup.log lists for the removal: MadeParents and those the
  // replaced installation's log listed.
  void FoldersToLog(CPathList& folders) const;

  // The remaining-time text for a number of seconds.
  static CString EstimateText(long long seconds);

  CInstallFolders Folders;  // taken by the page when the run starts
  // The installation folder when it was made for this installation (empty
  // otherwise): a run that installs nothing takes it back.
  CString MadeFolder;
  // The folders made above it for this installation (/D=), the deepest
  // first: taken back with it, and listed in setup.log for the removal.
  CPathList MadeParents;
  // The setup.log of the installation of this product in the same folder
  // that the run replaces; empty for a new installation.
  CString PreviousLog;

  // What the last run's list associations found, for setup.log.
  TypeRecordList Types;

  int FailedCount;  // files of the last run that were not written completely
  bool Stopped;     // the page stopped the last run (or it was cancelled at the files in use)
  bool Damaged;     // the last run found the payload damaged: nothing was written
  // The run replaced an installation (PreviousLog) and could not write every
  // file: it put the installation back as it was (RollBack) and said so.
  bool RolledBack;
  // Files in use wait for the next restart (written beside their targets,
  // or to be removed then); after Commit, only when it could schedule that.
  bool RestartNeeded;
  // Commit's files in use whose replacement or removal at the restart could
  // not be scheduled: they stay as they are (a new copy written beside one
  // is removed again).
  CPathList NotScheduled;

 private:
  // What the run did that RollBack undoes and Commit settles; a list, newest first.
  enum StepKind {
    kStepCreatedFile,     // Path did not exist before
    kStepCreatedFolder,   // Path did not exist before
    kStepSetAside,        // Path was overwritten; its old copy is Other
    kStepRemovedAside,    // Path is gone (the package no longer has it); its old copy is Other
    kStepBeside,          // Path is written beside Other, to replace it at the restart
    kStepRemoveAtRestart, // Path (the package no longer has it) goes at the restart
    kStepCopiedAside,     // Path (setup.log) is kept as Other
  };
  struct Step {
    StepKind Kind;
    CString Path;
    CString Other;
    Step* Next;
  };
  void Note(StepKind kind, const char* path, const char* other = "");
  void NoteCreated(const char* path, bool folder) { Note(folder ? kStepCreatedFolder : kStepCreatedFile, path); }
  void ForgetSteps();
  void NoteFailure(const char* dest);
  void CopyEntryTo(int index, const CString& target);
  // Writes a row over the file at dest that is there, by its copy rule already
  // chosen: beside it when it is in use, else after its old copy is set aside.
  ExtractResult Replace(int index, const FileEntry& e, const CString& dest, CopyFileResult& result);
  void MakeFoldersOf(const CString& path);
  bool VerifyPayload();
  void RegisterTypes();
  // Before the first file: the files in use asked about, the replaced
  // installation's lists read, the undo folder and its plan made. False when
  // the run ends here (cancelled at the files in use).
  bool Prepare();
  // The files the run is to replace or remove that are in use now.
  void FindFilesInUse(CPathList& inUse);
  // Whether the row's target would be overwritten when it is there.
  bool MayOverwrite(const FileEntry& e) const { return e.CopyMode != COPY_IF_ABSENT; }
  // The files of the replaced installation that the package no longer has.
  void FindObsoleteFiles();
  void PlanRun();
  void RemoveObsoleteFiles();
  void RemoveEmptyFolders(const char* from);
  // The name of a row's old copy in the undo folder.
  static CString CopyName(char kind, int index);
  void TakeBackMadeFolders();
  // Whether the package associates ext (one of its two or of its list).
  bool Associates(const char* ext) const;
  // The replaced installation's registry entries the package no longer
  // names, keys first, then values, each in the table's order.
  void RemoveObsoleteRegistry();
  // Whether the replaced installation's log lists ext among its list's.
  bool PreviousListType(const char* ext) const;
  static void ShowVerifyProgress(void* engine, long long done, long long total);
  // The bar and the estimate by the bytes done: the rows passed and the
  // current row's bytes read, or the bytes decoded by either thread when
  // that is more (decoding runs ahead of writing).
  static void ShowReadProgress(void* engine, long long rowBytes);
  void ShowProgress(long long rowBytes);
  void UpdateEstimate(long long total, long long done, DWORD elapsed);
  void ShowEstimate(const char* text);

  CPackage& m_package;
  ICopyPage& m_page;
  ICopyServices& m_services;
  CString m_failed;    // the listed part of the closing message
  CString m_estimate;  // the remaining-time text the page shows
  double m_rate;     // remembered copy speed, bytes per millisecond
  Step* m_steps;
  bool m_typesRegistered;  // the run went as far as the associations
  long long m_total;       // the bytes of every row
  long long m_done;        // of the rows passed so far
  DWORD m_start;           // the tick count when copying started
  bool m_copying;          // between the first row and the last
  CRunUndo m_undo;         // the old copies, open once the run set something aside
  // Of the replaced installation's log: the files the package no longer has
  // (those there now), its extensions, shortcuts and folder list.
  CPathList m_obsolete, m_previousTypes, m_previousLinks, m_previousFolders;
  TypeRecordList m_previousListTypes;
  // The replaced installation's uninstaller table, when it could be read
  // before the run wrote the new one.
  UninstallTable m_previousTable;
  bool m_previousTableRead;

  CCopyEngine(const CCopyEngine&);
  CCopyEngine& operator=(const CCopyEngine&);
  CPackageFile m_reader;  // the setup file, open across files during a run
  CString m_madeFolder;    // the folder of the file DestPath saw last (its folders exist)
};
