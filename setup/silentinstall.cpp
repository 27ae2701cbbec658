#include "silentinstall.h"

#include <string.h>

#include "common/exitcodes.h"
#include "common/productentry.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
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
    const char* format = result == kFileWritten  ? Text(kTextRunWritten)
                         : result == kFileKept   ? Text(kTextRunKept)
                         : result == kFileAtRestart ? Text(kTextRunAtRestart)
                                                    : Text(kTextRunNotWritten);
    m_log.Line(format, path);
  }
  // Nobody to ask: each file and program goes into the account, and the run
  // goes on (what is still in use then waits for the restart).
  InUseAnswer AskFilesInUse(const char* programs, const char* files) {
    Lines(Text(kTextRunInUse), files);
    Lines(Text(kTextRunInUseProgram), programs);
    return kInUseIgnore;
  }
  void OldFileRemoved(const char* path, bool atRestart) {
    m_log.Line(atRestart ? Text(kTextRunOldAtRestart) : Text(kTextRunOldRemoved), path);
  }

  int Errors;

 private:
  // One account line for each line of text.
  void Lines(const char* format, const char* text) {
    for (const char* p = text; *p;) {
      const char* end = strstr(p, "\r\n");
      int n = end ? static_cast<int>(end - p) : static_cast<int>(strlen(p));
      m_log.Line(format, CString(p, n));
      p += n + (end ? 2 : 0);
    }
  }
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

  // For whom: a package that lets the user choose takes /ALLUSERS or
  // /CURRENTUSER, else the scope of its installation, else the rights of the
  // run. Nobody can be asked for the administrator's rights here.
  bool ask = package.AskScope();
  PreviousInstallation found[2];
  StartScope(package, switches, found);
  if (ask) log.Line(package.UserScope() ? Text(kTextRunForCurrentUser) : Text(kTextRunForAllUsers));
  if (ask && !package.UserScope() && !ProcessElevated()) {
    log.Line(Text(kTextRunMessage), Text(kTextRunElevationRequired));
    return Finish(log, EXIT_ELEVATION_REQUIRED);
  }

  // The installation of the product the list of installed programs names:
  // its folder unless /D= gives one, and its version against this one.
  PreviousInstallation previous = found[package.UserScope() ? kForUser : kForMachine];
  if (previous.Found) {
    CString line;
    line.Format(Text(kTextRunPrevious), previous.Version.IsEmpty() ? "?" : previous.Version.c_str(), previous.Folder.c_str());
    log.Line(line);
  }
  if (previous.Found && IsDowngrade(package.ProductVersion, previous.Version)) {
    CString line;
    if (!switches.AllowDowngrade) {
      line.Format(Text(kTextRunDowngradeRefused), previous.Version.c_str(), package.ProductVersion.c_str());
      log.Line(line);
      return Finish(log, EXIT_DOWNGRADE_REFUSED);
    }
    line.Format(Text(kTextRunDowngrade), previous.Version.c_str());
    log.Line(line);
  }

  // The folder as the folder page would take it, with the page's refusals but
  // one: the folders missing above it are made.
  CString folder = switches.Folder;
  if (folder.IsEmpty()) folder = previous.Found ? previous.Folder : ProposedInstallFolder(package);
  log.Line(Text(kTextRunFolder), folder);
  if (folder.GetLength() > kFolderMax) {
    log.Line(Text(kTextRunFolderRefused), Text(kTextRunFolderTooLong));
    return Finish(log, EXIT_FOLDER_REFUSED);
  }
  folder = WithBackslash(folder);
  PrepareUserProgramsFolder(package, folder);
  CPathList parents;  // the deepest first
  const char* refusal = MissingParents(folder, DriveType, Exists, parents);
  for (int i = parents.Count() - 1; i >= 0 && !refusal; i--) {
    if (CreateFolder(parents[i])) {
      log.Line(Text(kTextRunFolderMade), parents[i]);
      continue;
    }
    refusal = Text(kTextBadFolder);
    for (int k = i + 1; k < parents.Count(); k++) RemoveFolder(parents[k]);
  }
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
  for (int i = 0; i < parents.Count(); i++) engine.MadeParents.Add(parents[i]);
  // Over the product's installation in this folder, an upgrade (or a repair)
  // in place.
  if (previous.Found && SameFolder(folder, previous.Folder)) engine.PreviousLog = SetupLogPathIn(folder);
  // Nothing written when the package is damaged (the message is in the
  // account); the folders made for the run have gone too. An upgrade that
  // could not write every file put the installation back as it was.
  int notWritten = engine.CopyAll();
  if (engine.Damaged) return Finish(log, EXIT_DAMAGED_PACKAGE);
  if (engine.RolledBack) return Finish(log, EXIT_FILES_NOT_INSTALLED);

  // The finish page's boxes: every kind of shortcut the package's files ask
  // for; the read-me and the program are not opened.
  bool uninstallerLinkPending = true;
  CFinishRun run(package, services, uninstallerLinkPending);
  run.Folders = engine.Folders;
  run.Types = &engine.Types;
  run.GroupName = package.ProductName;
  CPathList logFolders;
  engine.FoldersToLog(logFolders);
  run.LogFolders = &logFolders;
  FinishChoices choices = {1, 1, 1, 0, 0};
  if (run.Run(choices)) log.Line(Text(kTextRunSetupLog), SetupLogPathIn(folder));
  if (!run.LogWritten && !engine.PreviousLog.IsEmpty()) {
    // Without its log the new version could not be removed: the one before stays.
    engine.RollBack();
    log.Line(Text(kTextRunMessage), Text(kTextPreviousRestored));
    return Finish(log, EXIT_FILES_NOT_INSTALLED);
  }
  engine.Commit(run.Links, run.ProgramsFolder());
  for (int i = 0; i < engine.NotScheduled.Count(); i++) log.Line(Text(kTextRunNotScheduled), engine.NotScheduled[i]);

  CString key;
  bool written = RegisterProductEntry(package, engine.Folders, key);
  CString entry;
  entry.Format("%s\\" PRODUCT_ENTRY_ROOT "\\%s", package.UserScope() ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE",
               static_cast<const char*>(key));
  if (written) {
    log.Line(Text(kTextRunEntry), entry);
  } else {
    log.Line(Text(kTextRunEntryFailed), entry);
    services.Errors++;
  }
  if (engine.RestartNeeded) log.Line(Text(kTextRestartNeeded));
  BOOL complete = notWritten == 0 && page.Errors == 0 && services.Errors == 0 && engine.NotScheduled.Count() == 0;
  if (!complete) return Finish(log, EXIT_FILES_NOT_INSTALLED);
  return Finish(log, engine.RestartNeeded ? EXIT_RESTART_REQUIRED : EXIT_DONE);
}
