// Registry references of the package ("ROOT|subkey" for a key, "ROOT|subkey|name"
// for a value) and the keys of a file-type association: the text rules, kept
// apart from the registry calls so that both platforms can test them.
#pragma once
#include <stddef.h>

#include "framework/cstring.h"
#include "framework/platform.h"

// Handle values of the predefined root keys.
#define ROOT_CLASSES_ROOT 0x80000000u
#define ROOT_CURRENT_USER 0x80000001u
#define ROOT_LOCAL_MACHINE 0x80000002u
#define ROOT_USERS 0x80000003u
#define ROOT_CURRENT_CONFIG 0x80000005u

// A key path during a tree walk is held in this many bytes, terminator included.
#define KEY_PATH_SIZE 256
#define ASSOC_KEY_COUNT 6

// The handle value of a root name given exactly (letter case included); 0 for
// any other text.
DWORD RootValueFromName(const char* name);

struct RegReference {
  CString Root;       // text before the first "|"
  CString SubKey;     // one leading, then one trailing backslash removed
  CString ValueName;  // value references only: text after the last "|"
  DWORD RootValue;    // 0 when Root is not a known root name
};

// Splits a key reference: subkey = text after the last "|" (the whole text
// without one). True only when there is something to delete: a known root and
// a non-empty subkey, so a reference never names a whole root key.
bool ParseKeyReference(const char* text, RegReference& ref);
// Splits a value reference: value name = text after the last "|", subkey =
// text between the first and the last "|" (empty: the root key itself). True
// only when the root is known and the value name is not empty.
bool ParseValueReference(const char* text, RegReference& ref);
// One leading backslash, then one trailing one, removed if present.
CString TrimKeyPath(const char* path);

// child = parent, a backslash unless parent ends with one, then name, into
// out of size bytes. False, with out left empty, when it does not fit: a cut
// path would name a different key.
bool JoinKeyPath(char* out, size_t size, const char* parent, const char* name);

// Key number index (0..5) of the association of extension ext under
// HKEY_CLASSES_ROOT, in deletion order: ".E", "Efile\DefaultIcon",
// "Efile\shell\open\command", "Efile\shell\open", "Efile\shell", "Efile".
CString AssociationKey(const char* ext, int index);

// The class of an association of the package's list: its keys below
// HKEY_CLASSES_ROOT are the product's own, never another program's "extfile".
// The product's name (each backslash made "_", cut to LIST_CLASS_PRODUCT_MAX
// bytes at a character boundary; "Setup" when empty), a dot, the extension.
#define LIST_CLASS_PRODUCT_MAX 200
CString ListTypeClass(const char* productName, const char* ext);
// Key number index (0..LIST_CLASS_KEY_COUNT-1) of that class in deletion
// order: "C\shell\open\command", "C\shell\open", "C\shell",
// "C\DefaultIcon", "C".
#define LIST_CLASS_KEY_COUNT 5
CString ListTypeClassKey(const char* typeClass, int index);
// The open command of a program: the path quoted, then "%1" quoted.
CString ListTypeCommand(const char* program);
