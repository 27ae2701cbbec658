// Planted DLLs: files named like the system DLLs the programs use that are not
// known DLLs, put beside a program; Wine is told to prefer such a file to its
// own DLL, as Windows takes a DLL found first in the program's folder.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The planted names: the DLLs the programs load themselves. Not planted:
// DLLs that Wine's own system DLLs load on their own account (version.dll,
// which Wine's advapi32 imports before the program's first line, uxtheme.dll,
// which Wine's common controls load ignoring the program's search limits);
// Windows takes neither from the program's folder for them.
extern const char* const kPlantedDlls[2];

// Copies every planted DLL into folder (which ends with a backslash).
bool PlantDlls(const std::string& folder);
// The planted DLLs in folder that were loaded (their marker files).
std::vector<std::string> LoadedPlants(const std::string& folder);
// Removes the planted DLLs and their markers from folder.
void RemovePlants(const std::string& folder);

// While it lives, the programs of these file names (without folder) prefer
// planted DLLs: Wine's per-program DLL overrides in the prefix's registry
// (the environment's overrides reach no program started from a test).
class PreferPlantedDlls {
 public:
  explicit PreferPlantedDlls(const std::vector<std::string>& programNames);
  ~PreferPlantedDlls();

 private:
  std::vector<std::string> names_;
};
