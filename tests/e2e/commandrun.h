// Command lines run as a deployment tool runs them (the unattended setup and
// uninstaller): to their end, the screen watched for any window meanwhile,
// and the account of the run (/LOG) read back.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A command line run to its end.
struct WatchedRun {
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  std::vector<std::string> windows;  // class and caption of each window seen
};

// Runs the command line and watches the screen every few milliseconds for a
// window that was not there before; a run past the time is ended.
WatchedRun RunWatched(const std::string& commandLine, DWORD timeoutMs = 60000);
std::string Quoted(const std::string& path);
// The /LOG file as UTF-8 (it starts with a byte-order mark), turned into code
// page 936 for comparing with the tests' texts.
std::string LogText(const std::string& path);
// How often what occurs in text.
size_t Count(const std::string& text, const std::string& what);
