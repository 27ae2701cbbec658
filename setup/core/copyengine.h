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
#include "framework/cstring.h"
#include "framework/platform.h"

const int kProgressMax = 1000;
const int kStatusPathMax = 36;
// Failed files listed by name in the closing message; the rest become "...".
const int kFailedListMax = 20;

// What became of one file of the package.
enum CopyFileResult { kFileWritten, kFileKept, kFileNotWritten };

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
  // The undoing of RegisterServer, RegisterFileType and RegisterListType,
  // for RollBack.
  virtual int UnregisterServer(const char* path) = 0;
  virtual void UnregisterFileType(const char* ext) = 0;
  virtual void UnregisterListType(const char* typeClass, const TypeRecord& record) = 0;

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
  // Undoes what the last run created: the files and folders that were not
  // there before it (newest first, a folder only when it is empty again), the
  // uninstaller it wrote, the controls it registered among those files and
  // the associations it made (a list association's ".ext" as it found it),
  // and MadeFolder when it is empty again. Files it overwrote keep their new
  // contents. A second call does nothing.
  void RollBack();

  // The remaining-time text for a number of seconds.
  static CString EstimateText(long long seconds);

  CInstallFolders Folders;  // taken by the page when the run starts
  // The installation folder when it was made for this installation (empty
  // otherwise): a run that installs nothing takes it back.
  CString MadeFolder;

  // What the last run's list associations found, for setup.log.
  TypeRecordList Types;

  int FailedCount;  // files of the last run that were not written completely
  bool Stopped;     // the page stopped the last run
  bool Damaged;     // the last run found the payload damaged: nothing was written

 private:
  // One file or folder the run created; a list, newest first.
  struct CreatedPath {
    CString Path;
    bool Folder;
    CreatedPath* Next;
  };
  void NoteCreated(const char* path, bool folder);
  void ForgetCreated();
  void NoteFailure(const char* dest);
  void CopyEntryTo(int index, const CString& target);
  void MakeFoldersOf(const CString& path);
  bool VerifyPayload();
  void RegisterTypes();
  static void ShowVerifyProgress(void* engine, long long done, long long total);
  void UpdateEstimate(long long total, long long done, DWORD elapsed);
  void ShowEstimate(const char* text);

  CPackage& m_package;
  ICopyPage& m_page;
  ICopyServices& m_services;
  CString m_failed;    // the listed part of the closing message
  CString m_estimate;  // the remaining-time text the page shows
  double m_rate;     // remembered copy speed, bytes per millisecond
  CreatedPath* m_created;
  bool m_typesRegistered;  // the run went as far as the associations

  CCopyEngine(const CCopyEngine&);
  CCopyEngine& operator=(const CCopyEngine&);
  CPackageFile m_reader;  // the setup file, open across files during a run
  CString m_madeFolder;    // the folder of the file DestPath saw last (its folders exist)
};
