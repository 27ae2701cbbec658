// Temporary files of the work in progress (a package being written, its
// signed copy, a file being extracted): hidden names ".mksetup-PID-XXXXXX"
// beside where the result goes, which SIGINT, SIGTERM and SIGHUP (on Windows
// Ctrl+C and Ctrl+Break) remove before the program ends, so that an
// interrupted run leaves nothing of its own behind.
#pragma once
#include <stdint.h>

#include <string>

#ifdef _WIN32
// A folder open as a handle (HANDLE), or kCurrentFolder: a path from the
// current folder. A new file comes as a handle too.
typedef void* FolderRef;
typedef void* TempFileRef;
const FolderRef kCurrentFolder = nullptr;
const FolderRef kNoFolder = reinterpret_cast<FolderRef>(static_cast<intptr_t>(-1));  // INVALID_HANDLE_VALUE
#else
#include <fcntl.h>
// A folder's descriptor, or kCurrentFolder (AT_FDCWD). A new file comes as a
// descriptor.
typedef int FolderRef;
typedef int TempFileRef;
const FolderRef kCurrentFolder = AT_FDCWD;
const FolderRef kNoFolder = -1;
#endif

// The prefix of every temporary name.
extern const char kTempPrefix[];

// Creates a new temporary file in the folder dir (kCurrentFolder: folder is
// a path relative to the current folder or absolute; otherwise folder is
// only named in messages) without following links; the file, open for
// writing, and its name, which the signals now remove. false with the reason
// in error when it cannot be created.
bool CreateTempFile(FolderRef dir, const std::string& folder, TempFileRef& file, std::string& name,
                    std::string& error);
// The same below a path, as a descriptor of the C library; -1 on failure.
int CreateTempFd(const std::string& folder, std::string& name, std::string& error);
// A new temporary name in the folder that nothing holds yet, for a program
// that creates the file itself and refuses an existing one; the signals
// remove what comes to be there.
bool ReserveTempName(const std::string& folder, std::string& name, std::string& error);
// The temporary file has its final name (or is gone): the signals leave it.
void ReleaseTempFile(FolderRef dir, const std::string& name);
// Removes the temporary file and releases it.
void RemoveTempFile(FolderRef dir, const std::string& name);

// Installs the handlers of SIGINT, SIGTERM and SIGHUP that remove the
// temporary files held.
void RemoveTempFilesOnSignals();

// Removes temporary files left in the folder by runs that were killed
// outright (their process is gone).
void RemoveStaleTempFiles(const std::string& folder);

#ifdef _WIN32
// Opens or creates the plain name below the folder handle dir, never
// following a reparse point at the name (NtCreateFile relative to dir):
// NtCreateFile's disposition and options. INVALID_HANDLE_VALUE with errno
// set on failure.
void* OpenBelow(FolderRef dir, const std::string& name, unsigned long access, unsigned long disposition,
                unsigned long options);
// Renames the file open as handle to the plain name in the folder dir,
// replacing a file (or link) of that name. false with errno set.
bool RenameBelow(void* file, FolderRef dir, const std::string& name);
// Removes the plain name below the folder dir (a link itself, not what it
// leads to).
bool RemoveBelow(FolderRef dir, const std::string& name);
#endif
