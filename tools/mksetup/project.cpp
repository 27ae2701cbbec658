#include "project.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <toml++/toml.h>

#include "common/packageindex.h"
#include "names.h"
#include "pe.h"
#include "files.h"

namespace fs = std::filesystem;

const int kPageLineCounts[5] = {8, 2, 4, 1, 3};
const char* const kPageKeys[5] = {"welcome", "licence", "destination", "copying", "finish"};

namespace {

int LineOf(const toml::node& n) { return static_cast<int>(n.source().begin.line); }

const char* TypeName(const toml::node& n) {
  switch (n.type()) {
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "a number";
    case toml::node_type::floating_point: return "a number";
    case toml::node_type::boolean: return "true/false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

// A path on the target machine as the index holds it: backslashes, no empty,
// "." or ".." parts, no leading or trailing separator.
bool NormaliseTargetPath(const std::string& in, std::string& out, std::string& why) {
  out.clear();
  std::string part;
  std::string s = in + "\\";
  for (char c : s) {
    if (c == '/' || c == '\\') {
      if (part == "." || part == "..") {
        why = "a part \"" + part + "\" would leave its folder";
        return false;
      }
      if (!part.empty()) {
        if (!out.empty()) out += '\\';
        out += part;
      }
      part.clear();
    } else {
      part += c;
    }
  }
  return true;
}

// A licence file is read whole: up to 1.5 times the licence's limit in UTF-8
// (and a byte-order mark).
const uint64_t kLicenceFileMax = LICENCE_TEXT_LIMIT * 3 / 2 + 3;

// Bounds on what reaches the TOML parser, which descends once per nesting
// level and per part of a dotted key: far beyond any real project, far below
// what would exhaust the stack.
const size_t kMaxProjectBytes = 16 << 20;
const int kMaxNesting = 32;
const int kMaxDotsPerLine = 64;
// Every key the project knows is a short word; a variable's name is the
// longest a user writes.
const size_t kMaxKeyBytes = 256;

bool IsBareKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// True when a quoted text that ends before at is a key: "=" or the "." of a
// dotted key comes next (a value is followed by a comma, a bracket, a
// comment or the line's end).
bool QuotedKeyEnds(const std::string& text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) at++;
  return at < text.size() && (text[at] == '=' || text[at] == '.');
}

// "" when text stays within the bounds; else the problem, with its line.
std::string TooDeep(const std::string& text, int& line) {
  enum { kCode, kComment, kBasic, kLiteral, kMultiBasic, kMultiLiteral } state = kCode;
  int depth = 0, dots = 0;
  size_t bare = 0, quoteStart = 0;
  const std::string longKey = "a key of more than " + std::to_string(kMaxKeyBytes) + " bytes";
  line = 1;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    // Runs of bare-key characters outside quotes are keys, or numbers and
    // words far shorter than the bound.
    bare = state == kCode && IsBareKeyChar(c) ? bare + 1 : 0;
    if (bare > kMaxKeyBytes) return longKey;
    if (c == '\n') {
      line++;
      dots = 0;
      if (state == kComment || state == kBasic || state == kLiteral) state = kCode;
      continue;
    }
    switch (state) {
      case kComment: break;
      case kBasic:
        if (c == '\\') i++;
        else if (c == '"') state = kCode;
        if (state == kCode && i - quoteStart > kMaxKeyBytes && QuotedKeyEnds(text, i + 1)) return longKey;
        break;
      case kLiteral:
        if (c == '\'') state = kCode;
        if (state == kCode && i - quoteStart > kMaxKeyBytes && QuotedKeyEnds(text, i + 1)) return longKey;
        break;
      case kMultiBasic:
        if (c == '\\') i++;
        else if (text.compare(i, 3, "\"\"\"") == 0) state = kCode, i += 2;
        break;
      case kMultiLiteral:
        if (text.compare(i, 3, "'''") == 0) state = kCode, i += 2;
        break;
      case kCode:
        if (c == '#') state = kComment;
        else if (text.compare(i, 3, "\"\"\"") == 0) state = kMultiBasic, i += 2;
        else if (text.compare(i, 3, "'''") == 0) state = kMultiLiteral, i += 2;
        else if (c == '"') state = kBasic, quoteStart = i + 1;
        else if (c == '\'') state = kLiteral, quoteStart = i + 1;
        else if (c == '[' || c == '{') {
          if (++depth > kMaxNesting)
            return "lists and tables nest more than " + std::to_string(kMaxNesting) + " deep";
        } else if (c == ']' || c == '}') {
          if (depth > 0) depth--;
        } else if (c == '.' && ++dots > kMaxDotsPerLine) {
          return "more than " + std::to_string(kMaxDotsPerLine) + " dots on one line (keys of that many parts)";
        }
        break;
    }
  }
  return "";
}

class Loader {
 public:
  Loader(Project& p, Diagnostics& d, const std::map<std::string, std::string>& cmdVars)
      : p_(p), d_(d), cmdVars_(cmdVars) {}

  void Load(const toml::table& root);
  std::set<std::string> usedVars;

 private:
  void CheckKeys(const toml::table& t, const std::string& prefix,
                 std::initializer_list<const char*> allowed);
  const toml::table* SubTable(const toml::table& t, const char* name, const std::string& key);
  // False (after reporting it) when a variable is missing.
  bool Expand(const std::string& s, const std::string& key, int line, std::string& out);
  bool String(const toml::table& t, const char* name, const std::string& key, ProjectText& out);
  bool Bool(const toml::table& t, const char* name, const std::string& key, bool& out);
  // "lzma" or "none" into method; false when absent or wrong (reported).
  bool Compression(const toml::table& t, const std::string& key, int& method);
  void StringList(const toml::table& t, const char* name, const std::string& key, size_t max,
                  const char* what, std::vector<ProjectText>& out);
  void Ref(const toml::table& t, const char* name, const std::string& key, ProjectRef& out);
  int Folder(const toml::table& t, const std::string& key);
  std::string SourcePath(const ProjectText& t);
  // Every part of a normalised target path a Windows name; false after
  // reporting the first that is not.
  bool TargetPathOk(const std::string& norm, const std::string& shown, int line);

  void LoadVars(const toml::table& root);
  void LoadPages(const toml::table& root);
  void LoadLicence(const toml::table& t);
  void LoadBackground(const toml::table& root);
  void LoadAssociations(const toml::table& root);
  void LoadUninstall(const toml::table& root);
  void LoadFiles(const toml::table& root);

  Project& p_;
  Diagnostics& d_;
  const std::map<std::string, std::string>& cmdVars_;
  std::map<std::string, std::string> fileVars_;
};

void Loader::CheckKeys(const toml::table& t, const std::string& prefix,
                       std::initializer_list<const char*> allowed) {
  for (auto&& [k, v] : t) {
    std::string name(k.str());
    bool ok = false;
    std::string best;
    size_t bestDist = 3;
    for (const char* a : allowed) {
      if (name == a) ok = true;
      size_t dist = EditDistance(name, a);
      if (dist < bestDist) {
        bestDist = dist;
        best = a;
      }
    }
    if (ok) continue;
    std::string msg = "unknown key " + prefix + name;
    if (!best.empty()) msg += " (did you mean " + prefix + best + "?)";
    std::string list;
    for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
    msg += "; known here: " + list;
    d_.Error(LineOf(v), msg);
  }
}

const toml::table* Loader::SubTable(const toml::table& t, const char* name, const std::string& key) {
  const toml::node* n = t.get(name);
  if (!n) return nullptr;
  if (!n->is_table()) {
    d_.Error(LineOf(*n), key + " must be a table ([" + key + "]), not " + TypeName(*n));
    return nullptr;
  }
  return n->as_table();
}

// ${NAME} is replaced by the variable's value; $${ stands for a literal ${.
bool Loader::Expand(const std::string& s, const std::string& key, int line, std::string& out) {
  out.clear();
  bool ok = true;
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 3, "$${") == 0) {
      out += "${";
      i += 3;
    } else if (s.compare(i, 2, "${") == 0) {
      size_t end = s.find('}', i + 2);
      if (end == std::string::npos) {
        d_.Error(line, key + " = " + QuoteValue(s) + ": \"${\" without its closing \"}\" (write $${ for a literal ${)");
        return false;
      }
      std::string name = s.substr(i + 2, end - i - 2);
      auto c = cmdVars_.find(name);
      auto f = fileVars_.find(name);
      if (c != cmdVars_.end()) {
        out += c->second;
      } else if (f != fileVars_.end()) {
        out += f->second;
      } else {
        d_.Error(line, key + " = " + QuoteValue(s) + ": the variable " + name +
                           " is not defined (give it with -D " + name + "=VALUE or in [vars])");
        ok = false;
      }
      usedVars.insert(name);
      i = end + 1;
    } else {
      out += s[i++];
    }
  }
  return ok;
}

bool Loader::String(const toml::table& t, const char* name, const std::string& key, ProjectText& out) {
  const toml::node* n = t.get(name);
  if (!n) return false;
  out.key = key;
  out.line = LineOf(*n);
  if (!n->is_string()) {
    d_.Error(out.line, key + " must be a string, not " + TypeName(*n));
    return false;
  }
  out.set = Expand(n->as_string()->get(), key, out.line, out.value);
  return out.set;
}

bool Loader::Compression(const toml::table& t, const std::string& key, int& method) {
  ProjectText c;
  if (!String(t, "compression", key, c)) return false;
  if (c.value == "lzma") method = kMethodLzma;
  else if (c.value == "none") method = kMethodStored;
  else {
    d_.Error(c.line, key + " = " + QuoteValue(c.value) + ": write \"lzma\" (packed) or \"none\" (stored as it is)");
    return false;
  }
  return true;
}

bool Loader::Bool(const toml::table& t, const char* name, const std::string& key, bool& out) {
  const toml::node* n = t.get(name);
  if (!n) return false;
  if (!n->is_boolean()) {
    d_.Error(LineOf(*n), key + " must be true or false, not " + TypeName(*n));
    return false;
  }
  out = n->as_boolean()->get();
  return true;
}

void Loader::StringList(const toml::table& t, const char* name, const std::string& key, size_t max,
                        const char* what, std::vector<ProjectText>& out) {
  const toml::node* n = t.get(name);
  if (!n) return;
  const toml::array* a = n->as_array();
  if (!a) {
    // A single entry may be written without the list brackets.
    ProjectText one;
    if (String(t, name, key, one)) {
      one.key = key + "[1]";
      out.push_back(one);
    }
    return;
  }
  if (a->size() > max)
    d_.Error(LineOf(*n), key + " has " + std::to_string(a->size()) + " " + what + "; the limit is " +
                             std::to_string(max));
  for (size_t i = 0; i < a->size() && i < max; i++) {
    const toml::node& e = *a->get(i);
    ProjectText pt;
    pt.key = key + "[" + std::to_string(i + 1) + "]";
    pt.line = LineOf(e);
    if (!e.is_string()) {
      d_.Error(pt.line, pt.key + " must be a string, not " + TypeName(e));
      continue;
    }
    pt.set = Expand(e.as_string()->get(), pt.key, pt.line, pt.value);
    if (pt.set) out.push_back(pt);
  }
}

int Loader::Folder(const toml::table& t, const std::string& key) {
  ProjectText f;
  if (!String(t, "folder", key, f)) return FOLDER_INSTALL;
  if (f.value == "install") return FOLDER_INSTALL;
  if (f.value == "windows") return FOLDER_WINDOWS;
  if (f.value == "system") return FOLDER_SYSTEM;
  d_.Error(f.line, key + " = " + QuoteValue(f.value) + ": write \"install\", \"windows\" or \"system\"");
  return FOLDER_INSTALL;
}

// A reference is a path in the installation folder, or a table { folder, path }.
void Loader::Ref(const toml::table& t, const char* name, const std::string& key, ProjectRef& out) {
  const toml::node* n = t.get(name);
  if (!n) return;
  out.key = key;
  out.line = LineOf(*n);
  out.folder = FOLDER_INSTALL;
  if (const toml::table* rt = n->as_table()) {
    CheckKeys(*rt, key + ".", {"folder", "path"});
    out.folder = Folder(*rt, key + ".folder");
    if (!String(*rt, "path", key + ".path", out.path)) {
      if (!rt->get("path")) d_.Error(out.line, key + " needs a path (the file below its folder)");
      return;
    }
  } else if (!String(t, name, key, out.path)) {
    return;
  }
  std::string norm, why;
  const std::string& v = out.path.value;
  std::string shown = out.path.key + " = " + QuoteValue(v) + ": ";
  if (!v.empty() && (v[0] == '\\' || v[0] == '/')) {
    d_.Error(out.path.line, shown + "a path below its folder cannot start with a separator (no drive root, no \\\\server)");
    return;
  }
  if (v.find(':') != std::string::npos) {
    d_.Error(out.path.line, shown + "a path below its folder cannot hold \":\" (no drive letter); choose the folder with folder = ...");
    return;
  }
  if (!NormaliseTargetPath(v, norm, why)) {
    d_.Error(out.path.line, shown + why);
    return;
  }
  if (norm.empty()) {
    d_.Error(out.path.line, shown + "the path is empty");
    return;
  }
  if (!TargetPathOk(norm, shown, out.path.line)) return;
  out.written = out.path.value;
  out.path.value = norm;
  out.set = true;
}

bool Loader::TargetPathOk(const std::string& norm, const std::string& shown, int line) {
  size_t start = 0;
  while (start <= norm.size()) {
    size_t end = norm.find('\\', start);
    if (end == std::string::npos) end = norm.size();
    std::string part = norm.substr(start, end - start);
    std::string why = WindowsNameProblem(part);
    if (!why.empty()) {
      d_.Error(line, shown + (part == norm ? "" : "the part " + QuoteValue(part) + ": ") + why);
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::string Loader::SourcePath(const ProjectText& t) {
  fs::path sp(t.value);
  if (sp.is_absolute()) return sp.string();
  return (fs::path(p_.dir) / sp).lexically_normal().string();
}

void Loader::LoadVars(const toml::table& root) {
  const toml::table* v = SubTable(root, "vars", "vars");
  if (!v) return;
  for (auto&& [k, n] : *v) {
    std::string name(k.str());
    if (!n.is_string()) {
      d_.Error(LineOf(n), "vars." + name + " must be a string, not " + TypeName(n));
      continue;
    }
    fileVars_[name] = n.as_string()->get();
  }
}

void Loader::LoadPages(const toml::table& root) {
  for (int page = 0; page < 5; page++) {
    const char* key = kPageKeys[page];
    const toml::table* t = SubTable(root, key, key);
    if (!t) continue;
    if (page == 1) CheckKeys(*t, "licence.", {"lines", "text", "file"});
    else if (page == 4) CheckKeys(*t, "finish.", {"lines", "readme", "run"});
    else CheckKeys(*t, std::string(key) + ".", {"lines"});
    StringList(*t, "lines", std::string(key) + ".lines", static_cast<size_t>(kPageLineCounts[page]),
               "lines", p_.pageLines[page]);
    if (page == 1) LoadLicence(*t);
    if (page == 4) {
      Ref(*t, "readme", "finish.readme", p_.readme);
      Ref(*t, "run", "finish.run", p_.run);
    }
  }
}

void Loader::LoadLicence(const toml::table& t) {
  ProjectText text, file;
  bool hasText = String(t, "text", "licence.text", text);
  bool hasFile = String(t, "file", "licence.file", file);
  if (hasText && hasFile) {
    d_.Error(file.line, "licence.text and licence.file are both given; keep one");
    return;
  }
  if (hasFile) {
    std::string path = SourcePath(file);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      d_.Error(file.line, "licence.file = " + QuoteValue(file.value) + ": cannot read " + path + ": " +
                              strerror(errno));
      return;
    }
    // Opening a pipe or a device would wait for a writer for ever.
    if (!S_ISREG(st.st_mode)) {
      d_.Error(file.line, "licence.file = " + QuoteValue(file.value) + ": not a regular file (" + path + ")");
      return;
    }
    p_.licenceFile = path;
    auto size = static_cast<uint64_t>(st.st_size);
    // The text may hold 256 KiB in code page 936 (a Chinese character takes
    // 3 bytes of UTF-8 for its 2 there); a file far beyond that is no licence.
    if (size > kLicenceFileMax) {
      d_.Error(file.line, "licence.file = " + QuoteValue(file.value) + ": " + std::to_string(size) +
                              " bytes; the licence text may hold " + std::to_string(LICENCE_TEXT_LIMIT) +
                              " bytes in code page 936");
      return;
    }
    text = file;
    text.key = "licence.file";
    if (!ReadWholeFile(path, text.value)) {
      d_.Error(file.line, "licence.file = " + QuoteValue(file.value) + ": cannot read " + path);
      return;
    }
    if (text.value.compare(0, 3, "\xEF\xBB\xBF") == 0) text.value.erase(0, 3);
    if (!IsUtf8(text.value)) {
      d_.Error(file.line, "licence.file = " + QuoteValue(file.value) + ": " + DescribeNotUtf8(text.value));
      return;
    }
  }
  if (!text.set) return;
  // The licence sits in a multi-line edit control, which breaks lines at CR LF.
  std::string s;
  for (size_t i = 0; i < text.value.size(); i++) {
    char c = text.value[i];
    if (c == '\r' && i + 1 < text.value.size() && text.value[i + 1] == '\n') continue;
    if (c == '\n') s += "\r\n";
    else s += c;
  }
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  text.value = s;
  p_.licenceText = text;
}

void Loader::LoadBackground(const toml::table& root) {
  const toml::table* t = SubTable(root, "background", "background");
  if (!t) return;
  CheckKeys(*t, "background.", {"enabled", "picture", "caption", "colour", "caption_bar"});
  p_.backgroundEnabled = true;
  Bool(*t, "enabled", "background.enabled", p_.backgroundEnabled);
  Bool(*t, "caption_bar", "background.caption_bar", p_.backgroundCaptionBar);
  String(*t, "caption", "background.caption", p_.backgroundCaption);
  if (String(*t, "picture", "background.picture", p_.backgroundPicture))
    p_.backgroundPicturePath = SourcePath(p_.backgroundPicture);
  if (String(*t, "colour", "background.colour", p_.backgroundColour)) {
    const std::string& c = p_.backgroundColour.value;
    bool ok = c.size() == 7 && c[0] == '#' &&
              c.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
    if (!ok) {
      d_.Error(p_.backgroundColour.line, "background.colour = " + QuoteValue(c) +
                                             ": write a colour as \"#RRGGBB\" (six hex digits)");
    } else {
      unsigned long rgb = strtoul(c.c_str() + 1, nullptr, 16);
      unsigned long r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
      p_.backgroundColorRef = static_cast<long>((b << 16) | (g << 8) | r);
    }
  }
}

// An array of tables ([[name]]); a single [name] table is a common slip.
const toml::array* TableArray(const toml::table& root, const char* name, Diagnostics& d) {
  const toml::node* n = root.get(name);
  if (!n) return nullptr;
  const toml::array* a = n->as_array();
  if (!a || !a->is_array_of_tables()) {
    d.Error(LineOf(*n), std::string(name) + " must be written as [[" + name + "]] tables, one per entry");
    return nullptr;
  }
  return a;
}

void Loader::LoadAssociations(const toml::table& root) {
  const toml::array* a = TableArray(root, "association", d_);
  if (!a) return;
  if (a->size() > LIST_ITEM_MAX)
    d_.Error(LineOf(*a->get(LIST_ITEM_MAX)), "association: " + std::to_string(a->size()) +
                                                 " entries; the limit is " + std::to_string(LIST_ITEM_MAX) +
                                                 " file-type associations");
  for (size_t i = 0; i < a->size() && i < LIST_ITEM_MAX; i++) {
    const toml::table& t = *a->get(i)->as_table();
    std::string key = "association[" + std::to_string(i + 1) + "]";
    CheckKeys(t, key + ".", {"extension", "program", "description", "icon", "icon_index"});
    ProjectAssociation as;
    if (!String(t, "extension", key + ".extension", as.extension))
      d_.Error(LineOf(t), key + " needs an extension (e.g. extension = \"dmo\")");
    if (!as.extension.value.empty() && as.extension.value[0] == '.') as.extension.value.erase(0, 1);
    Ref(t, "program", key + ".program", as.program);
    if (!t.get("program")) d_.Error(LineOf(t), key + " needs a program that opens the files");
    String(t, "description", key + ".description", as.description);
    Ref(t, "icon", key + ".icon", as.icon);
    if (const toml::node* n = t.get("icon_index")) {
      as.iconIndexLine = LineOf(*n);
      // A resource's number when negative (-101), its place in the file else.
      if (!n->is_integer() || n->as_integer()->get() < -2147483647LL || n->as_integer()->get() > 2147483647LL)
        d_.Error(as.iconIndexLine, key + ".icon_index must be a whole number (the icon's place in the file, or "
                                         "minus its resource number), not " + TypeName(*n));
      else
        as.iconIndex = n->as_integer()->get();
      if (!t.get("icon"))
        d_.Error(as.iconIndexLine, key + ".icon_index needs " + key + ".icon (the file whose icon it picks)");
    }
    p_.associations.push_back(as);
  }
}

void Loader::LoadUninstall(const toml::table& root) {
  const toml::table* t = SubTable(root, "uninstall", "uninstall");
  if (!t) return;
  CheckKeys(*t, "uninstall.", {"registry_keys", "registry_values"});
  StringList(*t, "registry_keys", "uninstall.registry_keys", REG_ENTRY_MAX, "registry keys", p_.registryKeys);
  StringList(*t, "registry_values", "uninstall.registry_values", REG_ENTRY_MAX, "registry values",
             p_.registryValues);
}

void Loader::LoadFiles(const toml::table& root) {
  const toml::array* a = TableArray(root, "file", d_);
  if (!a) return;
  for (size_t i = 0; i < a->size(); i++) {
    const toml::table& t = *a->get(i)->as_table();
    ProjectFile f;
    f.key = "file[" + std::to_string(i + 1) + "]";
    f.line = LineOf(t);
    CheckKeys(t, f.key + ".", {"source", "name", "folder", "subfolder", "shortcuts", "copy", "compression"});
    Compression(t, f.key + ".compression", f.compression);
    if (!String(t, "source", f.key + ".source", f.source)) {
      if (!t.get("source")) d_.Error(f.line, f.key + " needs a source (a file or folder of the project)");
      continue;
    }
    if (f.source.value.empty()) {
      d_.Error(f.source.line, f.key + ".source is empty");
      continue;
    }
    f.sourcePath = SourcePath(f.source);
    String(t, "name", f.key + ".name", f.name);
    f.folder = Folder(t, f.key + ".folder");
    if (String(t, "subfolder", f.key + ".subfolder", f.subfolder)) {
      std::string norm, why;
      std::string shown = f.subfolder.key + " = " + QuoteValue(f.subfolder.value) + ": ";
      if (!NormaliseTargetPath(f.subfolder.value, norm, why)) {
        d_.Error(f.subfolder.line, shown + why);
        f.reported = true;
      } else if (!TargetPathOk(norm, shown, f.subfolder.line)) {
        f.reported = true;
      }
      f.subfolder.value = norm;
    } else if (t.get("subfolder")) {
      f.reported = true;
    }
    f.shortcuts = 0;
    if (const toml::node* n = t.get("shortcuts")) {
      std::vector<ProjectText> list;
      StringList(t, "shortcuts", f.key + ".shortcuts", 3, "shortcuts", list);
      for (const ProjectText& s : list) {
        if (s.value == "desktop") f.shortcuts |= SHORTCUT_DESKTOP;
        else if (s.value == "startmenu") f.shortcuts |= SHORTCUT_STARTMENU;
        else if (s.value == "group") f.shortcuts |= SHORTCUT_GROUP;
        else
          d_.Error(s.line, s.key + " = " + QuoteValue(s.value) +
                               ": write \"desktop\", \"startmenu\" or \"group\"");
      }
      (void)n;
    }
    f.copyMode = COPY_ALWAYS;
    ProjectText copy;
    if (String(t, "copy", f.key + ".copy", copy)) {
      if (copy.value == "always") f.copyMode = COPY_ALWAYS;
      else if (copy.value == "if-absent") f.copyMode = COPY_IF_ABSENT;
      else if (copy.value == "ask") f.copyMode = COPY_ASK;
      else
        d_.Error(copy.line, copy.key + " = " + QuoteValue(copy.value) +
                                ": write \"always\", \"if-absent\" or \"ask\"");
    }
    p_.files.push_back(f);
  }
}

void Loader::Load(const toml::table& root) {
  CheckKeys(root, "", {"output", "compression", "vars", "product", "welcome", "licence", "destination", "copying",
                       "finish", "background", "association", "uninstall", "file"});
  LoadVars(root);
  String(root, "output", "output", p_.output);
  Compression(root, "compression", p_.compression);
  if (const toml::table* t = SubTable(root, "product", "product")) {
    CheckKeys(*t, "product.", {"name", "picture", "icon", "version", "publisher", "description", "copyright",
                                     "id", "url"});
    String(*t, "name", "product.name", p_.productName);
    uint16_t parts[4];
    if (String(*t, "version", "product.version", p_.version) && !ParseVersion(p_.version.value, parts))
      d_.Error(p_.version.line, "product.version = " + QuoteValue(p_.version.value) +
                                    ": write up to four numbers of 0 to 65535 joined by dots, like \"1.2.0\"");
    String(*t, "publisher", "product.publisher", p_.publisher);
    String(*t, "description", "product.description", p_.description);
    String(*t, "id", "product.id", p_.productId);
    String(*t, "url", "product.url", p_.url);
    String(*t, "copyright", "product.copyright", p_.copyright);
    if (String(*t, "picture", "product.picture", p_.picture)) p_.picturePath = SourcePath(p_.picture);
    if (String(*t, "icon", "product.icon", p_.icon)) p_.iconPath = SourcePath(p_.icon);
  }
  const toml::table* product = root.get("product") ? root.get("product")->as_table() : nullptr;
  if (!p_.productName.set && !(product && product->get("name")))
    d_.Error(0, "product.name is missing: the wizard's caption and the program group's name");
  LoadPages(root);
  LoadBackground(root);
  LoadAssociations(root);
  LoadUninstall(root);
  LoadFiles(root);
  if (p_.files.empty() && !root.get("file")) d_.Warning(0, "the project has no [[file]] entries");
}

}  // namespace

bool LoadProject(const std::string& path, const std::map<std::string, std::string>& vars,
                 Project& project, Diagnostics& diag) {
  project = Project();
  project.path = path;
  fs::path dir = fs::path(path).parent_path();
  project.dir = dir.empty() ? "." : dir.string();
  if (diag.source.empty()) diag.source = path;

  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    diag.Error(0, std::string("cannot read the project file: ") + strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    diag.Error(0, std::string("the project must be a TOML file; this is ") +
                      (S_ISDIR(st.st_mode) ? "a folder" : "not a regular file"));
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxProjectBytes) {
    diag.Error(0, "the project file has " + std::to_string(st.st_size) + " bytes; the limit is " +
                      std::to_string(kMaxProjectBytes));
    return false;
  }
  std::string content;
  if (!ReadWholeFile(path, content)) {
    diag.Error(0, std::string("cannot read the project file: ") + strerror(errno));
    return false;
  }
  if (content.size() > kMaxProjectBytes) content.resize(kMaxProjectBytes + 1);
  int deepLine = 0;
  std::string deep = TooDeep(content, deepLine);
  if (!deep.empty()) {
    diag.Error(deepLine, "not a project file this program reads: " + deep);
    return false;
  }
  toml::table root;
  try {
    root = toml::parse(content, path);
  } catch (const toml::parse_error& e) {
    diag.Error(static_cast<int>(e.source().begin.line), std::string("not a valid TOML file: ") +
                                                            std::string(e.description()));
    return false;
  }
  Loader loader(project, diag, vars);
  loader.Load(root);
  for (auto& [name, value] : vars)
    if (!loader.usedVars.count(name))
      diag.Warning(0, "-D " + name + " is not used by the project");
  return true;
}
