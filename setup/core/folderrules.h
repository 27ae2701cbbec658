// The path rules of the destination folder page, apart from its window.
#pragma once
#include "common/pathlist.h"
#include "framework/cstring.h"
#include "setup/core/commandline.h"

// The longest installation folder, in bytes, typed or given.
const int kFolderMax = 255;

// "<Windows drive>\Program Files\<product>", without a trailing backslash.
CString DefaultInstallFolder(const char* windowsDir, const char* productName);
// The folder of the current user's programs: "<local application data>\Programs\"
// (the user's local application data folder given with or without its
// trailing backslash); empty when that folder is empty.
CString UserProgramsFolder(const char* localAppData);
// "<local application data>\Programs\<product>", without a trailing
// backslash: the folder proposed to an installation of the current user alone.
CString DefaultUserInstallFolder(const char* localAppData, const char* productName);
// The folder a destination is created in: the destination (with its trailing
// backslash) without its last level; empty when no backslash is left.
CString ParentFolder(const char* folderWithBackslash);

// Drive types as GetDriveTypeA gives them.
enum { kDriveNoRoot = 1, kDriveRemovable = 2, kDriveRemote = 4 };
// Why the installation folder may not be created under path, or null when it
// may: driveType is asked for a two-byte drive ("E:"), exists for any other path.
const char* FolderRefusal(const char* path, int (*driveType)(const char* drive),
                          bool (*exists)(const char* path));
// The unattended installation's rule for a folder given with /D=: the
// folders missing above it are made. Why it may not be made, as
// FolderRefusal says it for the first folder above it that is there (its
// parent when that is there, which is the folder page's rule), or null; the
// folders missing between that one and the folder itself go into missing,
// the deepest first.
const char* MissingParents(const char* folderWithBackslash, int (*driveType)(const char* drive),
                           bool (*exists)(const char* path), CPathList& missing);

// The scope an installation starts in: SCOPE_USER_WORD or SCOPE_MACHINE_WORD.
// A package of one scope installs in it whatever the switches say. A package
// that lets the user choose (packageScope SCOPE_ASK_WORD) takes /ALLUSERS or
// /CURRENTUSER; else the scope of the product's installation there is (the
// user's own when there are both: the one this user made); else the whole
// machine's when the setup runs with the administrator's rights, the user's
// when it does not (nobody is asked for rights they may not have).
const char* StartingScope(const char* packageScope, const SetupSwitches& switches, bool installedForUser,
                          bool installedForMachine, bool elevated);
