#include "silentremoval.h"

#include "common/exitcodes.h"
#include "common/runlog.h"
#include "removalservices.h"
#include "uninstall/core/texts.h"
#include "uninstall/core/removalengine.h"

namespace {

class CSilentProgress : public IRemovalProgress {
 public:
  explicit CSilentProgress(CRunLog& log) : m_log(log) {}
  void SetHeadline(const char*) {}
  void SetStatus(const char* text) {
    if (text[0]) m_log.Line(text);
  }
  void SetProgress(int) {}
  void ShowMessage(const char* text) { m_log.Line(Text(kTextSilentMessage), text); }
  void FileLeft(const char* path) { m_log.Line(Text(kTextSilentLeft), path); }
  void FileAtRestart(const char* path) { m_log.Line(Text(kTextSilentAtRestart), path); }

 private:
  CRunLog& m_log;
};

int ExitCodeOf(CRemovalEngine& engine, RemovalOutcome outcome, BOOL all, CRunLog& log) {
  switch (outcome) {
    case kRemovalFinished:
      return EXIT_DONE;
    case kRemovalAtRestart:
      log.Line(Text(kTextFinishedRestart));
      return EXIT_RESTART_REQUIRED;
    case kRemovalNoLog:
      return EXIT_CANCELLED;
    case kRemovalStopped:
      return EXIT_FILES_LEFT;
    case kRemovalFilesLeft:
      break;
  }
  if (!all) return EXIT_FILES_LEFT;
  log.Line(Text(kTextSilentAll), engine.InstallFolder());
  RemovalResult result = engine.RemoveInstallFolder();
  return result == kFolderRemoved ? EXIT_DONE : result == kFolderRefused ? EXIT_REMOVAL_REFUSED : EXIT_FILES_LEFT;
}

}  // namespace

int RunSilentRemoval(UninstallSettings& settings, const UninstallSwitches& switches) {
  CRunLog log;
  log.Open(switches.LogPath);
  log.Line(Text(kTextSilentStart), settings.SetupLogPath);
  CSilentProgress progress(log);
  CRemovalServices services;
  CRemovalEngine engine(settings, progress, services);
  int code = ExitCodeOf(engine, engine.RunRemoval(), switches.All, log);
  CString line;
  line.Format(Text(kTextSilentExit), code);
  log.Line(line);
  return code;
}
