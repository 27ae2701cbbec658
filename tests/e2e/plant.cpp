#include "plant.h"

#include <string.h>

#include "robot.h"

#ifndef PLANT_DIR
#error PLANT_DIR names the folder of the built planted DLLs
#endif

const char* const kPlantedDlls[2] = {"comctl32.dll", "comdlg32.dll"};

bool PlantDlls(const std::string& folder) {
  std::string from = WinePath(PLANT_DIR) + "\\";
  for (const char* dll : kPlantedDlls)
    if (!CopyFileA((from + dll).c_str(), (folder + dll).c_str(), FALSE)) return false;
  return true;
}

std::vector<std::string> LoadedPlants(const std::string& folder) {
  std::vector<std::string> loaded;
  for (const char* dll : kPlantedDlls)
    if (FileExists(folder + dll + ".loaded")) loaded.push_back(folder + dll);
  return loaded;
}

void RemovePlants(const std::string& folder) {
  for (const char* dll : kPlantedDlls) {
    DeleteFileA((folder + dll).c_str());
    DeleteFileA((folder + dll + ".loaded").c_str());
  }
}

static std::string OverridesKey(const std::string& program) {
  return "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
}

PreferPlantedDlls::PreferPlantedDlls(const std::vector<std::string>& programNames) : names_(programNames) {
  for (const std::string& program : names_) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, OverridesKey(program).c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &k, 0) !=
        ERROR_SUCCESS)
      continue;
    for (const char* dll : kPlantedDlls) {
      std::string name(dll, strlen(dll) - 4);  // without ".dll"
      RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    }
    RegCloseKey(k);
  }
}

PreferPlantedDlls::~PreferPlantedDlls() {
  for (const std::string& program : names_) {
    RegDeleteKeyA(HKEY_CURRENT_USER, OverridesKey(program).c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + program).c_str());
  }
}
