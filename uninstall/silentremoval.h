// The unattended removal (/S): the removal run without a window. Every
// message, every file left and how the run ended go to the /LOG file; with
// /ALL the files left go too (the folder guard still decides).
#pragma once
#include "uninstall/core/uninstallsettings.h"

// The run; the program's exit code (common/exitcodes.h).
int RunSilentRemoval(UninstallSettings& settings, const UninstallSwitches& switches);
