// The next restart's work for an installation of the current user alone.
// MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT is the administrators' (it
// writes the machine's pending renames): for the current user the work waits
// for the user's next logon instead, which follows every restart. One script
// of each run (CLogonScript) in the user's local application data folder does
// it in order, started once by a value of the user's RunOnce key that the
// system deletes as it starts it; the script then removes itself.
#pragma once
#include "common/logonscript.h"
#include "framework/platform.h"

// The user's key whose values the system runs at the next logon, once.
#define LOGON_RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
// The script's name (and its value's) begins so, a number of the run after it.
#define LOGON_WORK_BASE "logon-work-"
// What the system runs of a RunOnce value: at most this many characters.
#define LOGON_COMMAND_MAX 260

class CLogonWork {
 public:
  CLogonWork();
  // Like MoveFileEx(from, to or 0, MOVEFILE_DELAY_UNTIL_REBOOT
  // [| MOVEFILE_REPLACE_EXISTING]): from takes to's place (to given, not
  // empty) or goes, after the work scheduled before it. A folder goes only
  // when empty then. False, and nothing of it scheduled, when the script or
  // the value cannot be written.
  bool Schedule(const char* from, const char* to);

 private:
  CLogonWork(const CLogonWork&);
  CLogonWork& operator=(const CLogonWork&);
  bool Write(const CLogonScript& script);
  CLogonScript m_script;
  WCHAR m_path[MAX_PATH + 1];  // the script, once made
  WCHAR m_name[40];            // its value's name
};
