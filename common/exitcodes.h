// Exit codes of both programs, one table so that a script that runs either
// reads them alike. Values are fixed once published: add, never renumber.
#pragma once

enum ProgramExitCode {
  EXIT_DONE = 0,               // installation or removal finished
  EXIT_CANCELLED = 1,          // the user cancelled (or gave no setup.log)
  EXIT_DAMAGED_PACKAGE = 2,    // the package (or the uninstaller's own table) cannot be read
  EXIT_FOLDER_REFUSED = 3,     // the chosen installation folder may not be used
  EXIT_FILES_NOT_INSTALLED = 4,// the copy run ended with files not installed
  EXIT_FILES_LEFT = 5,         // the removal ended with files left in the folder
  EXIT_REMOVAL_REFUSED = 6,    // the folder may not be removed whole (a system or user folder)
  EXIT_COPY_FAILED = 7,        // the uninstaller's temporary copy could not be made, checked or started
  EXIT_DOWNGRADE_REFUSED = 8,  // a newer version is installed (the setup installs over it with /ALLOWDOWNGRADE)
  // An installation (or removal) for all users without the administrator's
  // rights in an unattended run, where nobody can be asked for them: the code
  // Windows gives for a program that requires elevation.
  EXIT_ELEVATION_REQUIRED = 740,
  // Done, but files in use are replaced or removed at the next restart: the
  // code Windows' deployment tools read as "restart required".
  EXIT_RESTART_REQUIRED = 3010,
};
