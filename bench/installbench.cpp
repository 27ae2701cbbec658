// Install throughput of the real copy page against CopyFileA and against a raw
// ReadFile/WriteFile loop over the package's own regions, measured side by
// side under Wine in one run, and the setup's peak memory meanwhile.
//
//   installbench SETUP.exe DATA_FOLDER PRODUCT [ONE_FILE_SETUP.exe]
//   installbench --verify FILE
//   installbench --reading SETUP.exe
//
// SETUP.exe is a package built from DATA_FOLDER (one [[file]] table naming the
// folder, installed into the installation folder); PRODUCT its product name.
// Copies DATA_FOLDER with CopyFileA into a fresh folder, copies the package's
// file regions with the raw loop into another (not for packed packages),
// then installs the package through its wizard into a third, timing the copy
// page from its first showing to the finish page, and prints the times and
// their ratios; with ONE_FILE_SETUP.exe (a package of one small file, same
// product) also the page's fixed part and the files' part apart. --reading
// times writing every row out through the package reader, each row read
// inline and read ahead. --verify times reading FILE whole, and reading it with the
// CRC-32 of the package check.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>
#include <commctrl.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/container.h"
#include "common/fieldtable.h"
#include "common/package.h"
#include "common/packagefile.h"
#include "framework/memory.h"
#include "robot.h"
#include "setupfile.h"
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

// The plainest copy of the package's regions: the setup file opened once,
// each row's region read and written in chunks of the setup's own size.
double RawLoop(const std::string& setup, const PackageSettings& s, const std::string& dir) {
  std::vector<char> buf(kPackageChunk);
  double t0 = Now();
  HANDLE in = CreateFileA(setup.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
  if (in == INVALID_HANDLE_VALUE) return -1;
  CreateDirectoryA(dir.c_str(), 0);
  std::string lastFolder;
  for (CFileList::Node* n = s.FileList.Head; n; n = n->Next) {
    const FileEntry& e = n->Entry;
    std::string sub = e.SubDir;
    std::string folder = dir + sub;
    if (!sub.empty() && folder != lastFolder) {
      for (size_t cut = dir.size(); (cut = folder.find('\\', cut + 1)) != std::string::npos;)
        CreateDirectoryA(folder.substr(0, cut).c_str(), 0);
      CreateDirectoryA(folder.c_str(), 0);
      lastFolder = folder;
    }
    std::string path = folder + (sub.empty() ? "" : "\\") + e.Name;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (out == INVALID_HANDLE_VALUE) return -1;
    SetFilePointer(in, e.Offset, 0, FILE_BEGIN);
    for (long left = e.Length; left > 0;) {
      DWORD want = left < kPackageChunk ? static_cast<DWORD>(left) : kPackageChunk, got = 0, put = 0;
      if (!ReadFile(in, buf.data(), want, &got, 0) || got == 0) return -1;
      if (!WriteFile(out, buf.data(), got, &put, 0) || put != got) return -1;
      left -= static_cast<long>(got);
    }
    CloseHandle(out);
  }
  CloseHandle(in);
  return Now() - t0;
}

// The package's rows written out through CPackageFile, each row read inline
// or read ahead on the second thread: the copy run's reading without the page.
double ExtractAll(const std::string& setup, const PackageSettings& s, const std::string& dir, bool ahead) {
  CPackageFile f;
  if (!f.Open(setup.c_str())) return -1;
  double t0 = Now();
  CreateDirectoryA(dir.c_str(), 0);
  if (ahead) f.DecodeAhead(s.FileList);
  int i = 0;
  for (CFileList::Node* n = s.FileList.Head; n; n = n->Next, i++) {
    char name[32];
    sprintf(name, "f%d", i);
    if (f.Extract(n->Entry, (dir + name).c_str()) != kExtractDone) return -1;
  }
  f.Close();
  return Now() - t0;
}

int CompareReading(const std::string& setup) {
  CPackage rows;
  if (rows.Open(setup.c_str()) != kPackageOpened) return 1;
  const std::string dir = "C:\\installbench-extract\\";
  for (int round = 0; round < 2; round++) {
    RemoveTree(dir.substr(0, dir.size() - 1));
    printf("raw loop:                 %.3f s\n", RawLoop(setup, rows, dir));
    for (bool ahead : {false, true}) {
      RemoveTree(dir.substr(0, dir.size() - 1));
      double t = ExtractAll(setup, rows, dir, ahead);
      printf("rows written %s: %.3f s\n", ahead ? "decoded ahead" : "inline       ", t);
    }
  }
  RemoveTree(dir.substr(0, dir.size() - 1));
  return 0;
}

// Pages 1 to 3 of the setup, then the time of the copy page from its showing
// until the finish page shows; finishes the wizard. -1 when it went wrong.
double PageSeconds(const std::string& setup, const std::string& product, const std::string& installDir,
                   PROCESS_MEMORY_COUNTERS* mem, bool* haveMemory) {
  Robot robot;
  if (!robot.Start(setup)) {
    fprintf(stderr, "cannot start %s\n", setup.c_str());
    return -1;
  }
  Wizard wiz(robot);
  wiz.rule = [](const Popup&) { return IDOK; };
  if (!wiz.ToCopyPage(product, installDir)) {
    fprintf(stderr, "the wizard did not reach its copy page\n");
    return -1;
  }
  double t1 = Now();
  // Until the finish page shows, the progress bar is read every 20 ms (a
  // bench may poll; a test never). Printed: the longest time it stood still
  // while the files went in, from its first move until it was full; before
  // and after that the page keeps its fixed pauses.
  HWND bar = 0;
  int lastPos = -1, full = 0;
  double lastMove = 0, longest = 0;
  int longestAt = -1;
  for (;;) {
    HWND page = wiz.CurrentPage();
    if (page && GetDlgItem(page, IDC_FINISH_LINE1)) break;
    Sleep(20);
    if (!robot.Running() || Now() - t1 > 3600) {
      fprintf(stderr, "the copy page did not end\n");
      return -1;
    }
    wiz.AnswerPopups();
    if (page && !bar) {
      bar = GetDlgItem(page, IDC_COPY_PROGRESS);
      if (bar) full = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    }
    DWORD_PTR pos = 0;
    if (!bar || !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos)) continue;
    double now = Now();
    if (static_cast<int>(pos) == lastPos) continue;
    if (lastPos > 0 && now - lastMove > longest) longest = now - lastMove, longestAt = lastPos;
    lastPos = static_cast<int>(pos);
    lastMove = now;
  }
  double seconds = Now() - t1;
  if (mem && lastPos != full) printf("progress bar: ended at %d of %d\n", lastPos, full);
  if (mem)
    printf("progress bar: stood still at most %.2f s while the files went in (at %d of %d)\n", longest, longestAt,
           full);
  if (mem) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, robot.ProcessId());
    *haveMemory = process && GetProcessMemoryInfo(process, mem, sizeof *mem);
    if (process) CloseHandle(process);
  }
  wiz.SetCheck(IDC_FINISH_GROUP, false);
  wiz.Press(ID_WIZFINISH);
  wiz.WaitForExit(60000);
  return seconds;
}

int Verify(const std::string& path) {
  CPackageFile f;
  if (!f.Open(path.c_str())) {
    fprintf(stderr, "cannot open %s\n", path.c_str());
    return 1;
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
  DWORD high = 0;
  DWORD low = GetFileSize(h, &high);
  long long size = (static_cast<long long>(high) << 32) | low;
  std::vector<char> buf(kPackageChunk);
  double t0 = Now();
  for (DWORD got = 0; ReadFile(h, buf.data(), kPackageChunk, &got, 0) && got;) {
  }
  double readSeconds = Now() - t0;
  CloseHandle(h);
  PackageSeal seal;
  memset(&seal, 0, sizeof seal);
  long end = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(size);
  t0 = Now();
  f.VerifyPayload(seal, end, 0, 0);  // the checksum cannot match: the time is what counts
  double crcSeconds = Now() - t0;
  double mib = static_cast<double>(end) / (1024.0 * 1024.0);
  printf("verify %.0f MiB: read only %.3f s (%.0f MiB/s), read + CRC-32 %.3f s (%.0f MiB/s)\n", mib, readSeconds,
         mib / readSeconds, crcSeconds, mib / crcSeconds);
  // The checksum alone over one buffer in memory, folding (when the
  // processor can) against the tables.
  const int kRounds = 256;
  for (char& c : buf) c = static_cast<char>(&c - buf.data());
  unsigned long sink = 0;
  double t[2];
  for (int tables = 0; tables < 2; tables++) {
    t0 = Now();
    for (int i = 0; i < kRounds; i++)
      sink ^= tables ? Crc32UpdateTables(sink, buf.data(), buf.size()) : Crc32Update(sink, buf.data(), buf.size());
    t[tables] = Now() - t0;
  }
  double inMemory = static_cast<double>(kRounds) * static_cast<double>(buf.size()) / (1024.0 * 1024.0);
  printf("CRC-32 in memory (%s): %.0f MiB/s; tables: %.0f MiB/s; %.1f x (%lx)\n",
         Crc32Folds() ? "folding" : "no folding here: tables", inMemory / t[0], inMemory / t[1], t[1] / t[0], sink);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--verify") return Verify(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--reading") return CompareReading(argv[2]);
  if (argc != 4 && argc != 5) {
    fprintf(stderr, "usage: installbench SETUP.exe DATA_FOLDER PRODUCT [ONE_FILE_SETUP.exe]\n");
    return 2;
  }
  std::string setup = argv[1], data = argv[2], product = argv[3];
  std::string oneFile = argc == 5 ? argv[4] : "";
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

  // The raw loop over the package's regions (stored packages only).
  CPackage rows;
  if (rows.Open(setup.c_str()) != kPackageOpened) {
    fprintf(stderr, "cannot read the package index of %s\n", setup.c_str());
    return 1;
  }
  bool packed = false;
  for (CFileList::Node* n = rows.FileList.Head; n; n = n->Next)
    if (n->Entry.Method == kMethodLzma || n->Entry.Method == kMethodSolid) packed = true;
  double rawSeconds = -1;
  if (!packed) {
    rawSeconds = RawLoop(setup, rows, copyDir);
    RemoveTree(copyDir.substr(0, copyDir.size() - 1));
    if (rawSeconds < 0) {
      fprintf(stderr, "the raw loop failed\n");
      return 1;
    }
  }

  // The setup: pages 1 to 3, then the copy page until the finish page shows.
  PROCESS_MEMORY_COUNTERS mem = {};
  mem.cb = sizeof mem;
  bool haveMemory = false;
  double pageSeconds = PageSeconds(setup, product, installDir, &mem, &haveMemory);
  if (pageSeconds < 0) return 1;

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
  // The raw loop once more after the page: whatever the machine did
  // meanwhile (other programs, the disk writing back) weighs on both sides.
  double rawAfter = -1;
  if (!packed) {
    rawAfter = RawLoop(setup, rows, copyDir);
    RemoveTree(copyDir.substr(0, copyDir.size() - 1));
  }
  if (missing) {
    fprintf(stderr, "the installation is incomplete: %u files missing or short\n", missing);
    return 1;
  }

  // The page's own time beyond its pauses (starting the run, writing the
  // uninstaller, the robot seeing the pages): the same page on a package of
  // one small file, the best of three.
  double fixedSeconds = -1;
  for (int i = 0; !oneFile.empty() && i < 3; i++) {
    double t = PageSeconds(oneFile, product, installDir, 0, 0);
    RemoveTree(installDir.substr(0, installDir.size() - 1));
    if (t > 0 && (fixedSeconds < 0 || t < fixedSeconds)) fixedSeconds = t;
  }

  double copying = pageSeconds - kPausesSeconds;
  printf("CopyFileA:  %.3f s  (%.0f MiB/s)\n", copySeconds, mib / copySeconds);
  if (rawAfter > 0) {
    printf("raw loop:   %.3f s before the page, %.3f s after it\n", rawSeconds, rawAfter);
    rawSeconds = (rawSeconds + rawAfter) / 2;
    printf("raw loop:   %.3f s  (%.0f MiB/s), the mean\n", rawSeconds, mib / rawSeconds);
  }
  printf("copy page:  %.3f s  (%.0f MiB/s), of which %.1f s fixed pauses%s\n", pageSeconds, mib / copying,
         kPausesSeconds, packed ? "; packed files unpacked" : "");
  printf("ratio copy page / CopyFileA: %.2f (pauses excluded), %.2f (whole page)\n", copying / copySeconds,
         pageSeconds / copySeconds);
  if (rawSeconds > 0)
    printf("speed of the copy page against the raw loop (mean): %.2f (pauses excluded; 1.00 = as fast)\n",
           rawSeconds / copying);
  if (fixedSeconds > 0) {
    double files = pageSeconds - fixedSeconds;
    printf("copy page on a one-file package: %.3f s (pauses and the page's fixed steps); the files' part: %.3f s\n",
           fixedSeconds, files);
    if (rawSeconds > 0)
      printf("speed of the files' part against the raw loop (mean): %.2f (1.00 = as fast)\n", rawSeconds / files);
  }
  if (haveMemory)
    printf("setup peak working set: %.1f MiB, peak committed: %.1f MiB\n",
           static_cast<double>(mem.PeakWorkingSetSize) / (1024.0 * 1024.0),
           static_cast<double>(mem.PeakPagefileUsage) / (1024.0 * 1024.0));
  else
    printf("setup peak memory: not available\n");
  return 0;
}
