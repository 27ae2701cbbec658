// The registry references of the uninstaller's table ("ROOT|subkey" and
// "ROOT|subkey|name"), which a user can change in ridkit.exe, and the key
// paths formed from them and from the log's extensions.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "common/regref.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // A field of the table is text up to its first zero byte.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();
  RegReference key, value;
  if (ParseKeyReference(text.c_str(), key)) {
    if (key.RootValue == 0 || key.SubKey.IsEmpty()) __builtin_trap();  // never a whole root
  }
  if (ParseValueReference(text.c_str(), value)) {
    if (value.RootValue == 0 || value.ValueName.IsEmpty()) __builtin_trap();
  }
  RootValueFromName(text.c_str());
  TrimKeyPath(text.c_str());

  // Joining into a key-path buffer: a text that does not fit leaves it empty.
  char out[KEY_PATH_SIZE];
  size_t half = text.size() / 2;
  std::string parent = text.substr(0, half), name = text.substr(half);
  if (JoinKeyPath(out, sizeof out, parent.c_str(), name.c_str())) {
    if (strlen(out) >= sizeof out) __builtin_trap();
  } else if (out[0]) {
    __builtin_trap();
  }
  for (int i = 0; i < ASSOC_KEY_COUNT; i++) AssociationKey(text.substr(0, 3).c_str(), i);
  return 0;
}
