// The uninstaller's single application object.
#include "uninstallapp.h"

CUninstallApp theApp;
