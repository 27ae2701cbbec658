// The programs' ways into the shell, the registry and COM: self-registration of
// controls, shortcuts, special folders, icons from bytes, file associations.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

// Loads the library and calls its DllRegisterServer. 0 when it does not load or
// the call fails (the library is then unloaded); 1 otherwise, also for a library
// without that entry point, which stays loaded. userScope: for the current
// user alone (CallServerEntry).
int RegisterServer(const char* path, bool userScope);
// Calls a loaded library's self-registration entry point of that name
// (DllRegisterServer, DllUnregisterServer); S_OK when it has none. For the
// current user alone (userScope), HKEY_CLASSES_ROOT stands for
// HKEY_CURRENT_USER\Software\Classes and HKEY_LOCAL_MACHINE for
// HKEY_CURRENT_USER while the entry point runs (RegOverridePredefKey, which
// holds for the whole process): what the library writes lands in the user's
// part of the registry, and what it removes is taken from there. Where the
// roots cannot be redirected the entry point is not called (E_ACCESSDENIED).
HRESULT CallServerEntry(HMODULE lib, const char* name, bool userScope);
// Saves a shell link at linkPath to target, working in the target's folder,
// shown normally. COM must be initialised. TRUE when the file was saved.
BOOL CreateShortcut(const char* target, const char* linkPath);
// The path of a special folder (CSIDL_*), ending in a backslash; a bare
// backslash when there is none or it has no code page 936 form.
CString GetSpecialFolderPath(int csidl);
// An icon (the caller's to destroy) from the bytes of an .ico file, at the
// system's default size; null when the bytes are not an icon.
HICON LoadIconFromBytes(const void* bytes, int count);
// Where the associations and classes of an installation live: below
// HKEY_CLASSES_ROOT for the whole machine, below HKEY_CURRENT_USER's
// USER_CLASSES_KEY for the current user alone (userScope).
#define USER_CLASSES_KEY "Software\\Classes"
HKEY ClassesRootKey(bool userScope);
// A key's path below ClassesRootKey(userScope): key itself, or
// "Software\Classes\" and key.
CString ClassesKeyPath(const char* key, bool userScope);
// Associates .ext with program (a full path) below the scope's classes
// (ClassesRootKey): the keys ".ext" and "extfile" with its icon and open command.
void RegisterFileType(const char* ext, const char* program, bool userScope);
// Deletes the six keys of the association of ext (without its dot) below the
// scope's classes, deepest first. An empty extension or one with a backslash
// names no association: nothing is touched.
void RemoveFileType(const char* ext, bool userScope);
// Associates .ext with the class typeClass below the scope's classes
// (ClassesRootKey): ".ext" names the class, which gets the description (when
// not empty) as the type's name, the icon ("path,index") and the open
// command. What ".ext" held before goes into record (TypeRecord, setup.log),
// so that UnregisterListType takes back exactly what was written.
void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                      const char* icon, struct TypeRecord& record, bool userScope);
// The class's keys (deepest first, a key others added below stays) and
// ".ext" below the scope's classes as the record says, only while it still
// names the class: made by the setup, its value goes and the key too once
// nothing is left in it; without a value before, the value goes; with one,
// it is set back.
void UnregisterListType(const char* typeClass, const struct TypeRecord& record, bool userScope);

// The process runs with the administrator's full rights: its token says it
// is elevated (TokenElevation). Where the token cannot say (a system without
// elevation) the process has what its user has: true.
bool ProcessElevated();
// Starts program with parameters (unquoted: the program takes the whole
// text) in folder (null: the current one) through the shell, with the verb
// "runas" when elevated (the system asks the user for the administrator's
// rights). ERROR_SUCCESS with the new process in process (the caller's to
// close); ERROR_CANCELLED when the user refused; any other error else.
DWORD StartProgram(const char* program, const char* parameters, const char* folder, bool elevated, HANDLE& process);
// Waits for a process to end and gives its exit code; FALSE when it cannot
// be read. The handle is closed either way.
BOOL WaitForExitCode(HANDLE process, DWORD& exitCode);

// The temporary file of the programs, in the user's temporary folder; empty
// when the temporary folder's path does not fit.
CString TempFilePath(const char* name);
#define TEMP_FILE_NAME "wren.tmp"
