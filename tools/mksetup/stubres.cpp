#include "stubres.h"

#include "common/container.h"
#include "common/lzmastream.h"
#include "common/packageext.h"
#include "common/packageindex.h"
#include "common/x86filter.h"
#include "files.h"
#include "framework/memory.h"
#include "lzmapack.h"
#include "pe.h"
#include "setup/core/texts.h"

// The level both programs' manifests ask for, and the one of an installation
// for the current user alone.
static const char kAdministratorLevel[] = "level=\"requireAdministrator\"";
static const char kInvokerLevel[] = "level=\"asInvoker\"";
// The setup program's resource holding the uninstaller (type "EXE", 138),
// LZMA-coded (kUninstallerProgramMax unpacked at most), through the x86 branch
// filter first when the stub names PROGRAM_X86_WORD.
static const uint32_t kUninstallerResource = 138;

// The packed bytes of the uninstaller in a setup program's resource tree;
// null with the reason when it carries none.
static std::string* UninstallerResource(ResTree& tree, std::string& error) {
  ResKey exe;
  exe.named = true;
  exe.name = u"EXE";
  auto type = tree.find(exe);
  if (type == tree.end() || !type->second.count(ResId(kUninstallerResource)) ||
      type->second[ResId(kUninstallerResource)].empty()) {
    error = "it carries no uninstaller (resource EXE 138)";
    return nullptr;
  }
  return &type->second[ResId(kUninstallerResource)].begin()->second.bytes;
}

// The uninstaller program from its packed resource (filtered: through the x86
// branch filter before packing); false with the reason.
static bool UnpackUninstaller(const std::string& packed, bool filtered, std::string& program, std::string& error) {
  size_t size = 0;
  char* unpacked = DecodeLzmaProgram(packed.data(), packed.size(), kUninstallerProgramMax, filtered, size);
  if (!unpacked) {
    error = "its uninstaller (resource EXE 138) does not unpack";
    return false;
  }
  program.assign(unpacked, size);
  FreeBuffer(unpacked);
  return true;
}

// Whether the stub's uninstaller went through the x86 branch filter.
static bool FilteredUninstaller(const std::string& stub) { return StubReads(stub, {PROGRAM_X86_WORD}).empty(); }

// Installed for the current user alone, or as the user chooses: both programs
// then run with the rights of whoever starts them.
static bool UserScope(const Project& p) {
  return p.scope.set && (p.scope.value == SCOPE_USER_WORD || p.scope.value == SCOPE_ASK_WORD);
}

// The manifest of a program's resource tree asks to run with the rights of
// whoever starts it (asInvoker) rather than the administrator's; false with
// the reason when the program has no manifest asking for the administrator.
static bool RunAsInvoker(ResTree& tree, const char* program, std::string& error) {
  auto type = tree.find(ResId(kRtManifest));
  if (type != tree.end()) {
    auto name = type->second.find(ResId(1));
    if (name != type->second.end()) {
      for (auto& language : name->second) {
        std::string& text = language.second.bytes;
        size_t at = text.find(kAdministratorLevel);
        if (at == std::string::npos || text.find(kAdministratorLevel, at + 1) != std::string::npos) break;
        text.replace(at, sizeof kAdministratorLevel - 1, kInvokerLevel);
        return true;
      }
    }
  }
  error = std::string(program) + "'s manifest does not ask for the administrator's rights (" + kAdministratorLevel +
          "), so it cannot be made to run without them";
  return false;
}

// The uninstaller in the setup program's resources made to run without the
// administrator's rights: unpacked, its manifest changed, packed again.
static bool UninstallerAsInvoker(ResTree& tree, bool filtered, std::string& error) {
  std::string* packed = UninstallerResource(tree, error);
  std::string program;
  if (!packed || !UnpackUninstaller(*packed, filtered, program, error)) return false;
  PeImage pe;
  ResTree programTree;
  if (!ParsePe(program, pe, error) || !ReadResources(program, pe, programTree, error) ||
      !RunAsInvoker(programTree, "the uninstaller", error) || !WriteResources(program, programTree, error)) {
    error = "its uninstaller: " + error;
    return false;
  }
  if (filtered) CX86Filter().Encode(reinterpret_cast<unsigned char*>(&program[0]), program.size(), 0);
  if (!PackLzmaStream(program, *packed)) {
    error = "its uninstaller could not be packed again";
    return false;
  }
  return true;
}

// A project in a language other than the default gets a version resource in
// it even without version keys: the stub's own describes it in Chinese.
static bool OtherLanguage(const Project& p) { return p.language.set && p.language.value != SetupLanguages()[0]->Tag; }

bool WantsStubResources(const Project& p) {
  return p.icon.set || p.version.set || p.publisher.set || p.description.set || p.copyright.set || OtherLanguage(p) ||
         UserScope(p);
}

bool PrepareStub(const Project& p, const std::string& stubPath, std::string& image, std::string& error) {
  if (!ReadWholeFile(stubPath, image)) {
    error = "cannot read it";
    return false;
  }
  if (!LooksLikePe(image)) return true;
  PeImage pe;
  ResTree tree;
  if (!ParsePe(image, pe, error) || !ReadResources(image, pe, tree, error)) return false;
  if (p.icon.set) {
    std::string ico;
    if (!ReadWholeFile(p.iconPath, ico)) {
      error = "cannot read " + p.icon.value;
      return false;
    }
    if (!SetIconGroup(tree, 128, ico, error)) {
      error = p.icon.key + " = \"" + p.icon.value + "\": " + error;
      return false;
    }
  }
  if (p.version.set || p.publisher.set || p.description.set || p.copyright.set || OtherLanguage(p)) {
    VersionStrings v;
    v.version = p.version.set ? p.version.value : "";
    v.productName = p.productName.value;
    v.publisher = p.publisher.value;
    v.description = p.description.value;
    v.copyright = p.copyright.value;
    // In the language of the project's texts.
    if (const TextLanguage* language = p.language.set ? SetupLanguages().Find(p.language.value.c_str()) : 0)
      v.language = language->WindowsId;
    auto& versions = tree[ResId(kRtVersion)];
    versions.clear();
    versions[ResId(1)][ResId(v.language)].bytes = VersionResource(v);
  }
  // For the current user alone: neither program asks for elevation.
  if (UserScope(p) && (!RunAsInvoker(tree, "the setup program", error) || !UninstallerAsInvoker(tree, FilteredUninstaller(image), error)))
    return false;
  return WriteResources(image, tree, error);
}

std::string StubReads(const std::string& bytes, const std::vector<const char*>& words) {
  PeImage image;
  ResTree tree;
  std::string error;
  if (!ParsePe(bytes, image, error) || !ReadResources(bytes, image, tree, error))
    return "its resources cannot be read";
  const uint32_t kRtRcdata = 10;
  auto type = tree.find(ResId(kRtRcdata));
  if (type != tree.end()) {
    for (const auto& [name, languages] : type->second) {
      if (!name.named || name.name != u"" CAPABILITY_RESOURCE_NAME || languages.empty()) continue;
      std::string text = languages.begin()->second.bytes;
      while (!text.empty() && text.back() == '\0') text.pop_back();
      // The words it reads, in any order.
      std::string named = " " + text + " ";
      for (const char* w : words)
        if (named.find(std::string(" ") + w + " ") == std::string::npos)
          return "its resource " CAPABILITY_RESOURCE_NAME " does not name " + std::string(w);
      return "";
    }
  }
  return "it has no resource " CAPABILITY_RESOURCE_NAME ", so it was built before packed files";
}

bool StubUninstallerProgram(const std::string& bytes, std::string& program, std::string& error) {
  PeImage image;
  ResTree tree;
  if (!ParsePe(bytes, image, error) || !ReadResources(bytes, image, tree, error)) return false;
  std::string* packed = UninstallerResource(tree, error);
  return packed && UnpackUninstaller(*packed, FilteredUninstaller(bytes), program, error);
}
