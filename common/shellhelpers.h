// The programs' ways into the shell, the registry and COM: self-registration of
// controls, shortcuts, special folders, icons from bytes, file associations.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

// Loads the library and calls its DllRegisterServer. 0 when it does not load or
// the call fails (the library is then unloaded); 1 otherwise, also for a library
// without that entry point, which stays loaded.
int RegisterServer(const char* path);
// Calls a loaded library's self-registration entry point of that name
// (DllRegisterServer, DllUnregisterServer); S_OK when it has none.
HRESULT CallServerEntry(HMODULE lib, const char* name);
// Saves a shell link at linkPath to target, working in the target's folder,
// shown normally. COM must be initialised. TRUE when the file was saved.
BOOL CreateShortcut(const char* target, const char* linkPath);
// The path of a special folder (CSIDL_*), ending in a backslash; a bare
// backslash when there is none or it has no code page 936 form.
CString GetSpecialFolderPath(int csidl);
// An icon (the caller's to destroy) from the bytes of an .ico file, at the
// system's default size; null when the bytes are not an icon.
HICON LoadIconFromBytes(const void* bytes, int count);
// Associates .ext with program (a full path) under HKEY_CLASSES_ROOT: the keys
// ".ext" and "extfile" with its icon and open command.
void RegisterFileType(const char* ext, const char* program);
// Associates .ext with the class typeClass under HKEY_CLASSES_ROOT: ".ext"
// names the class, which gets the description (when not empty) as the
// type's name, the icon ("path,index") and the open command. What ".ext"
// held before goes into record (TypeRecord, setup.log), so that
// UnregisterListType takes back exactly what was written.
void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                      const char* icon, struct TypeRecord& record);
// The class's keys (deepest first, a key others added below stays) and
// ".ext" as the record says, only while it still names the class: made
// by the setup, its value goes and the key too once nothing is left in it;
// without a value before, the value goes; with one, it is set back.
void UnregisterListType(const char* typeClass, const struct TypeRecord& record);

// The temporary file of the programs, in the user's temporary folder; empty
// when the temporary folder's path does not fit.
CString TempFilePath(const char* name);
#define TEMP_FILE_NAME "wren.tmp"
