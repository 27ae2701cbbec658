// The uninstaller's single application object.
#include "framework/dllsearch.h"
#include "uninstallapp.h"

// Before the application object and everything after it (this file's objects
// are made in order): the DLL search is limited first.
static const BOOL g_dllSearchHardened = HardenDllSearch();

CUninstallApp theApp;
