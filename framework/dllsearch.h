// Where the programs load DLLs from. The setup runs from a download folder and
// the uninstaller's copy from the temporary folder, both elevated: a DLL of a
// system name planted beside them must never be loaded. The programs import
// only the system's known DLLs in the ordinary way; every other DLL is loaded
// at its first use, after HardenDllSearch has limited the search to the
// system folder.
#pragma once
#include "framework/platform.h"

// First thing at start-up: the system folder only for every later load by
// name (where the system can be told so), and never the current folder.
// TRUE when the search is limited to the system folder.
BOOL HardenDllSearch();

// Loads the DLL at an absolute path, with the DLLs it needs from its own
// folder or the system folder (a control the package installed). Before the
// search is limited, or for a relative path, the system's usual search.
HMODULE LoadLibraryBeside(const char* path);

// A function of a system DLL that not every system has (rstrtmgr.dll), the
// DLL loaded from the system folder only (by its full path there, or by name
// once the search is limited to it); null where the DLL or the function is
// not there.
FARPROC SystemLibraryProc(const char* dll, const char* name);
