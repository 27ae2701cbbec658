#include "dllsearch.h"

#include <commctrl.h>
#include <commdlg.h>
#include <string.h>

#include "widetext.h"

// Not in every SDK's headers; values as the system defines them.
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

namespace {

BOOL g_limited = FALSE;

// A system DLL: by name (the manifest may redirect it, e.g. to the version 6
// common controls) when the search is limited to the system folder, else by
// its full path in the system folder; never by a bare name searched for.
HMODULE LoadSystemDll(const char* name) {
  if (g_limited) return LoadLibraryA(name);
  char path[MAX_PATH + 1];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = strlen(name);
  if (n == 0 || n + 1 + nameLength > MAX_PATH) return 0;
  path[n] = '\\';
  memcpy(path + n + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}

FARPROC SystemProc(const char* dll, const char* name) {
  HMODULE m = GetModuleHandleA(dll);
  if (!m) m = LoadSystemDll(dll);
  return m ? GetProcAddress(m, name) : 0;
}

}  // namespace

// The functions of DLLs that are not known DLLs, bound at their first call.
// Each definition takes the place of the import-table entry that the
// declaration in the system header refers to (__imp_<name>), so callers stay
// unchanged and the program's import table names no such DLL. A function
// that cannot be found fails as the system's would (0, FALSE or NULL).
// The function itself carries the import's own name (_<name>@<bytes>): the
// link-time optimiser sees calls by that name before it generates the
// indirect ones, and they must bind here, not to the import library.
#if defined(__i386__)
#define IMPORT_NAME(name, bytes) "_" #name "@" #bytes
#else
#define IMPORT_NAME(name, bytes) #name
#endif
#define IMPORT_ENTRY(name, bytes) "__imp_" IMPORT_NAME(name, bytes)
#define LATE_BOUND(dll, ret, name, bytes, params, args)                                   \
  extern "C" ret WINAPI Late##name params __asm__(IMPORT_NAME(name, bytes));            \
  ret WINAPI Late##name params {                                                        \
    typedef ret(WINAPI * Fn) params;                                                    \
    static Fn fn = 0;                                                                   \
    if (!fn) fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemProc(dll, #name))); \
    return fn ? fn args : ret();                                                        \
  }                                                                                     \
  extern "C" void* g_import##name __asm__(IMPORT_ENTRY(name, bytes));                  \
  void* g_import##name = reinterpret_cast<void*>(&Late##name);

LATE_BOUND("comctl32.dll", BOOL, InitCommonControlsEx, 4, (const INITCOMMONCONTROLSEX* a), (a))
LATE_BOUND("comctl32.dll", INT_PTR, PropertySheetW, 4, (LPCPROPSHEETHEADERW a), (a))
LATE_BOUND("comctl32.dll", HPROPSHEETPAGE, CreatePropertySheetPageW, 4, (LPCPROPSHEETPAGEW a), (a))
LATE_BOUND("comctl32.dll", BOOL, DestroyPropertySheetPage, 4, (HPROPSHEETPAGE a), (a))
LATE_BOUND("comdlg32.dll", BOOL, GetOpenFileNameW, 4, (LPOPENFILENAMEW a), (a))

FARPROC SystemLibraryProc(const char* dll, const char* name) { return SystemProc(dll, name); }

BOOL HardenDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
  SetDefaultDllDirectoriesFn setDefault =
      kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
             : 0;
  SetDllDirectoryFn setDirectory =
      kernel ? reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))
             : 0;
  // An empty DLL directory takes the current folder out of the search.
  if (setDirectory) setDirectory("");
  g_limited = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return g_limited;
}

HMODULE LoadLibraryBeside(const char* path) {
  if (g_limited) {
    HMODULE lib =
        LoadLibraryExW(CWideText(path), 0, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (lib) return lib;
  }
  return LoadLibraryW(CWideText(path));
}
