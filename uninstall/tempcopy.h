// The uninstaller's temporary copy: the program cannot remove its own file
// while it runs, so the user's instance starts a copy of itself that runs from
// the temporary folder. The copy gets a fresh folder of its own there, which
// only the current user, the administrators and the system may change, so
// that nothing else can plant a file beside it (a DLL it would load) or swap
// the copy between its writing and its start.
#pragma once
#include "common/logonwork.h"
#include "framework/cstring.h"
#include "framework/platform.h"

class CTemporaryCopy {
 public:
  CTemporaryCopy();
  ~CTemporaryCopy();

  // Makes a new folder below tempFolder and copies source into it as
  // "glb1a2b.exe"; then checks that the copy has the size and bytes of source
  // and holds it open against changes until Start. FALSE when any step fails
  // (what was made is removed again).
  BOOL Make(const char* source, const char* tempFolder);
  // Starts the checked copy with parameters, in its own folder, asking for
  // the administrator's rights when elevated (StartProgram). ERROR_SUCCESS
  // when it started (ERROR_CANCELLED: the user refused the rights). With
  // exitCode, waits for the copy to end and gives its exit code (an error
  // when that cannot be read).
  DWORD Start(const char* parameters, DWORD* exitCode = 0, bool elevated = false);
  // Schedules the copy, then its folder, for removal at the next start of
  // the system: the running copy cannot remove itself.
  BOOL ScheduleRemoval();
  // Schedules a file for removal at the next start of the system, before
  // the copy's. With AtLogon at the user's next logon instead (CLogonWork),
  // as all of the copy's work: for an installation of the current user
  // alone, and for an instance without the administrator's rights, to which
  // the system's delayed removal is refused.
  BOOL RemoveAtRestart(const char* path);

  CString Folder;  // the new folder, without a trailing backslash
  CString Path;    // the copy in it
  bool AtLogon;

 private:
  CTemporaryCopy(const CTemporaryCopy&);
  CTemporaryCopy& operator=(const CTemporaryCopy&);
  void Discard();
  HANDLE m_held;
  CLogonWork m_logonWork;  // the checked copy, open for reading and shared for reading only
};

// TRUE when the two open files have the same size and the same bytes.
BOOL SameFileContent(HANDLE a, HANDLE b);
