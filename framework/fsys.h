// The few file-system operations the platform-free code needs, on both
// platforms.
//
// On the Linux host a backslash that is a character of its own (not the trail
// byte of a code page 936 character) is read as a folder separator, so that
// the same code runs in host tests with Windows-style paths such as
// "/tmp/x\sub\a.dll". Every host file operation of the core goes through
// HostPath for that reason (CFile::Open included).
#pragma once
#include "cstring.h"
#include "platform.h"

#define FILE_ATTRIBUTE_FOLDER 0x10

DWORD GetAttributes(const char* path);  // INVALID_FILE_ATTRIBUTES when absent
// Clears the read-only attribute (on the host: gives the owner write permission).
void SetAttributesNormal(const char* path);
bool RemoveFile(const char* path);
// Creates one folder (its parent must exist). False when it was not created,
// also when it already exists.
bool CreateFolder(const char* path);

#ifndef _WIN32
// path with its separator backslashes turned into slashes.
CString HostPath(const char* path);
#endif

// The size of a file; -1 when it cannot be read (absent, or not a file).
long long GetFileSize64(const char* path);
// Clears every attribute of a file or folder (read-only, hidden, system).
// False when that was refused or the path does not exist.
bool ClearAttributes(const char* path);
// Removes an empty folder, or a link to a folder (the link only); false when
// it is not empty or cannot be removed.
bool RemoveFolder(const char* path);
// True when path (no trailing separator, no wildcard) is itself a link or
// junction, not a plain file or folder.
bool IsLinkPath(const char* path);
// Moves a file to another name, replacing a file of that name; across
// volumes as a copy and a deletion; a read-only file keeps its attributes.
// False when it stayed where it was.
bool MoveFileTo(const char* from, const char* to);
// This process's number (its id), for names no other running process takes.
unsigned ProcessNumber();
