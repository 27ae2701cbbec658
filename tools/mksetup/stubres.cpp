#include "stubres.h"

#include "common/container.h"
#include "common/lzmastream.h"
#include "common/packageext.h"
#include "files.h"
#include "framework/memory.h"
#include "pe.h"
#include "setup/core/texts.h"

// A project in a language other than the default gets a version resource in
// it even without version keys: the stub's own describes it in Chinese.
static bool OtherLanguage(const Project& p) { return p.language.set && p.language.value != SetupLanguages()[0]->Tag; }

bool WantsStubResources(const Project& p) {
  return p.icon.set || p.version.set || p.publisher.set || p.description.set || p.copyright.set || OtherLanguage(p);
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
  ResKey exe;
  exe.named = true;
  exe.name = u"EXE";
  auto type = tree.find(exe);
  if (type == tree.end() || !type->second.count(ResId(138)) || type->second.at(ResId(138)).empty()) {
    error = "it carries no uninstaller (resource EXE 138)";
    return false;
  }
  const std::string& packed = type->second.at(ResId(138)).begin()->second.bytes;
  size_t size = 0;
  char* unpacked = DecodeLzmaBuffer(packed.data(), packed.size(), kUninstallerProgramMax, size);
  if (!unpacked) {
    error = "its uninstaller (resource EXE 138) does not unpack";
    return false;
  }
  program.assign(unpacked, size);
  FreeBuffer(unpacked);
  return true;
}
