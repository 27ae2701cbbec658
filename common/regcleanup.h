// Removing the registry entries of a package: the keys and values named in
// the uninstaller's table, at uninstall time and, for those a newer version
// no longer names, when an upgrade stands (the file-type associations listed
// in setup.log go through RemoveFileType, shellhelpers.h).
// Nothing here reports a failure: what cannot be opened is skipped, what
// cannot be deleted stays.
#pragma once
#include <windows.h>

// The predefined key of a root name given exactly; null for any other text.
HKEY RootKeyFromName(const char* name);
// "ROOT|subkey": the key with everything below it. Ignored when the root is
// unknown or the subkey is empty (never a whole root key).
void DeleteKeyEntry(const char* reference);
// "ROOT|subkey|name" (subkey may be empty: a value of the root key itself).
// Ignored when the root is unknown or the value name is empty.
void DeleteValueEntry(const char* reference);
// Deletes subkey of root and everything below it. FALSE when the key cannot be
// opened. Subkeys whose path does not fit the walk's 256-byte buffer are left
// alone (and with them the keys above them, where the platform refuses to
// delete a key that has subkeys).
BOOL DeleteKeyTree(HKEY root, const char* subkey);
// FALSE when the key cannot be opened.
BOOL DeleteValue(HKEY root, const char* subkey, const char* valueName);
