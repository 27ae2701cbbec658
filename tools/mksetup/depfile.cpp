#include "depfile.h"

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// An absolute path with "/" between names (both tools read that on Windows
// too), its spaces, "#" and "$" escaped.
std::string Escaped(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::u8path(path), ec);
  std::string text = (ec ? fs::u8path(path) : p).lexically_normal().generic_u8string();
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '#') out += '\\';
    else if (c == '$') out += '$';
    out += c;
  }
  return out;
}

}  // namespace

std::vector<std::string> BuildInputs(const Project& project, const Plan& plan) {
  std::vector<std::string> inputs = {project.path};
  if (!project.licenceFile.empty()) inputs.push_back(project.licenceFile);
  inputs.push_back(plan.stub);
  for (const PlannedRegion& r : plan.regions) inputs.push_back(r.source);
  for (const PlannedFile& f : plan.files) inputs.push_back(f.source);  // empty ones have no region
  inputs.insert(inputs.end(), plan.folders.begin(), plan.folders.end());
  return inputs;
}

std::string DepfileText(const std::string& target, const std::vector<std::string>& inputs) {
  std::string text = Escaped(target) + ":";
  std::set<std::string> seen;
  for (const std::string& input : inputs) {
    if (input.empty()) continue;
    std::string e = Escaped(input);
    if (seen.insert(e).second) text += " \\\n  " + e;
  }
  return text + "\n";
}
