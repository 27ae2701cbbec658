// Where the builder meets the operating system. Paths are UTF-8 text all
// through the builder, on Windows too: the functions here turn them into
// UTF-16 for the system there (so names in any language work on a Windows of
// any display language), and give the same results and the same errno values
// (and so the same messages) on both.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

// A path from UTF-8 text, and back as UTF-8 with "/" between names (what
// Windows takes as well; messages read the same on both systems).
std::filesystem::path FsPath(const std::string& utf8);
std::string PathText(const std::filesystem::path& path);

struct FileInfo {
  bool regular = false;
  bool folder = false;
  bool link = false;  // a symbolic link or other reparse point (not followed)
  int64_t size = 0;
  uint64_t device = 0, id = 0;  // together: the same file under any name
  unsigned mode = 0;            // POSIX permissions (07777); 0 on Windows
};
// False, with errno set, when the path cannot be looked at.
bool StatPath(const std::string& path, FileInfo& info, bool followLinks = true);
bool StatFd(int fd, FileInfo& info);

// Opens for reading (a folder too, for StatFd to tell); never waits for a
// writer of a pipe. -1 with errno set.
int OpenRead(const std::string& path);
FILE* OpenFile(const std::string& path, const char* mode);
// An unnamed temporary file, gone when closed.
FILE* AnonymousTempFile();
// Creates a new file for writing whose path is the template with its last six
// "X" replaced; -1 with errno set.
int CreateUniqueFile(std::string& pathTemplate);
bool RemovePath(const std::string& path);
// Renames a file, replacing the target if it exists.
bool RenameOver(const std::string& from, const std::string& to);
// The file's data on the disk.
bool SyncToDisk(int fd);
int64_t FilePosition(int fd);
// Moves the descriptor to offset from the file's start; false with errno set.
bool SeekTo(int fd, int64_t offset);
// New files get the permissions a new program gets (POSIX; nothing on Windows).
void MakeExecutable(int fd);
// Gives the file the permissions of another (POSIX; true on Windows). false
// with errno set.
bool SameMode(const std::string& path, const FileInfo& like);

long ProcessId();
// True when no process of that id runs any more.
bool ProcessGone(long pid);
bool IsTerminal(FILE* stream);

// Writes a small text file whole; false with the reason when it cannot.
bool WriteText(const std::string& path, const std::string& text, std::string& error);

// The folder of the running mksetup program ("" when unknown).
std::string SelfFolder();

// Where mksetup looks for the setup program when no --stub is given, in
// order: beside itself, then (not on Windows) where an installation puts it,
// <prefix>/lib/mksetup/setup.exe for <prefix>/bin/mksetup.
std::vector<std::string> StubPlaces();
// StubPlaces() as one line: "a, b".
std::string StubPlacesText();
// The first of StubPlaces() that is a file, else "".
std::string FindStub();

#ifdef _WIN32
std::wstring WidePath(const std::string& utf8);
std::string Utf8Text(const wchar_t* text, int length = -1);
// errno for the last Win32 error.
void SetErrnoFromWin32();
#endif
