// The product's entry in the system's list of installed programs: a key below
// HKEY_LOCAL_MACHINE\...\Uninstall that the setup writes and the uninstaller
// removes. The rules of its name and values are platform-free; writing and
// removing it is the platform's part.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"
#include "packageindex.h"

#define PRODUCT_ENTRY_ROOT "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

// The entry's key name, the same for every version of a product: the
// package's product.id when it gives one, else the product name with every
// backslash made "_" (a key name cannot hold one); "Setup" when both are empty.
CString ProductEntryKeyName(const PackageSettings& s);
// The key name the product name alone gives: the entry of a version of the
// product whose package had no product.id.
CString ProductNameEntryKeyName(const PackageSettings& s);

// The values that name the installation: the folder without its trailing
// backslash, the quoted uninstaller path, the same with " /S".
CString EntryInstallLocation(const char* installDir);
CString EntryUninstallString(const char* installDir);
CString EntryQuietUninstallString(const char* installDir);

// True when an entry with these InstallLocation and UninstallString values
// belongs to the installation in folder: the location is the folder (letter
// case and trailing backslashes aside) and the command starts with the quoted
// uninstaller path in that folder. The uninstaller removes only such entries.
bool EntryBelongsTo(const char* installLocation, const char* uninstallString, const char* folder);

// Kibibytes for a number of bytes, rounded up, held below 4 GiB KiB.
DWORD SizeInKiB(long long bytes);

// Orders two product versions: the parts between dots from the left, digits
// as numbers (leading zeros aside, of any length), other parts as text in any
// letter case; a missing part counts as 0 ("2" is "2.0"). Below 0 when a is
// older than b, 0 when they are the same version, above 0 when a is newer.
int CompareVersions(const char* a, const char* b);
// True when installing would put an older version over a newer one: both
// versions are known and installing is older.
bool IsDowngrade(const char* installing, const char* installed);

// What the entry of an installation says about it.
struct ProductEntryValues {
  CString InstallLocation;
  CString UninstallString;
  CString DisplayVersion;
};

#ifdef _WIN32
// Writes (or, for a product installed before, rewrites) the entry for an
// installation into installDir; displayIcon is the file whose first icon the
// list shows. Values the package no longer gives are removed. False when the
// key could not be created or a value not written.
bool WriteProductEntry(const PackageSettings& s, const char* installDir, const char* displayIcon,
                       long long installedBytes, CString& keyName);
// Removes every entry that belongs to the installation in folder but the one
// named except (none when null); how many.
int RemoveProductEntries(const char* folder, const char* except = 0);
// The values of the entry with that key name; false when there is none.
bool ReadProductEntry(const char* keyName, ProductEntryValues& values);
#endif
