// The uninstaller's temporary copy seen from outside: where the running copy
// lives, what is scheduled for removal at the next restart, and the restart
// of the prefix itself.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The program file of the process that owns the window.
std::string ProcessImageOf(HWND w);
// The exit code of the process that owns the window, once it has ended
// within the time; STILL_ACTIVE when it has not.
DWORD ExitCodeOf(HANDLE process, DWORD timeoutMs);
// The paths scheduled for removal at the next restart (the system's list of
// pending renames with an empty target).
std::vector<std::string> PendingRemovals();
// The folders "glb1a2b-*" in the temporary folder.
std::vector<std::string> TemporaryCopyFolders();
// Restarts the prefix as a restart of Windows would (wineboot -r): pending
// removals are carried out. False when it did not run.
bool RestartPrefix();
// TRUE when the file system keeps the access lists given to new folders
// (Wine keeps them only where the host's file system has extended attributes).
bool FileSystemKeepsAcls();
// TRUE when the folder's access list is protected and grants access to no
// one but the current user, the administrators and the system.
bool OnlyUserAdministratorsAndSystem(const std::string& folder);
