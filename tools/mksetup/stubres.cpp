#include "stubres.h"

#include <fstream>
#include <sstream>

#include "pe.h"

namespace {

bool Slurp(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return !in.bad();
}

}  // namespace

bool WantsStubResources(const Project& p) {
  return p.icon.set || p.version.set || p.publisher.set || p.description.set || p.copyright.set;
}

bool PrepareStub(const Project& p, const std::string& stubPath, std::string& image, std::string& error) {
  if (!Slurp(stubPath, image)) {
    error = "cannot read it";
    return false;
  }
  if (!LooksLikePe(image)) return true;
  PeImage pe;
  ResTree tree;
  if (!ParsePe(image, pe, error) || !ReadResources(image, pe, tree, error)) return false;
  if (p.icon.set) {
    std::string ico;
    if (!Slurp(p.iconPath, ico)) {
      error = "cannot read " + p.icon.value;
      return false;
    }
    if (!SetIconGroup(tree, 128, ico, error)) {
      error = p.icon.key + " = \"" + p.icon.value + "\": " + error;
      return false;
    }
  }
  if (p.version.set || p.publisher.set || p.description.set || p.copyright.set) {
    VersionStrings v;
    v.version = p.version.set ? p.version.value : "";
    v.productName = p.productName.value;
    v.publisher = p.publisher.value;
    v.description = p.description.value;
    v.copyright = p.copyright.value;
    auto& versions = tree[ResId(kRtVersion)];
    versions.clear();
    versions[ResId(1)][ResId(0x0804)].bytes = VersionResource(v);
  }
  return WriteResources(image, tree, error);
}
