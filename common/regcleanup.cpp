#include "regcleanup.h"

#include "common/regref.h"
#include "framework/mbcs.h"
#include "framework/widetext.h"

HKEY RootKeyFromName(const char* name) {
  // The predefined constants, not the number cast to a handle: on 64-bit
  // builds they are sign-extended.
  switch (RootValueFromName(name)) {
    case ROOT_CLASSES_ROOT: return HKEY_CLASSES_ROOT;
    case ROOT_CURRENT_USER: return HKEY_CURRENT_USER;
    case ROOT_LOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
    case ROOT_USERS: return HKEY_USERS;
    case ROOT_CURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
    default: return NULL;
  }
}

void DeleteKeyEntry(const char* reference) {
  RegReference ref;
  if (!ParseKeyReference(reference, ref)) return;
  DeleteKeyTree(RootKeyFromName(ref.Root), ref.SubKey);
}

void DeleteValueEntry(const char* reference) {
  RegReference ref;
  if (!ParseValueReference(reference, ref)) return;
  DeleteValue(RootKeyFromName(ref.Root), ref.SubKey, ref.ValueName);
}

// Deletes the tree; TRUE when the key itself is gone afterwards.
//
// The walk reads index 0 again after each subkey it removed (removing one
// shifts the others down) and steps past a subkey that stays (no right to
// delete it, a path too long for the buffer, a name too long to enumerate).
// Every round thus either removes a subkey or moves the index on, so a key
// that cannot be deleted never makes the walk loop, and none is skipped. The
// round limit only guards against other software adding keys as fast as the
// walk removes them.
#define WALK_ROUND_LIMIT 1000000
static BOOL RemoveTree(HKEY root, const char* subkey, BOOL& opened) {
  HKEY key;
  opened = RegOpenKeyW(root, CWideText(subkey), &key) == ERROR_SUCCESS;
  if (!opened) return FALSE;
  DWORD index = 0;
  for (long round = 0; round < WALK_ROUND_LIMIT; round++) {
    WCHAR wideName[256];
    LONG r = RegEnumKeyW(key, index, wideName, sizeof wideName / sizeof wideName[0]);
    if (r == ERROR_MORE_DATA) {  // a name beyond the buffer: leave that key
      index++;
      continue;
    }
    if (r != ERROR_SUCCESS) break;  // no more items, or the key went away
    // A name without a code page 936 form cannot be joined into a path: that
    // key stays, like one too long for the buffer.
    BOOL lost = FALSE;
    CString narrow = NarrowText(wideName, -1, &lost);
    if (lost || narrow.GetLength() >= 256) {
      index++;
      continue;
    }
    const char* name = narrow;
    char child[KEY_PATH_SIZE];
    BOOL childOpened;
    if (!JoinKeyPath(child, sizeof child, subkey, name) || !RemoveTree(root, child, childOpened))
      index++;
  }
  BOOL gone = RegDeleteKeyW(root, CWideText(subkey)) == ERROR_SUCCESS;
  if (key != root) RegCloseKey(key);
  return gone;
}

BOOL DeleteKeyTree(HKEY root, const char* subkey) {
  // An empty path would open the root itself; deleting a root is never meant.
  if (!root || !subkey || !subkey[0]) return FALSE;
  BOOL opened;
  RemoveTree(root, subkey, opened);
  return opened;
}

BOOL DeleteValue(HKEY root, const char* subkey, const char* valueName) {
  if (!root || !valueName) return FALSE;
  HKEY key;
  if (RegOpenKeyW(root, CWideText(subkey ? subkey : ""), &key) != ERROR_SUCCESS) return FALSE;
  RegDeleteValueW(key, CWideText(valueName));
  if (key != root) RegCloseKey(key);
  return TRUE;
}
