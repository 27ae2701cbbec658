// The field-table reader, and the package index and the uninstaller's table
// (with its extension) behind it.
#include <stddef.h>
#include <stdint.h>

#include "common/fieldtable.h"
#include "common/packageindex.h"
#include "uninstall/core/uninstallsettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  CFieldTable t;
  t.LoadBytes(reinterpret_cast<const char*>(data), static_cast<int>(size), TABLE_KEY);
  PackageSettings s;
  ParsePackageIndex(t, s);
  for (int i = 0; i < s.FileList.Count; i++) s.FileList.MoveTo(i);
  CFieldTable u;
  u.LoadBytes(reinterpret_cast<const char*>(data), static_cast<int>(size), TABLE_KEY);
  UninstallSettings us;
  ParseUninstallTable(u, us);

  CFieldTable raw;
  raw.LoadBytes(reinterpret_cast<const char*>(data), static_cast<int>(size), "");
  // Every call either moves forward or keeps returning the empty string.
  for (size_t i = 0; i <= size; i++) {
    int before = raw.readPos;
    raw.NextField();
    if (raw.readPos == before) break;
  }
  return 0;
}
