#include "cli.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "codepage.h"
#include "common/container.h"
#include "common/packagefile.h"
#include "depfile.h"
#include "files.h"
#include "hostfs.h"
#include "framework/mbcs.h"
#include "extract.h"
#include "inspect.h"
#include "plan.h"
#include "project.h"
#include "sign.h"
#include "stubres.h"
#include "tempfiles.h"
#include "uninstaller.h"
#include "writer.h"

#ifndef MKSETUP_VERSION
#define MKSETUP_VERSION "0"
#endif

namespace {

const char kUsage[] =
    "usage: mksetup build PROJECT [-o OUT] [--stub STUB] [-D NAME=VALUE]... [--depfile F] [--dry-run] [-q]\n"
    "                     [--sign CERT.pfx ...] [--uninstaller-out FILE] [--uninstaller FILE]\n"
    "       mksetup inspect SETUP [--json]\n"
    "       mksetup extract SETUP DIR\n"
    "       mksetup sign SETUP --sign CERT.pfx [--sign-password-file F] [--timestamp URL] [-o OUT]\n"
    "       mksetup --help | mksetup --version | mksetup build --help | mksetup inspect --help\n";

const char kHelp[] =
    "mksetup builds a setup file from a project file and the files it names,\n"
    "and shows what a setup file holds.\n\n"
    "  build PROJECT      check the project (a TOML file) and write the setup file\n"
    "  inspect SETUP      print the index of a setup file\n"
    "  extract SETUP DIR  write every file of a setup file into DIR, checked\n"
    "  sign SETUP         sign a setup file already built\n\n"
    "Run \"mksetup build --help\" or \"mksetup inspect --help\" for their options;\n"
    "tools/mksetup/README.md describes the project file.\n";

const char kBuildHelp[] =
    "usage: mksetup build PROJECT [options]\n\n"
    "Checks everything first and writes nothing when anything is wrong (all\n"
    "problems are listed). The setup file is the setup program (the stub) with the\n"
    "package appended.\n\n"
    "  -o, --output OUT   the setup file to write (default: the project's \"output\"\n"
    "                     key, else PROJECT's name with -setup.exe, beside it)\n"
    "  --stub STUB        the setup program to append the package to (default:\n"
    "                     setup.exe beside mksetup, else the installed one;\n"
    "                     mksetup --version names it)\n"
    "  -D NAME=VALUE      set the variable NAME, used as ${NAME} in the project\n"
    "                     (wins over the project's [vars] table)\n"
    "  --depfile F        also write F: the rule \"OUT: every input\" for make and\n"
    "                     Ninja (the build is done again when an input changes)\n"
    "  --dry-run          check and show the layout, write nothing\n"
    "  -q, --quiet        no progress and no summary\n"
    "  --sign CERT.pfx    sign the setup file with this code-signing certificate\n"
    "                     (PKCS#12) through osslsigncode\n"
    "  --sign-password-file F  the certificate's password, on the first line of F\n"
    "  --timestamp URL    have the signature time-stamped by this RFC 3161 service\n"
    "                     (the uninstaller the setup writes is signed alike)\n"
    "  --uninstaller-out FILE  also write FILE: the uninstaller the setup file's\n"
    "                     setup writes, for signing with a tool of your own\n"
    "  --uninstaller FILE  carry FILE, that uninstaller signed, as the one the\n"
    "                     setup writes (refused unless it is exactly that file\n"
    "                     with a signature)\n";

const char kInspectHelp[] =
    "usage: mksetup inspect SETUP [--json]\n\n"
    "Prints the trailer, every header field of the index by name (texts converted\n"
    "from code page 936 to UTF-8; bytes that do not convert shown as \\xNN) and\n"
    "the file list, flagging data that lies outside the file.\n\n"
    "  --json             one JSON object instead of text\n";

int Usage(const char* message) {
  if (message) fprintf(stderr, "mksetup: %s\n", message);
  fputs(kUsage, stderr);
  return 2;
}

// Takes the value of an option given as "--opt VALUE" or "--opt=VALUE".
bool OptionValue(const std::string& arg, const char* name, int& i, int argc, char** argv, std::string& value,
                 bool& missing) {
  size_t n = strlen(name);
  if (arg.compare(0, n, name) != 0) return false;
  if (arg.size() == n) {
    if (i + 1 >= argc) {
      missing = true;
      return true;
    }
    value = argv[++i];
    return true;
  }
  if (arg[n] == '=') {
    value = arg.substr(n + 1);
    return true;
  }
  return false;
}

std::string MiB(int64_t bytes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return buf;
}

// Progress on stderr, redrawn a few times a second, only for a terminal.
class Progress {
 public:
  void Update(int64_t done, int64_t total) {
    double t = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (done < total && t - last_ < 0.2) return;
    last_ = t;
    int pct = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    fprintf(stderr, "\rmksetup: %3d%%  %s of %s", pct, MiB(done).c_str(), MiB(total).c_str());
    shown_ = true;
  }
  void Finish() {
    if (shown_) fputs("\r\033[K", stderr);
  }

 private:
  double last_ = 0;
  bool shown_ = false;
};

void PrintDiagnostics(const Diagnostics& d) {
  for (const std::string& w : d.warnings) fprintf(stderr, "warning: %s\n", w.c_str());
  for (const std::string& e : d.ErrorsByLine()) fprintf(stderr, "error: %s\n", e.c_str());
}

// Takes the signing options; true when argv[i] was one of them.
bool SignOption(const std::string& a, int& i, int argc, char** argv, SignOptions& sign, int& usage) {
  std::string value;
  bool missing = false;
  std::string* target = nullptr;
  const char* name = nullptr;
  if (OptionValue(a, "--sign-password-file", i, argc, argv, value, missing)) target = &sign.passwordFile, name = "--sign-password-file";
  else if (OptionValue(a, "--sign", i, argc, argv, value, missing)) target = &sign.certificate, name = "--sign";
  else if (OptionValue(a, "--timestamp", i, argc, argv, value, missing)) target = &sign.timestampUrl, name = "--timestamp";
  else return false;
  if (missing || value.empty()) usage = Usage((std::string(name) + " needs a value").c_str());
  *target = value;
  return true;
}

// The arguments build and sign share: the one file they work on (a word that
// is no option, "-", or any word after "--"), "--", the signing options and
// -o/--output. True when a was one of them; usage is then a usage exit code
// when it was wrong (the message printed), else 0.
bool SharedArgument(const std::string& a, int& i, int argc, char** argv, bool& takeOptions, std::string& file,
                    const char* oneAtATime, SignOptions& sign, std::string& output, int& usage) {
  usage = 0;
  std::string value;
  bool missing = false;
  if (!takeOptions || a == "-" || a.empty() || a[0] != '-') {
    if (!file.empty()) usage = Usage((std::string(oneAtATime) + "; extra argument " + a).c_str());
    else file = a;
  } else if (a == "--") {
    takeOptions = false;
  } else if (SignOption(a, i, argc, argv, sign, usage)) {
  } else if (OptionValue(a, "-o", i, argc, argv, value, missing) ||
             OptionValue(a, "--output", i, argc, argv, value, missing)) {
    if (missing || value.empty()) usage = Usage("-o needs a file name");
    else output = value;
  } else {
    return false;
  }
  return true;
}

// Whether two paths name the same file (one that is there, by its identity).
bool SameFile(const std::string& a, const std::string& b) {
  FileInfo x, y;
  if (StatPath(a, x) && StatPath(b, y)) return x.device == y.device && x.id == y.id;
  std::error_code ec;
  return std::filesystem::absolute(FsPath(a), ec).lexically_normal() ==
         std::filesystem::absolute(FsPath(b), ec).lexically_normal();
}

int Build(int argc, char** argv) {
  std::string project, output, stub, depfile, uninstallerOut, uninstallerIn;
  std::map<std::string, std::string> vars;
  bool dryRun = false, quiet = false;
  SignOptions sign;
  bool takeOptions = true;
  for (int i = 2; i < argc; i++) {
    std::string a = argv[i];
    std::string value;
    bool missing = false;
    int usage = 0;
    if (SharedArgument(a, i, argc, argv, takeOptions, project, "one project at a time", sign, output, usage)) {
      if (usage) return usage;
    } else if (a == "-h" || a == "--help") {
      fputs(kBuildHelp, stdout);
      return 0;
    } else if (a == "--dry-run") {
      dryRun = true;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (OptionValue(a, "--depfile", i, argc, argv, value, missing)) {
      if (missing || value.empty()) return Usage("--depfile needs a file name");
      depfile = value;
    } else if (OptionValue(a, "--stub", i, argc, argv, value, missing)) {
      if (missing || value.empty()) return Usage("--stub needs a file name");
      stub = value;
    } else if (OptionValue(a, "--uninstaller-out", i, argc, argv, value, missing)) {
      if (missing || value.empty()) return Usage("--uninstaller-out needs a file name");
      uninstallerOut = value;
    } else if (OptionValue(a, "--uninstaller", i, argc, argv, value, missing)) {
      if (missing || value.empty()) return Usage("--uninstaller needs a file name");
      uninstallerIn = value;
    } else if (a.compare(0, 2, "-D") == 0) {
      value = a.size() > 2 ? a.substr(2) : (i + 1 < argc ? argv[++i] : "");
      size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) return Usage("-D needs NAME=VALUE");
      vars[value.substr(0, eq)] = value.substr(eq + 1);
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (project.empty()) return Usage("build needs a project file");
  if (sign.certificate.empty() && (!sign.passwordFile.empty() || !sign.timestampUrl.empty()))
    return Usage("--sign-password-file and --timestamp go with --sign");

  Diagnostics diag;
  Project proj;
  Plan plan;
  BuildOptions options;
  options.output = output;
  options.stub = stub;
  bool signing = !sign.certificate.empty();
  options.carry = !uninstallerIn.empty() ? kCarryAlways : signing ? kCarryIfTheStubCan : kCarryNone;
  std::string given;
  if (!uninstallerIn.empty()) {
    FileInfo st;
    if (!StatPath(uninstallerIn, st) || !st.regular)
      diag.Error(0, "--uninstaller " + uninstallerIn + ": " + (st.folder ? "a folder" : "not a regular file"));
    else if (st.size > kUninstallerImageMax || !ReadWholeFile(uninstallerIn, given))
      diag.Error(0, "--uninstaller " + uninstallerIn + ": " +
                        (st.size > kUninstallerImageMax ? std::string("far larger than any uninstaller")
                                                        : std::string("cannot be read: ") + strerror(errno)));
  }
  bool ok = LoadProject(project, vars, proj, diag) && !diag.Failed();
  if (ok) ok = PlanPackage(proj, options, plan, diag) && !diag.Failed();
  if (ok && !uninstallerOut.empty() && SameFile(uninstallerOut, plan.output))
    diag.Error(0, "--uninstaller-out " + uninstallerOut + ": the setup file itself; choose another file"), ok = false;
  PrintDiagnostics(diag);
  if (!ok) {
    fprintf(stderr, "mksetup: %zu error%s; nothing written\n", diag.errors.size(),
            diag.errors.size() == 1 ? "" : "s");
    return 1;
  }
  if (dryRun) {
    printf("%s: would be %lld bytes: setup program %lld bytes, %zu files, index %zu bytes at %lld\n",
           plan.output.c_str(), static_cast<long long>(plan.totalSize), static_cast<long long>(plan.stubSize),
           plan.files.size(), plan.index.size(), static_cast<long long>(plan.indexOffset));
    for (const PlannedRegion& r : plan.regions)
      printf("  %12lld  %12lld  %s\n", static_cast<long long>(r.offset), static_cast<long long>(r.length),
             r.what.c_str());
    if (plan.carryUninstaller) printf("  and the uninstaller, signed, before the index (its size once made)\n");
    return 0;
  }
  if (plan.carryUninstaller) {
    // The uninstaller assembled from the package is signed like the setup
    // file, or the vendor's signed copy of it is carried instead.
    if (!uninstallerIn.empty()) {
      plan.finishUninstaller = [&](std::string& uninstaller, std::string& error) {
        std::string why = SignedCopyProblem(uninstaller, given);
        if (!why.empty()) {
          error = "--uninstaller " + uninstallerIn + ": " + why;
          return false;
        }
        uninstaller = given;
        return true;
      };
    } else {
      std::string folder = PathText(FsPath(plan.output).parent_path());
      plan.finishUninstaller = [&, folder](std::string& uninstaller, std::string& error) {
        return SignUninstaller(uninstaller, folder.empty() ? "." : folder, sign, error);
      };
    }
  }

  RemoveTempFilesOnSignals();
  // For file systems that mishandle the kernel's file-to-file copy.
  const char* plain = getenv("MKSETUP_PLAIN_COPY");
  if (plain && *plain && strcmp(plain, "0") != 0) UseKernelCopy(false);
  Progress progress;
  ProgressFn fn;
  if (!quiet && IsTerminal(stderr)) fn = [&](int64_t done, int64_t total) { progress.Update(done, total); };
  std::string error;
  // A signed build stays under its temporary name beside the output until
  // it is signed: the output appears only then.
  std::string unsignedFile;
  bool written = WritePackage(plan, error, fn, signing ? &unsignedFile : nullptr);
  progress.Finish();
  if (written && signing) {
    written = SignFile(unsignedFile, plan.output, sign, error);
    RemoveTempFile(kCurrentFolder, unsignedFile);
  }
  if (!written) {
    fprintf(stderr, "error: %s\nmksetup: nothing written\n", error.c_str());
    return 1;
  }
  if (!depfile.empty() && !WriteText(depfile, DepfileText(plan.output, BuildInputs(proj, plan)), error)) {
    fprintf(stderr, "error: --depfile %s: %s\n", depfile.c_str(), error.c_str());
    return 1;
  }
  if (!uninstallerOut.empty()) {
    // What the setup of the file just written writes: read back from it.
    CPackage package;
    std::string uninstaller;
    bool made = package.Open(plan.output.c_str()) == kPackageOpened && SetupsUninstaller(package, uninstaller, error) &&
                WriteText(uninstallerOut, uninstaller, error);
    if (!made) {
      fprintf(stderr, "error: --uninstaller-out %s: %s\n", uninstallerOut.c_str(),
              error.empty() ? "the setup file does not read back" : error.c_str());
      return 1;
    }
  }
  if (!quiet) {
    // Signing grew the file: its size now, not the package's.
    long long size = static_cast<long long>(plan.totalSize);
    FileInfo st;
    if (!sign.certificate.empty() && StatPath(plan.output, st)) size = st.size;
    if (plan.extended) {
      // What packing gave, block by block (with its files) and stored file
      // by file, and in all.
      int64_t in = 0, out = 0;
      auto line = [&](const char* method, int64_t unpacked, int64_t length, const std::string& what) {
        in += unpacked;
        out += length;
        printf("  %-8s %12lld -> %12lld  %5.1f%%  %s\n", method, static_cast<long long>(unpacked),
               static_cast<long long>(length),
               unpacked ? 100.0 * static_cast<double>(length) / static_cast<double>(unpacked) : 100.0, what.c_str());
      };
      auto name = [&](size_t i) {
        const PlannedFile& f = plan.files[i];
        return Cp936ToUtf8(f.subdir.empty() ? f.name : f.subdir + "\\" + f.name);
      };
      size_t nextBlock = 0;
      for (size_t i = 0; i < plan.files.size(); i++) {
        const PlannedFile& f = plan.files[i];
        for (; nextBlock < plan.blocks.size() && plan.blocks[nextBlock].slices.front().file == i; nextBlock++) {
          const PlannedBlock& b = plan.blocks[nextBlock];
          std::string files = name(b.slices.front().file);
          if (b.slices.size() > 1) files += " ... " + name(b.slices.back().file);
          // The programs whose code in this block went through the x86 filter.
          size_t programs = 0;
          for (const BlockSlice& s : b.slices) {
            const PlannedFile& p = plan.files[s.file];
            long long from, length, position;
            programs += RowFilterPart(p.codeFrom, p.codeLength, s.from, s.length, from, length, position);
          }
          line("lzma", b.unpacked, b.length,
               "block " + std::to_string(nextBlock + 1) + ": " + std::to_string(b.slices.size()) + " file" +
                   (b.slices.size() == 1 ? "" : "s") +
                   (programs ? " (x86 code of " + std::to_string(programs) + ")" : "") + ", " + files);
        }
        if (f.method != kMethodSolid) line("stored", f.unpacked, f.length, name(i));
      }
      printf("files: %lld -> %lld bytes (%.1f%%)\n", static_cast<long long>(in), static_cast<long long>(out),
             in ? 100.0 * static_cast<double>(out) / static_cast<double>(in) : 100.0);
    }
    if (plan.carryUninstaller) {
      const RegionRef& u = plan.uninstallerRegion;
      printf("uninstaller: %llu -> %lld bytes, %s\n", u.Unpacked, static_cast<long long>(u.Length),
             uninstallerIn.empty() ? "signed" : "signed by the vendor's tool");
    }
    printf("%s: %lld bytes, %zu files%s\n", plan.output.c_str(), size, plan.files.size(),
           sign.certificate.empty() ? "" : ", signed");
  }
  return 0;
}

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else out += static_cast<char>(c);
  }
  return out + "\"";
}

const char* SignatureState(const SignatureInfo& s) {
  return !s.present ? "unsigned" : s.damaged ? "damaged" : !s.checked ? "unchecked" : s.matches ? "matches" : "does not match";
}

std::string SignatureJson(const SignatureInfo& s) {
  return "{\"signed\": " + std::string(s.present ? "true" : "false") + ", \"state\": " + JsonText(SignatureState(s)) +
         ", \"subject\": " + JsonText(s.subject) + "}";
}

// A signature as lines of text, each starting with label.
std::string SignatureText(const SignatureInfo& s, const std::string& label) {
  if (!s.present) return label + ": none\n";
  if (s.damaged) return label + ": DAMAGED: the certificate table entry does not describe the end of the file\n";
  std::string text = label + ": signed by " + (s.subject.empty() ? std::string("(unknown)") : s.subject) + "\n";
  if (!s.checked) return text + label + " check: not done: " + s.note + "\n";
  if (s.matches) return text + label + " check: matches the file\n";
  return text + label + " check: DOES NOT MATCH: the file was changed after it was signed\n";
}

bool BadSignature(const SignatureInfo& s) { return s.present && (s.damaged || (s.checked && !s.matches)); }

// One more member of the JSON object text.
void AddMember(const std::string& member, std::string& text) {
  size_t end = text.rfind('}');
  if (end == std::string::npos) return;
  while (end > 0 && text[end - 1] == '\n') end--;
  text.insert(end, ",\n  " + member);
}

// The signature after the report: lines of text, or one more member of the
// JSON object.
void AddSignature(const SignatureInfo& s, bool json, std::string& text) {
  if (json) AddMember("\"signature\": " + SignatureJson(s), text);
  else text += SignatureText(s, "signature");
}

// The uninstaller the package carries, after the signature.
void AddUninstaller(const CarriedUninstaller& u, bool json, std::string& text) {
  if (json) {
    std::string member = "\"uninstaller\": {\"carried\": " + std::string(u.present ? "true" : "false");
    if (u.present)
      member += ", \"region\": " + JsonText(u.reference) + ", \"readable\": " + (u.readable ? "true" : "false") +
                ", \"size\": " + std::to_string(u.size) + ", \"expected\": " + (u.expected ? "true" : "false") +
                ", \"signature\": " + SignatureJson(u.signature);
    AddMember(member + "}", text);
    return;
  }
  if (!u.present) {
    text += "uninstaller: assembled by the setup (none carried)\n";
    return;
  }
  text += "uninstaller: carried (" + u.reference + ")";
  if (!u.readable) {
    text += ", DAMAGED\n";
    return;
  }
  text += ", " + std::to_string(u.size) + " bytes, " +
          (u.expected ? "the one this package's setup program makes" : "NOT the one this package's setup program makes") +
          "\n" + SignatureText(u.signature, "uninstaller signature");
}

// Opens a setup file for reading its package; says why not.
bool OpenPackage(const std::string& path, PackageReader& reader, InspectReport& report) {
  std::string error;
  if (reader.Open(path, report, error)) return true;
  fprintf(stderr, "error: %s\n", error.c_str());
  return false;
}

int Inspect(int argc, char** argv) {
  std::string path;
  bool json = false;
  bool takeOptions = true;
  for (int i = 2; i < argc; i++) {
    std::string a = argv[i];
    if (!takeOptions || a == "-" || a.empty() || a[0] != '-') {
      if (!path.empty()) return Usage(("one setup file at a time; extra argument " + a).c_str());
      path = a;
    } else if (a == "--") {
      takeOptions = false;
    } else if (a == "-h" || a == "--help") {
      fputs(kInspectHelp, stdout);
      return 0;
    } else if (a == "--json") {
      json = true;
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (path.empty()) return Usage("inspect needs a setup file");
  InspectReport report;
  PackageReader reader;
  if (!OpenPackage(path, reader, report)) return 1;
  // Passes over the rows and the settings, so that nothing grows with their
  // number: the first counts them and gathers their problems (and the
  // blocks), the second reads each packed or checksummed file's bytes as
  // the setup would, the last prints them.
  InspectedFile f;
  while (reader.NextFile(f, &report)) report.fileCount++;
  std::string key, value;
  while (reader.NextSetting(key, value, &report)) {
  }
  CheckPackageData(reader, path, report);
  // The uninstaller it carries: read, checked against the one its setup
  // program makes, its signature checked.
  std::vector<std::pair<std::string, bool>> uninstallerProblems;
  CarriedUninstaller carried;
  if (report.extended) carried = CheckCarriedUninstaller(path, uninstallerProblems);
  for (const auto& [problem, damage] : uninstallerProblems) report.AddProblem(problem, damage);
  reader.Rewind();
  std::string text = json ? InspectJsonHead(report) : InspectTextHead(report);
  auto flush = [&] {
    if (text.size() < (64 << 10)) return;
    fwrite(text.data(), 1, text.size(), stdout);
    text.clear();
  };
  for (size_t i = 0; reader.NextFile(f, nullptr); i++) {
    text += json ? InspectJsonFile(i, f) : InspectTextFile(i, f);
    flush();
  }
  text += json ? InspectJsonSettings(report) : InspectTextSettings(report);
  for (size_t i = 0; reader.NextSetting(key, value, nullptr); i++) {
    text += json ? InspectJsonSetting(i, key, value) : InspectTextSetting(i, key, value);
    flush();
  }
  std::string tail = json ? InspectJsonTail(report) : InspectTextTail(report);
  SignatureInfo signature = ReadSignature(path);
  AddSignature(signature, json, tail);
  if (report.extended) AddUninstaller(carried, json, tail);
  text += tail;
  fwrite(text.data(), 1, text.size(), stdout);
  // A package with problems fails, so that "inspect && ship" stops; so does
  // a signature that no longer matches the file, the setup's or its
  // uninstaller's.
  bool badSignature = BadSignature(signature) || (carried.readable && BadSignature(carried.signature));
  return report.problemCount == 0 && !badSignature ? 0 : 1;
}

const char kExtractHelp[] =
    "usage: mksetup extract SETUP DIR\n\n"
    "Writes every file of the setup file into DIR (made when missing): files of\n"
    "the installation folder below DIR itself, those of the system and Windows\n"
    "folders below DIR/SYSTEM_FOLDER and DIR/WINDOWS_FOLDER. Nothing is created,\n"
    "changed or removed outside DIR: a row whose path would leave it, or whose\n"
    "bytes are not code page 936 text, is refused; no link in DIR is followed.\n"
    "A package with checksums is checked whole first and nothing is written when\n"
    "it is damaged; each file is checked before it takes its name, so a damaged\n"
    "row leaves a file of that name as it was. Fails (exit 1) when any file\n"
    "could not be written as it should.\n";

int Extract(int argc, char** argv) {
  std::vector<std::string> args;
  bool takeOptions = true;
  for (int i = 2; i < argc; i++) {
    std::string a = argv[i];
    if (!takeOptions || a == "-" || a.empty() || a[0] != '-') {
      args.push_back(a);
    } else if (a == "--") {
      takeOptions = false;
    } else if (a == "-h" || a == "--help") {
      fputs(kExtractHelp, stdout);
      return 0;
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (args.size() != 2) return Usage("extract needs a setup file and a folder");
  RemoveTempFilesOnSignals();
  return ExtractFiles(args[0], args[1], stdout, stderr);
}

// Writes the package at path (opened as package) anew under a temporary
// name beside target (carrying), with the uninstaller its setup assembles
// signed inside, for signing as a whole. False with the reason.
bool WriteSignedCarrying(const std::string& path, const CPackage& package, std::string target,
                         const SignOptions& sign, std::string& carrying, std::string& error) {
  std::string why;
  if (!ThroughLink(target, why)) {
    error = "output " + target + ": " + why;
    return false;
  }
  std::string folder = PathText(FsPath(target).parent_path()), uninstaller;
  if (folder.empty()) folder = ".";
  if (!AssembledUninstaller(package, uninstaller, error) || !SignUninstaller(uninstaller, folder, sign, error))
    return false;
  int fd = CreateTempFd(folder, carrying, error);
  if (fd < 0) {
    carrying.clear();  // nothing of ours there
    return false;
  }
  // The signed file takes the permissions of this one: those of the file signed.
  FileInfo in;
  bool ok = WriteCarrying(path, package, uninstaller, fd, error);
  if (ok && (!SyncToDisk(fd) || !StatPath(path, in) || !SameMode(carrying, in))) {
    error = std::string("writing the package failed: ") + strerror(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    error = std::string("writing the package failed: ") + strerror(errno);
    ok = false;
  }
  return ok;
}

int Sign(int argc, char** argv) {
  std::string path, output;
  SignOptions sign;
  bool takeOptions = true;
  for (int i = 2; i < argc; i++) {
    int usage = 0;
    if (!SharedArgument(argv[i], i, argc, argv, takeOptions, path, "one setup file at a time", sign, output, usage))
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    if (usage) return usage;
  }
  if (path.empty() || sign.certificate.empty()) return Usage("sign needs a setup file and --sign CERT.pfx");
  if (!HasTrailer(path)) {
    fprintf(stderr, "error: %s: not a setup file (no trailer \"&LEN:...,SEEK:....\" at its end)\n", path.c_str());
    return 1;
  }
  if (ReadSignature(path).present) {
    fprintf(stderr, "error: %s: is signed already\n", path.c_str());
    return 1;
  }
  RemoveTempFilesOnSignals();
  std::string error, target = output.empty() ? path : output;
  // The package is written anew with its uninstaller signed inside, when its
  // setup program writes the one a package carries; then the whole is signed.
  std::string carrying;
  CPackage package;
  PackageOpenResult opened = package.Open(path.c_str());
  std::string stub, why;
  if (opened != kPackageOpened) why = "its index cannot be read";
  else if (ReadSetupProgram(package, stub, why))
    why = StubReads(stub, {PACKAGE_TAG, METHOD_LZMA_WORD, CAPABILITY_WORD_CRC, UNINSTALLER_WORD});
  bool ok = true;
  if (opened == kPackageDamaged) {
    error = path + ": damaged (mksetup inspect says where); it is not signed";
    ok = false;
  } else if (!why.empty()) {
    fprintf(stderr, "warning: %s: cannot carry a signed uninstaller (%s): the setup file is signed, the uninstaller "
                    "it writes is not; build it with a stub of this mksetup\n",
            path.c_str(), why.c_str());
  } else {
    ok = WriteSignedCarrying(path, package, target, sign, carrying, error);
    if (!ok) error = path + ": " + error;
  }
  if (ok) ok = SignFile(carrying.empty() ? path : carrying, target, sign, error);
  if (!carrying.empty()) RemoveTempFile(kCurrentFolder, carrying);
  if (!ok) {
    fprintf(stderr, "error: %s\nmksetup: nothing written\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

namespace {

int Command(int argc, char** argv) {
  if (argc < 2) return Usage(nullptr);
  std::string cmd = argv[1];
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    fputs(kHelp, stdout);
    fputs("\n", stdout);
    fputs(kUsage, stdout);
    return 0;
  }
  if (cmd == "--version" || cmd == "-V") {
    // With the setup program a build without --stub would take.
    std::string stub = FindStub();
    if (stub.empty()) stub = "none found (looked for " + StubPlacesText() + ")";
    printf("mksetup " MKSETUP_VERSION "\nstub: %s\n", stub.c_str());
    return 0;
  }
  if (cmd == "build") return Build(argc, argv);
  if (cmd == "inspect") return Inspect(argc, argv);
  if (cmd == "sign") return Sign(argc, argv);
  if (cmd == "extract") return Extract(argc, argv);
  std::string msg = "unknown command " + cmd;
  for (const char* known : {"build", "inspect", "sign", "extract"})
    if (EditDistance(cmd, known) <= 2) msg += std::string(" (did you mean ") + known + "?)";
  return Usage(msg.c_str());
}

}  // namespace

int RunMksetup(int argc, char** argv) {
  int code = Command(argc, argv);
  // What went to stdout must have arrived (a full disk, a closed pipe).
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "error: writing the output failed: %s\n", strerror(errno));
    return code == 0 ? 1 : code;
  }
  return code;
}
