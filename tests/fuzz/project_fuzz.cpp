// A project file through the whole build check, as "mksetup build --dry-run"
// runs it: loading, every check against the package format, the layout and the
// index. Nothing is written, and nothing outside a scratch folder is read:
// inputs that name a source elsewhere (an absolute path, "..") are skipped,
// or the fuzzer would walk the host's files.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "diagnostics.h"
#include "plan.h"
#include "project.h"

namespace {

// A scratch folder holding the project, a stub and a few files the project
// may name (a.txt, d/x.txt, page.jpg, app.ico).
const std::string& Scratch() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/project_fuzz.XXXXXX";
    std::string d = mkdtemp(tmpl) ? tmpl : "/tmp";
    auto put = [&](const char* name, const std::string& bytes) {
      FILE* f = fopen((d + "/" + name).c_str(), "wb");
      if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
      }
    };
    mkdir((d + "/d").c_str(), 0700);
    put("stub.exe", "MZ stand-in");
    put("a.txt", "a");
    put("d/x.txt", "x");
    put("page.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x02\xFF\xC0\x00\x0B\x08\x00\xFA\x00\x73\x01\x01\x11\x00\xFF\xD9", 21));
    put("app.ico", std::string("\x00\x00\x01\x00\x01\x00\x10\x10\x00\x00\x01\x00\x20\x00\x04\x00\x00\x00\x16\x00\x00\x00IMG!", 26));
    return d;
  }();
  return dir;
}

// True when path, resolved against the scratch folder, lies inside it.
bool Inside(const std::string& path) {
  namespace fs = std::filesystem;
  static const fs::path root = fs::weakly_canonical(Scratch());
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(Scratch()) / path, ec);
  if (ec) return false;
  auto r = root.begin(), q = p.begin();
  for (; r != root.end(); ++r, ++q)
    if (q == p.end() || *q != *r) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = Scratch();
  std::string path = dir + "/p.toml";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  std::map<std::string, std::string> vars = {{"X", "a.txt"}};
  Diagnostics diag;
  Project project;
  if (!LoadProject(path, vars, project, diag)) return 0;
  for (const ProjectFile& pf : project.files)
    if (!Inside(pf.sourcePath)) return 0;
  for (const std::string* media : {&project.picturePath, &project.iconPath, &project.backgroundPicturePath})
    if (!media->empty() && !Inside(*media)) return 0;
  BuildOptions options;
  options.stub = dir + "/stub.exe";
  options.output = dir + "/out.exe";
  Plan plan;
  PlanPackage(project, options, plan, diag);
  diag.ErrorsByLine();
  return 0;
}
