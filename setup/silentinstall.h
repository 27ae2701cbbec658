// The unattended installation (/S): the runs of the copy and finish pages
// without any window. A stand-in for the pages answers as the switches say
// (the licence accepted, "覆盖" for the ask-rule unless /NOOVERWRITE, the
// finish page's shortcuts as the package's bits allow, nothing opened) and
// writes every action and every message to the /LOG file instead.
#pragma once
#include "common/runlog.h"
#include "setup/core/copyengine.h"
#include "setup/core/finishrun.h"
#include "setupservices.h"

struct SetupSwitches;

// The platform as the copy and finish runs reach it, with each action written
// to the account and every message counted instead of shown.
class CSilentServices : public CSetupServices {
 public:
  CSilentServices(const CPackage& package, CRunLog& log) : CSetupServices(package), Errors(0), m_log(log) {}

  void Sleep(DWORD ms);
  int RegisterServer(const char* path);
  void RegisterFileType(const char* ext, const char* program);
  void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                        const char* icon, TypeRecord& record);
  bool WriteUninstaller(const char* installDir);
  bool CreateShortcut(const char* target, const char* linkPath);
  void Open(const char* path);
  void ShowError(const char* text);

  int Errors;  // messages that would have been shown

 private:
  CRunLog& m_log;
};

// The whole unattended run, from the package as the start-up opened it
// (loaded, or damaged, or neither) to the entry in the list of installed
// programs; the program's exit code (common/exitcodes.h).
int RunSilentInstall(const SetupSwitches& switches, CPackage& package, BOOL loaded, BOOL damaged);
