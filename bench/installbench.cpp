// Install throughput of the real copy page against CopyFileA, measured side by
// side under Wine in one run, and the setup's peak memory meanwhile.
//
//   installbench SETUP.exe DATA_FOLDER PRODUCT
//
// SETUP.exe is a package built from DATA_FOLDER (one [[file]] table naming the
// folder, installed into the installation folder); PRODUCT its product name.
// Copies DATA_FOLDER with CopyFileA into a fresh folder, then installs the
// package through its wizard into another, timing the copy page from its
// first showing to the finish page, and prints both times and their ratio.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "robot.h"
#include "snapshot.h"
#include "wizard.h"

namespace {

// The fixed pauses of the copy run (before timing starts and before the
// finish page): part of the page's time, not of its copying.
const double kPausesSeconds = 1.0;

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void ListFiles(const std::string& root, const std::string& rel, std::vector<std::string>& files,
               std::vector<std::string>& folders, unsigned long long& bytes) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.push_back(rel + name);
      ListFiles(root, rel + name + "\\", files, folders, bytes);
    } else {
      files.push_back(rel + name);
      bytes += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: installbench SETUP.exe DATA_FOLDER PRODUCT\n");
    return 2;
  }
  std::string setup = argv[1], data = argv[2], product = argv[3];
  if (data.back() != '\\') data += '\\';
  const std::string copyDir = "C:\\installbench-copy\\", installDir = "C:\\installbench-setup\\";
  RemoveTree(copyDir.substr(0, copyDir.size() - 1));
  RemoveTree(installDir.substr(0, installDir.size() - 1));

  std::vector<std::string> files, folders;
  unsigned long long bytes = 0;
  ListFiles(data, "", files, folders, bytes);
  double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  printf("data: %.1f MiB in %u files\n", mib, static_cast<unsigned>(files.size()));

  // CopyFileA: the folders, then every file.
  double t0 = Now();
  CreateDirectoryA(copyDir.c_str(), 0);
  for (const std::string& f : folders) CreateDirectoryA((copyDir + f).c_str(), 0);
  for (const std::string& f : files)
    if (!CopyFileA((data + f).c_str(), (copyDir + f).c_str(), FALSE)) {
      fprintf(stderr, "CopyFileA failed on %s\n", f.c_str());
      return 1;
    }
  double copySeconds = Now() - t0;
  RemoveTree(copyDir.substr(0, copyDir.size() - 1));

  // The setup: pages 1 to 3, then the copy page until the finish page shows.
  Robot robot;
  if (!robot.Start(setup)) {
    fprintf(stderr, "cannot start %s\n", setup.c_str());
    return 1;
  }
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  if (!wiz.ToCopyPage(product, installDir)) {
    fprintf(stderr, "the wizard did not reach its copy page\n");
    return 1;
  }
  double t1 = Now();
  if (!wiz.WaitForPage(IDC_FINISH_LINE1, 3600 * 1000)) {
    fprintf(stderr, "the copy page did not end\n");
    return 1;
  }
  double pageSeconds = Now() - t1;

  PROCESS_MEMORY_COUNTERS mem = {};
  mem.cb = sizeof mem;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, robot.ProcessId());
  BOOL haveMemory = process && GetProcessMemoryInfo(process, &mem, sizeof mem);
  if (process) CloseHandle(process);

  wiz.SetCheck(IDC_FINISH_GROUP, false);
  wiz.Press(ID_WIZFINISH);
  wiz.WaitForExit(60000);

  // Every file must be there with its size.
  unsigned missing = 0;
  for (const std::string& f : files) {
    WIN32_FILE_ATTRIBUTE_DATA a, b;
    if (!GetFileAttributesExA((data + f).c_str(), GetFileExInfoStandard, &a) ||
        !GetFileAttributesExA((installDir + f).c_str(), GetFileExInfoStandard, &b) ||
        a.nFileSizeLow != b.nFileSizeLow || a.nFileSizeHigh != b.nFileSizeHigh)
      missing++;
  }
  RemoveTree(installDir.substr(0, installDir.size() - 1));
  if (missing) {
    fprintf(stderr, "the installation is incomplete: %u files missing or short\n", missing);
    return 1;
  }

  double copying = pageSeconds - kPausesSeconds;
  printf("CopyFileA:  %.3f s  (%.0f MiB/s)\n", copySeconds, mib / copySeconds);
  printf("copy page:  %.3f s  (%.0f MiB/s), of which %.1f s fixed pauses\n", pageSeconds, mib / copying,
         kPausesSeconds);
  printf("ratio copy page / CopyFileA: %.2f (pauses excluded), %.2f (whole page)\n", copying / copySeconds,
         pageSeconds / copySeconds);
  if (haveMemory)
    printf("setup peak working set: %.1f MiB, peak committed: %.1f MiB\n",
           static_cast<double>(mem.PeakWorkingSetSize) / (1024.0 * 1024.0),
           static_cast<double>(mem.PeakPagefileUsage) / (1024.0 * 1024.0));
  else
    printf("setup peak memory: not available\n");
  return 0;
}
