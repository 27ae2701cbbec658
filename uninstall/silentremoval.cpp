#include "silentremoval.h"

#include "common/exitcodes.h"
#include "common/runlog.h"
#include "removalservices.h"
#include "texts.h"
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
  void ShowMessage(const char* text) { m_log.Line(RUN_LOG_MESSAGE_FORMAT, text); }
  void FileLeft(const char* path) { m_log.Line(RUN_LOG_LEFT_FORMAT, path); }
  void FileAtRestart(const char* path) { m_log.Line(RUN_LOG_AT_RESTART_FORMAT, path); }

 private:
  CRunLog& m_log;
};

int ExitCodeOf(CRemovalEngine& engine, RemovalOutcome outcome, BOOL all, CRunLog& log) {
  switch (outcome) {
    case kRemovalFinished:
      return EXIT_DONE;
    case kRemovalAtRestart:
      log.Line(TEXT_FINISHED_RESTART);
      return EXIT_RESTART_REQUIRED;
    case kRemovalNoLog:
      return EXIT_CANCELLED;
    case kRemovalStopped:
      return EXIT_FILES_LEFT;
    case kRemovalFilesLeft:
      break;
  }
  if (!all) return EXIT_FILES_LEFT;
  log.Line(RUN_LOG_ALL_FORMAT, engine.InstallFolder());
  RemovalResult result = engine.RemoveInstallFolder();
  return result == kFolderRemoved ? EXIT_DONE : result == kFolderRefused ? EXIT_REMOVAL_REFUSED : EXIT_FILES_LEFT;
}

}  // namespace

int RunSilentRemoval(UninstallSettings& settings, const UninstallSwitches& switches) {
  CRunLog log;
  log.Open(switches.LogPath);
  log.Line(RUN_LOG_START_FORMAT, settings.SetupLogPath);
  CSilentProgress progress(log);
  CRemovalServices services;
  CRemovalEngine engine(settings, progress, services);
  int code = ExitCodeOf(engine, engine.RunRemoval(), switches.All, log);
  CString line;
  line.Format(RUN_LOG_EXIT_FORMAT, code);
  log.Line(line);
  return code;
}
