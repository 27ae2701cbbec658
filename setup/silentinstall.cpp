#include "silentinstall.h"

#include "common/exitcodes.h"
#include "common/setuplog.h"
#include "framework/fsys.h"
#include "framework/widetext.h"
#include "setup/core/commandline.h"
#include "setup/core/folderrules.h"
#include "setup/core/texts.h"

namespace {

// The copy page's part: no window, each file and message into the account.
class CSilentCopyPage : public ICopyPage {
 public:
  CSilentCopyPage(CRunLog& log, BOOL noOverwrite) : Errors(0), m_log(log), m_noOverwrite(noOverwrite) {}

  void SetStatus(const char*) {}
  void SetEstimate(const char*) {}
  void SetProgress(int) {}
  void StopAnimation() {}
  bool AskOverwrite(const char* question) {
    m_log.Line(Text(kTextRunAsked), question);
    m_log.Line(m_noOverwrite ? Text(kTextRunAnswerKeep) : Text(kTextRunAnswerOverwrite));
    return !m_noOverwrite;
  }
  void ShowError(const char* text) {
    m_log.Line(Text(kTextRunMessage), text);
    Errors++;
  }
  void FileDone(const char* path, CopyFileResult result) {
    m_log.Line(result == kFileWritten ? Text(kTextRunWritten) : result == kFileKept ? Text(kTextRunKept) : Text(kTextRunNotWritten),
               path);
  }

  int Errors;

 private:
  CRunLog& m_log;
  BOOL m_noOverwrite;
};

int DriveType(const char* drive) { return static_cast<int>(GetDriveTypeW(CWideText(drive))); }
bool Exists(const char* path) { return GetAttributes(path) != INVALID_FILE_ATTRIBUTES; }

int Finish(CRunLog& log, int code) {
  CString line;
  line.Format(Text(kTextRunExitCode), code);
  log.Line(line);
  return code;
}

}  // namespace

void CSilentServices::Sleep(DWORD) {}  // nobody reads the states

int CSilentServices::RegisterServer(const char* path) {
  int result = CSetupServices::RegisterServer(path);
  m_log.Line(result ? Text(kTextRunRegistered) : Text(kTextRunNotRegistered), path);
  return result;
}

void CSilentServices::RegisterFileType(const char* ext, const char* program) {
  CSetupServices::RegisterFileType(ext, program);
  CString what;
  what.Format(".%s -> %s", ext, program);
  m_log.Line(Text(kTextRunAssociation), what);
}

void CSilentServices::RegisterListType(const char* ext, const char* typeClass, const char* command,
                                       const char* description, const char* icon, TypeRecord& record) {
  CSetupServices::RegisterListType(ext, typeClass, command, description, icon, record);
  CString what;
  what.Format(".%s -> %s", ext, command);
  m_log.Line(Text(kTextRunAssociation), what);
}

bool CSilentServices::WriteUninstaller(const char* installDir) {
  BOOL ok = CSetupServices::WriteUninstaller(installDir);
  if (ok) m_log.Line(Text(kTextRunUninstaller), CString(installDir) + UNINSTALLER_NAME);
  return ok;  // a failure is reported as the copy run's message
}

bool CSilentServices::CreateShortcut(const char* target, const char* linkPath) {
  BOOL ok = CSetupServices::CreateShortcut(target, linkPath);
  m_log.Line(ok ? Text(kTextRunShortcut) : Text(kTextRunShortcutFailed), linkPath);
  return ok;
}

void CSilentServices::Open(const char*) {}  // never asked: nothing is started unattended

void CSilentServices::ShowError(const char* text) {
  m_log.Line(Text(kTextRunMessage), text);
  Errors++;
}

int RunSilentInstall(const SetupSwitches& switches, CPackage& package, BOOL loaded, BOOL damaged) {
  CRunLog log;
  log.Open(switches.LogPath);  // without a log the run goes on: the exit code tells
  if (!switches.Unknown.IsEmpty()) log.Line(Text(kTextRunUnknownSwitch), switches.Unknown);
  if (!loaded) {
    log.Line(Text(kTextRunMessage), damaged ? Text(kTextPackageDamaged) : Text(kTextLoadFailed));
    return Finish(log, EXIT_DAMAGED_PACKAGE);
  }
  log.Line(Text(kTextRunStart), package.ProductName);

  // The folder as the folder page would take it, with the page's refusals.
  CString folder = switches.Folder;
  if (folder.IsEmpty()) folder = DefaultInstallFolder(WindowsFolderMb(254), package.ProductName);
  log.Line(Text(kTextRunFolder), folder);
  if (folder.GetLength() > kFolderMax) {
    log.Line(Text(kTextRunFolderRefused), Text(kTextRunFolderTooLong));
    return Finish(log, EXIT_FOLDER_REFUSED);
  }
  folder = WithBackslash(folder);
  const char* refusal = FolderRefusal(ParentFolder(folder), DriveType, Exists);
  if (refusal) {
    log.Line(Text(kTextRunFolderRefused), refusal);
    return Finish(log, EXIT_FOLDER_REFUSED);
  }
  BOOL madeFolder = !Exists(folder) && CreateFolder(folder);

  CSilentCopyPage page(log, switches.NoOverwrite);
  CSilentServices services(package, log);
  CCopyEngine engine(package, page, services);
  engine.Folders = CurrentFolders(folder);
  if (madeFolder) engine.MadeFolder = folder;
  // Nothing written when the package is damaged (the message is in the
  // account); the folder made for the run has gone too.
  int notWritten = engine.CopyAll();
  if (engine.Damaged) return Finish(log, EXIT_DAMAGED_PACKAGE);

  // The finish page's boxes: every kind of shortcut the package's files ask
  // for; the read-me and the program are not opened.
  bool uninstallerLinkPending = true;
  CFinishRun run(package, services, uninstallerLinkPending);
  run.Folders = engine.Folders;
  run.Types = &engine.Types;
  run.GroupName = package.ProductName;
  FinishChoices choices = {1, 1, 1, 0, 0};
  if (run.Run(choices)) log.Line(Text(kTextRunSetupLog), SetupLogPathIn(folder));

  CString key;
  if (RegisterProductEntry(package, engine.Folders, key)) {
    log.Line(Text(kTextRunEntry), key);
  } else {
    log.Line(Text(kTextRunEntryFailed), key);
    services.Errors++;
  }
  BOOL complete = notWritten == 0 && page.Errors == 0 && services.Errors == 0;
  return Finish(log, complete ? EXIT_DONE : EXIT_FILES_NOT_INSTALLED);
}
