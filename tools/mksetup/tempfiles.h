// Temporary files of the work in progress (a package being written, its
// signed copy, a file being extracted): hidden names ".mksetup-PID-XXXXXX"
// beside where the result goes, which SIGINT, SIGTERM and SIGHUP remove
// before the program ends, so that an interrupted run leaves nothing of
// its own behind.
#pragma once
#include <string>

// The prefix of every temporary name.
extern const char kTempPrefix[];

// Creates a new temporary file in the folder dirFd (AT_FDCWD: the current
// folder, with folder a path relative to it or absolute; otherwise folder is
// only named in messages) without following links; its descriptor (open for
// writing) and name, which the signals now remove. -1 with the reason in
// error when it cannot be created.
int CreateTempFile(int dirFd, const std::string& folder, std::string& name, std::string& error);
// A new temporary name in the folder that nothing holds yet, for a program
// that creates the file itself and refuses an existing one; the signals
// remove what comes to be there.
bool ReserveTempName(const std::string& folder, std::string& name, std::string& error);
// The temporary file has its final name (or is gone): the signals leave it.
void ReleaseTempFile(int dirFd, const std::string& name);
// Removes the temporary file and releases it.
void RemoveTempFile(int dirFd, const std::string& name);

// Installs the handlers of SIGINT, SIGTERM and SIGHUP that remove the
// temporary files held.
void RemoveTempFilesOnSignals();

// Removes temporary files left in the folder by runs that were killed
// outright (their process is gone).
void RemoveStaleTempFiles(const std::string& folder);
