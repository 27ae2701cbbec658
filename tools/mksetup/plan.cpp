#include "plan.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "codepage.h"
#include "common/container.h"
#include "common/fieldtable.h"
#include "common/packageindex.h"
#include "common/x86filter.h"
#include "framework/mbcs.h"
#include "framework/memory.h"
#include "hostfs.h"
#include "lzmapack.h"
#include "media.h"
#include "names.h"
#include "pe.h"
#include "setup/core/texts.h"
#include "stubres.h"
#include "uninstall/core/texts.h"
#include "files.h"

namespace fs = std::filesystem;

namespace {

const char* const kPackageLimitReason =
    "a signed setup file's certificate table must start within 4 GiB: its offset is a 32-bit field";

// The byte limit of a header position; fields without a buffer of their own
// are held to the reader's field buffer.
int HeaderLimit(int position) {
  int limit = kIndexFields[position].limit;
  return limit > 0 ? limit : FIELD_BUFFER_SIZE - 1;
}

const int kMaxFieldBytes = FIELD_BUFFER_SIZE - 1;
// product.id names a registry key below ...\Uninstall.
const size_t kProductIdLimit = 64;

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

// Letter case folded the way Windows compares file names, for the ASCII
// letters only and never inside a double-byte character.
std::string FoldCase(const std::string& cp936) {
  std::string s = cp936;
  LowerAsciiMb(&s[0], s.size());
  return s;
}


class Planner {
 public:
  Planner(const Project& p, const BuildOptions& o, Plan& plan, Diagnostics& d)
      : p_(p), o_(o), plan_(plan), d_(d) {}
  bool Run();

 private:
  // Converts one text for the index and checks it; "" after an error.
  std::string Text(const std::string& key, int line, const std::string& utf8, int limit,
                   const char* limitNote = nullptr);
  std::string Text(const ProjectText& t, int limit, const char* limitNote = nullptr) {
    return t.set ? Text(t.key, t.line, t.value, limit, limitNote) : std::string();
  }
  std::string Reference(const ProjectRef& r, int limit);
  // False (after reporting it) for a text of one line that holds a line break
  // or another control character (a tab is allowed).
  bool OneLine(const ProjectText& t);
  // The texts of the setup file's version resource.
  void VersionTexts();
  std::string Registry(const ProjectText& t, bool value);
  // content: where a small file's bytes go (then *cached says whether they did).
  bool Readable(const std::string& key, int line, const std::string& shown, const std::string& path,
                int64_t& size, std::string* content = nullptr, bool* cached = nullptr);
  void Media(const ProjectText& t, const std::string& path, bool icon, bool pagePicture,
             PlannedRegion& region);
  void Header();
  void Licence();
  void Associations();
  // A row of the list (which the stub must read); its place among them.
  size_t ListSetting(const std::string& key, const std::string& value);
  void Settings();
  void Language();
  void Scope();
  std::string UserScopeStubProblem() const;
  void Files();
  // Gathers the packed files into blocks (PlannedBlock).
  void Blocks();
  void X86Code(PlannedFile& f);
  void AddFile(const ProjectFile& f, std::string path, std::string shown,
               const std::string& rel, const std::string& subdir, int64_t size, std::string&& data, bool cached);
  void CheckReferences();
  void Layout();
  void BuildIndex();

  const Project& p_;
  const BuildOptions& o_;
  Plan& plan_;
  Diagnostics& d_;
  PlannedRegion picture_, icon_, splash_;
  // Folded destination -> the file that goes there, folded folder -> the
  // first file in it (indexes into plan_.files).
  std::unordered_map<std::string, size_t> destinations_;
  std::unordered_map<std::string, size_t> folders_;
  std::string checkedFolder_;  // the last folder below a folder source whose names passed
  std::string lastFolder_;     // the folded folder of the file added last
  std::string destUtf8_;
  // Device and inode of every file read (looked up once, for the output).
  std::vector<std::pair<uint64_t, uint64_t>> inputs_;
  int64_t cachedBytes_ = 0;
  // The lists of the settings section: their rows, in order, and whether
  // there are any.
  std::vector<std::pair<std::string, std::string>> listSettings_;
  bool lists_ = false;
  bool productSettings_ = false;
  int64_t certain_ = 0;  // the bytes before the index that packing cannot shrink
  // The whole licence's region, when it does not fit the header.
  PlannedRegion licence_;
  int licenceMethod_ = kMethodNone;
  int64_t licenceUnpacked_ = 0;
  uint32_t licenceCrc_ = 0;
  size_t licenceSetting_ = 0;
};

// The text in code page 936 into out, or what is wrong with it (to follow
// "key = value: ").
std::string ToPackageText(const std::string& utf8, int limit, const char* limitNote, std::string& out) {
  std::string bad;
  size_t badAt = 0;
  out.clear();
  if (!IsUtf8(utf8, &badAt)) {
    char hex[8];
    snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(utf8[badAt]));
    return std::string("holds the byte ") + hex + ", which is not UTF-8 (" + DescribeNotUtf8(utf8) + ")";
  }
  if (!Utf8ToCp936(utf8, out, &bad))
    return "the character " + QuoteValue(bad) + " (" + CodePointName(bad) +
           ") has no form in code page 936, the package's text encoding";
  for (char c : out) {
    if (c == 0 || c == FIELD_END || c == ROW_END) {
      char hex[8];
      snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(c));
      return std::string("holds the control byte ") + hex +
             "; no field may hold 0x00, 0x07 or 0x08 (the index uses them to separate fields)";
    }
  }
  if (static_cast<int>(out.size()) > limit) {
    std::string msg = std::to_string(out.size()) + " bytes in code page 936; the limit is " +
                      std::to_string(limit) + " bytes";
    if (limitNote) msg += std::string(" (") + limitNote + ")";
    return msg;
  }
  return "";
}

std::string Planner::Text(const std::string& key, int line, const std::string& utf8, int limit,
                          const char* limitNote) {
  std::string out;
  std::string why = ToPackageText(utf8, limit, limitNote, out);
  if (why.empty()) return out;
  d_.Error(line, key + " = " + QuoteValue(utf8) + ": " + why);
  return "";
}

bool Planner::OneLine(const ProjectText& t) {
  for (unsigned char c : t.value) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "0x%02X", c);
      d_.Error(t.line, t.key + " = " + QuoteValue(t.value) + ": holds the control character " + hex +
                           "; the text is one line (no line breaks or other control characters)");
      return false;
    }
  }
  return true;
}

// A folder-token reference: the folder's keyword, a backslash, the path.
std::string Planner::Reference(const ProjectRef& r, int limit) {
  if (!r.set) return "";
  std::string path = Text(r.path.key, r.path.line, r.path.value, kMaxFieldBytes);
  if (path.empty()) return "";
  std::string full = std::string(FolderKeyword(r.folder)) + "\\" + path;
  if (static_cast<int>(full.size()) > limit) {
    d_.Error(r.path.line, r.path.key + " = " + QuoteValue(r.written) + ": " + std::to_string(full.size()) +
                              " bytes in code page 936 as the index holds it (" + FolderKeyword(r.folder) +
                              "\\ and the path); the limit is " + std::to_string(limit) + " bytes");
    return "";
  }
  return full;
}

// "ROOT|subkey" for a key, "ROOT|subkey|name" for a value: entries the
// uninstaller could not use are errors here rather than silently nothing.
std::string Planner::Registry(const ProjectText& t, bool value) {
  std::string out = Text(t, kMaxFieldBytes);
  if (out.empty()) return "";
  const std::string& v = t.value;
  const char* form = value ? "ROOT|Software\\\\Vendor\\\\App|ValueName" : "ROOT|Software\\\\Vendor\\\\App";
  size_t bar = v.find('|');
  std::string root = bar == std::string::npos ? "" : v.substr(0, bar);
  bool known = std::any_of(std::begin(kRootNames), std::end(kRootNames),
                           [&](const char* r) { return root == r; });
  if (!known) {
    d_.Error(t.line, t.key + " = " + QuoteValue(v) + ": write \"" + form +
                         "\" with ROOT one of HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
                         "HKEY_USERS, HKEY_CURRENT_CONFIG (exact letter case)");
    return "";
  }
  std::string last = v.substr(v.rfind('|') + 1);
  if (value) {
    if (last.empty()) {
      d_.Error(t.line, t.key + " = " + QuoteValue(v) + ": the value name after the last \"|\" is empty; write \"" +
                           form + "\"");
      return "";
    }
  } else {
    std::string sub = last;
    while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (sub.empty()) {
      d_.Error(t.line, t.key + " = " + QuoteValue(v) + ": names no subkey; write \"" + form + "\"");
      return "";
    }
    if (sub.find('\\') == std::string::npos)
      d_.Warning(t.line, t.key + " = " + QuoteValue(v) + ": the uninstaller will remove the whole top-level key " +
                             QuoteValue(sub) + " with everything below it");
  }
  return out;
}

// Small files read during the checks, and how many bytes of them at most are
// held for the writer.
const int64_t kCacheFileBytes = 64 << 10;
const int64_t kCacheTotalBytes = 64 << 20;

bool Planner::Readable(const std::string& key, int line, const std::string& shown, const std::string& path,
                       int64_t& size, std::string* content, bool* cached) {
  // One open (which cannot wait: a pipe opens at once without a writer) and
  // its fstat: a single walk of the path, which counts with many small files.
  int fd = OpenRead(path);
  if (fd < 0) {
    d_.Error(line, key + " = " + QuoteValue(shown) + ": cannot read it: " + strerror(errno) + " (" + path + ")");
    return false;
  }
  FileInfo st;
  bool ok = StatFd(fd, st);
  if (ok && content && st.regular && st.size <= kCacheFileBytes && cachedBytes_ + st.size <= kCacheTotalBytes) {
    content->resize(static_cast<size_t>(st.size));
    size_t got = 0;
    while (got < content->size()) {
      ssize_t n = read(fd, &(*content)[got], content->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    // A file that is not what fstat said is left to the writer, which reports it.
    *cached = got == content->size();
    if (*cached) cachedBytes_ += st.size;
    else content->clear();
  }
  // A file the file system gives as empty that holds data after all (those
  // of /proc and /sys): its size is no size, so it is not packed.
  bool sizeless = false;
  if (ok && st.regular && st.size == 0) {
    char byte;
    ssize_t n;
    do n = read(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    sizeless = n > 0;
  }
  close(fd);
  if (!ok || !st.regular) {
    d_.Error(line, key + " = " + QuoteValue(shown) + ": not a regular file (" + path + ")");
    return false;
  }
  if (sizeless) {
    d_.Error(line, key + " = " + QuoteValue(shown) + ": its size is given as 0 bytes, yet it holds data (a file of "
                   "/proc or /sys, made as it is read); such a file is not packed: copy it to a file first (" +
                   path + ")");
    return false;
  }
  size = st.size;
  inputs_.emplace_back(st.device, st.id);
  return true;
}

void Planner::Media(const ProjectText& t, const std::string& path, bool icon, bool pagePicture,
                    PlannedRegion& region) {
  int64_t size = 0;
  if (!t.set || !Readable(t.key, t.line, t.value, path, size)) return;
  int w = 0, h = 0;
  std::string why = icon ? CheckIcon(path) : CheckJpeg(path, &w, &h);
  if (!why.empty()) {
    d_.Error(t.line, t.key + " = " + QuoteValue(t.value) + ": " + why);
    return;
  }
  // The pages paint the picture stretched into 115 x 250 pixels.
  if (pagePicture && w > 0 && h > 0 && (w * 250 > h * 115 * 11 / 10 || w * 250 * 11 / 10 < h * 115))
    d_.Warning(t.line, t.key + " = " + QuoteValue(t.value) + ": " + std::to_string(w) + " x " +
                           std::to_string(h) + " pixels; the pages show it stretched to 115 x 250");
  region.what = t.key;
  region.shown = t.value;
  region.source = path;
  region.length = size;
}

void Planner::Header() {
  std::vector<std::string>& h = plan_.header;
  h.assign(kIndexHeaderFields, std::string());
  // The licence text is page 2's third line.
  for (int page = 0; page < PAGE_COUNT; page++) {
    for (size_t k = 0; k < p_.pageLines[page].size(); k++) {
      int pos = PageTextPosition(page, static_cast<int>(k));
      int limit = HeaderLimit(pos);
      const ProjectText& t = p_.pageLines[page][k];
      if (!OneLine(t)) continue;
      h[pos] = Text(t, limit,
                        limit == STATIC_LINE_LIMIT ? "a line shown on a wizard page; about 23 Chinese characters"
                                                   : nullptr);
    }
  }
  Licence();

  std::string name;
  if (p_.productName.set) {
    std::string why = WindowsNameProblem(p_.productName.value);
    if (!why.empty())
      d_.Error(p_.productName.line, "product.name = " + QuoteValue(p_.productName.value) +
                                        ": it becomes a folder name: " + why);
    else
      name = Text(p_.productName, HeaderLimit(kIdxProductName));
  }
  h[kIdxProductName] = name;
  h[kIdxReadmeFile] = Reference(p_.readme, HeaderLimit(kIdxReadmeFile));
  h[kIdxRunFile] = Reference(p_.run, HeaderLimit(kIdxRunFile));
  // The first two of each go into the header, the rest into the list.
  for (size_t i = 0; i < p_.registryKeys.size(); i++) {
    std::string key = Registry(p_.registryKeys[i], false);
    if (i < 2) h[kIdxRegKeys + i] = key;
    else if (!key.empty()) ListSetting(SETTING_UNINSTALL_KEY + std::to_string(i + 1), key);
  }
  for (size_t i = 0; i < p_.registryValues.size(); i++) {
    std::string value = Registry(p_.registryValues[i], true);
    if (i < 2) h[kIdxRegValues + i] = value;
    else if (!value.empty()) ListSetting(SETTING_UNINSTALL_VALUE + std::to_string(i + 1), value);
  }
  // The picture and the icon are set once laid out.
  Associations();
  h[kIdxSplashEnabled] = p_.backgroundEnabled ? KW_TRUE : "FALSE";
  if (OneLine(p_.backgroundCaption))
    h[kIdxSplashCaption] =
        Text(p_.backgroundCaption, HeaderLimit(kIdxSplashCaption), "the background window's caption");
  h[kIdxSplashBackColor] = std::to_string(p_.backgroundColorRef);
  h[kIdxSplashCaptionBar] = p_.backgroundCaptionBar ? KW_TRUE : "FALSE";
  Settings();
}

// The licence: in the header's field when it fits; else the whole text in a
// region the settings name (packed when the project packs), and its first
// part, cut between two characters, in the field for readers without the
// list.
void Planner::Licence() {
  const int licence = PageTextPosition(1, 2);
  std::string whole = Text(p_.licenceText, LICENCE_TEXT_LIMIT, "the whole licence, in the package's list");
  if (whole.size() <= static_cast<size_t>(HeaderLimit(licence))) {
    plan_.header[licence] = whole;
    return;
  }
  size_t cut = static_cast<size_t>(CharBoundary(whole.c_str(), HeaderLimit(licence)));
  if (cut > 0 && whole[cut - 1] == '\r') cut--;  // never half a line break
  plan_.header[licence] = whole.substr(0, cut);
  licence_.what = "licence";
  licence_.shown = p_.licenceFile.empty() ? "licence.text" : p_.licenceFile;
  licence_.cached = true;
  licenceCrc_ = static_cast<uint32_t>(Crc32Update(0, whole.data(), whole.size()));
  licenceUnpacked_ = static_cast<int64_t>(whole.size());
  std::string packed = p_.compression == kMethodLzma ? PackBytes(whole) : std::string();
  licenceMethod_ = packed.empty() ? kMethodStored : kMethodLzma;
  licence_.data = packed.empty() ? std::move(whole) : std::move(packed);
  licence_.length = static_cast<int64_t>(licence_.data.size());
  // Its value once laid out (Layout).
  licenceSetting_ = ListSetting(SETTING_LICENCE_REGION, "");
}

size_t Planner::ListSetting(const std::string& key, const std::string& value) {
  lists_ = true;
  listSettings_.emplace_back(key, value);
  return listSettings_.size() - 1;
}

// The file-type associations: up to two plain ones (an extension of at most
// 3 bytes and a program) in the header as always; any more, a longer
// extension, a description or an icon put every one of them into the list,
// where each gets a type of the product's own and its removal takes back
// what was there before.
void Planner::Associations() {
  std::vector<std::string>& h = plan_.header;
  bool list = p_.associations.size() > 2;
  for (const ProjectAssociation& a : p_.associations) {
    std::string ext;
    if (!Utf8ToCp936(a.extension.value, ext, nullptr)) ext = a.extension.value;
    if (ext.size() > 3 || a.description.set || a.icon.set) list = true;
  }
  std::vector<std::string> seen;
  for (size_t i = 0; i < p_.associations.size(); i++) {
    const ProjectAssociation& a = p_.associations[i];
    if (a.extension.set && a.extension.value.empty()) d_.Error(a.extension.line, a.extension.key + " is empty");
    std::string badExt;
    for (char c : a.extension.value)
      if (strchr("\\/:*?\"<>|. ", c) && badExt.find(c) == std::string::npos) badExt += c;
    if (!badExt.empty())
      d_.Error(a.extension.line, a.extension.key + " = " + QuoteValue(a.extension.value) +
                                     ": an extension cannot hold " + QuoteValue(badExt));
    bool good = badExt.empty() && OneLine(a.extension);
    for (size_t k = 0; k < seen.size() && good && !a.extension.value.empty(); k++) {
      if (seen[k] == FoldCase(a.extension.value)) {
        d_.Error(a.extension.line, a.extension.key + " = " + QuoteValue(a.extension.value) +
                                       ": the same extension as association[" + std::to_string(k + 1) + "]");
        good = false;
      }
    }
    seen.push_back(FoldCase(a.extension.value));
    if (!list) {
      int progPos = TypeAssocPosition(static_cast<int>(i));
      h[progPos] = Reference(a.program, HeaderLimit(progPos));
      h[progPos + 1] = Text(a.extension, HeaderLimit(progPos + 1), "an extension without its dot");
      continue;
    }
    size_t chars = Utf16Length(a.extension.value);
    if (good && chars > LIST_EXTENSION_CHARS) {
      d_.Error(a.extension.line, a.extension.key + " = " + QuoteValue(a.extension.value) + ": " +
                                     std::to_string(chars) + " characters; the limit is " +
                                     std::to_string(LIST_EXTENSION_CHARS) + " characters");
      good = false;
    }
    std::string ext = good ? Text(a.extension, 2 * LIST_EXTENSION_CHARS, "an extension without its dot") : "";
    std::string program = Reference(a.program, SETTING_VALUE_LIMIT);
    std::string description;
    if (a.description.set && OneLine(a.description))
      description = Text(a.description, SETTING_VALUE_LIMIT, "the type's name Explorer shows");
    std::string icon;
    if (a.icon.set) {
      std::string index = "," + std::to_string(a.iconIndex);
      icon = Reference(a.icon, SETTING_VALUE_LIMIT - static_cast<int>(index.size()));
      if (!icon.empty()) icon += index;
    }
    if (ext.empty() || program.empty()) continue;
    std::string n = SETTING_ASSOCIATION + std::to_string(i + 1) + ".";
    ListSetting(n + ASSOCIATION_FIELD_EXTENSION, ext);
    ListSetting(n + ASSOCIATION_FIELD_PROGRAM, program);
    if (!description.empty()) ListSetting(n + ASSOCIATION_FIELD_DESCRIPTION, description);
    if (!icon.empty()) ListSetting(n + ASSOCIATION_FIELD_ICON, icon);
  }
}

// The texts of the version resource are UTF-16 there (no code page 936
// needed), one line each and of kVersionTextLimit characters at most.
void Planner::VersionTexts() {
  for (const ProjectText* t : {&p_.publisher, &p_.description, &p_.copyright}) {
    if (!t->set || !OneLine(*t)) continue;
    size_t units = Utf16Length(t->value);
    if (units > kVersionTextLimit)
      d_.Error(t->line, t->key + " = " + QuoteValue(t->value) + ": " + std::to_string(units) +
                            " characters; the limit is " + std::to_string(kVersionTextLimit) +
                            " characters (a text of the setup file's version resource)");
  }
}

// The package extension's settings: written when the project gives a key
// that only the extension carries (product.id, product.url), so that every
// other project builds as before.
void Planner::Settings() {
  Language();
  Scope();
  if (!p_.productId.set && !p_.url.set) return;
  productSettings_ = true;
  auto add = [&](const ProjectText& t, const char* key, const char* what) {
    if (!t.set) return;
    if (t.value.empty()) {
      // An empty version is refused with the version resource's own message.
      if (&t != &p_.version) d_.Error(t.line, t.key + " is empty: give " + what + " or leave the key out");
      return;
    }
    if (!OneLine(t)) return;
    std::string value = Text(t, SETTING_VALUE_LIMIT);
    if (!value.empty()) plan_.settings.emplace_back(key, value);
  };
  if (p_.productId.set) {
    std::string bad;
    for (char c : p_.productId.value)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("._-{}+", c)) &&
          bad.find(c) == std::string::npos)
        bad += c;
    if (!bad.empty())
      d_.Error(p_.productId.line, p_.productId.key + " = " + QuoteValue(p_.productId.value) +
                                      ": the name of a registry key; write ASCII letters, digits and "
                                      "\".-_{}+\" only, not " + QuoteValue(bad));
    else if (p_.productId.value.size() > kProductIdLimit)
      d_.Error(p_.productId.line, p_.productId.key + " = " + QuoteValue(p_.productId.value) + ": " +
                                      std::to_string(p_.productId.value.size()) + " bytes; the limit is " +
                                      std::to_string(kProductIdLimit) + " bytes");
    else
      add(p_.productId, SETTING_PRODUCT_ID, "the key name");
  }
  add(p_.version, SETTING_PRODUCT_VERSION, "a version");
  add(p_.publisher, SETTING_PRODUCT_PUBLISHER, "the publisher's name");
  add(p_.url, SETTING_PRODUCT_URL, "the product's web address");
}

// ui.language: one that both programs speak; every language but the default
// goes into the settings (the default, zh-CN, builds as a project without
// the key).
void Planner::Language() {
  const ProjectText& l = p_.language;
  if (!l.set) return;
  if (!SetupLanguages().Find(l.value.c_str()) || !UninstallLanguages().Find(l.value.c_str())) {
    std::string known;
    for (int i = 0; i < SetupLanguages().Count(); i++)
      known += std::string(known.empty() ? "" : " or ") + "\"" + SetupLanguages()[i]->Tag + "\"";
    d_.Error(l.line, l.key + " = " + QuoteValue(l.value) + ": write " + known);
    return;
  }
  if (l.value == SetupLanguages()[0]->Tag) return;
  plan_.settings.emplace_back(SETTING_UI_LANGUAGE, l.value);
  plan_.language = l.value;
}

// install.scope: "machine" builds as a project without the key; "user" and
// "ask" go into the settings, and such a package writes nowhere the current
// user may not (for "ask": should the user choose to install for themselves
// alone): no file into the Windows or system folder, no registry entry for
// the uninstaller to remove outside HKEY_CURRENT_USER and the classes.
void Planner::Scope() {
  const ProjectText& s = p_.scope;
  if (!s.set || s.value == SCOPE_MACHINE_WORD) return;
  if (s.value != SCOPE_USER_WORD && s.value != SCOPE_ASK_WORD) {
    d_.Error(s.line, s.key + " = " + QuoteValue(s.value) + ": write \"" + SCOPE_MACHINE_WORD +
                         "\" (for everybody), \"" + SCOPE_USER_WORD + "\" (for the current user alone) or \"" +
                         SCOPE_ASK_WORD + "\" (the user chooses)");
    return;
  }
  const std::string alone = s.value == SCOPE_USER_WORD ? " installs for the current user alone"
                                                       : " lets the user install for themselves alone";
  for (const ProjectFile& f : p_.files) {
    if (f.folder != FOLDER_WINDOWS && f.folder != FOLDER_SYSTEM) continue;
    std::string name = f.name.set ? f.name.value : f.source.value;
    const char* folder = f.folder == FOLDER_WINDOWS ? "windows" : "system";
    d_.Error(f.line, f.key + " " + QuoteValue(name) + ": folder = \"" + folder + "\", but " + s.key + " = " +
                         QuoteValue(s.value) + alone + ", who may not write there; put the file in the installation "
                         "folder");
  }
  for (const std::vector<ProjectText>* list : {&p_.registryKeys, &p_.registryValues})
    for (const ProjectText& r : *list) {
      std::string root = r.value.substr(0, r.value.find('|'));
      if (root == "HKEY_CURRENT_USER" || root == "HKEY_CLASSES_ROOT") continue;
      d_.Error(r.line, r.key + " = " + QuoteValue(r.value) + ": " + s.key + " = " + QuoteValue(s.value) +
                           ": the uninstaller runs without the administrator's rights and removes only entries "
                           "below HKEY_CURRENT_USER or HKEY_CLASSES_ROOT");
    }
  plan_.header[kIdxExtension] = PACKAGE_TAG;
  plan_.settings.emplace_back(SETTING_INSTALL_SCOPE, s.value);
  plan_.userScope = true;
  plan_.askScope = s.value == SCOPE_ASK_WORD;
}

// Every file below the folder root (relative path with "/", full path),
// symbolic links followed to files but not into folders; entries that are no
// regular file (devices, pipes, broken links) go to odd; every folder read
// (full path) to folders. False with the reason when a folder cannot be read. Read with readdir: with thousands of
// files the walk is a good part of a build.
bool ListFiles(const std::string& root, std::vector<std::pair<std::string, std::string>>& found,
               std::vector<std::string>& odd, std::vector<std::string>& folders, std::string& error) {
  std::string prefix = root.back() == '/' ? root : root + "/";
  std::vector<std::string> pending{std::string()};  // folders still to read, relative
  while (!pending.empty()) {
    std::string dirRel = std::move(pending.back());
    pending.pop_back();
    folders.push_back(dirRel.empty() ? root : prefix + dirRel);
#ifdef _WIN32
    // The same walk through FindFirstFileExW: a reparse point to a folder (a
    // link or junction) is not followed, one to a file is taken as the file.
    WIN32_FIND_DATAW e;
    HANDLE find = FindFirstFileExW(WidePath(folders.back() + "/*").c_str(), FindExInfoBasic, &e,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      SetErrnoFromWin32();
      error = strerror(errno);
      return false;
    }
    do {
      const wchar_t* name = e.cFileName;
      if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
      std::string rel = dirRel.empty() ? Utf8Text(name) : dirRel + "/" + Utf8Text(name);
      bool isDir = (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      bool isLink = (e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (isDir) {
        if (!isLink) pending.push_back(std::move(rel));
      } else {
        FileInfo info;
        if (!isLink || (StatPath(prefix + rel, info) && info.regular)) found.emplace_back(rel, prefix + rel);
        else odd.push_back(std::move(rel));
      }
    } while (FindNextFileW(find, &e));
    DWORD last = GetLastError();
    FindClose(find);
    if (last != ERROR_NO_MORE_FILES) {
      SetErrnoFromWin32();
      error = strerror(errno);
      return false;
    }
#else
    DIR* dir = opendir(folders.back().c_str());
    if (!dir) {
      error = strerror(errno);
      return false;
    }
    errno = 0;
    while (const dirent* e = readdir(dir)) {
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      std::string rel = dirRel.empty() ? std::string(name) : dirRel + "/" + name;
      std::string full = prefix + rel;
      bool isDir = e->d_type == DT_DIR, isFile = e->d_type == DT_REG;
      if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        struct stat st;
        if (stat(full.c_str(), &st) == 0) {
          isDir = S_ISDIR(st.st_mode);
          isFile = S_ISREG(st.st_mode);
        }
      }
      if (isDir) {
        if (e->d_type != DT_LNK) pending.push_back(std::move(rel));
      } else if (isFile) {
        found.emplace_back(std::move(rel), std::move(full));
      } else {
        odd.push_back(std::move(rel));
      }
      errno = 0;
    }
    int readError = errno;
    closedir(dir);
    if (readError) {
      error = strerror(readError);
      return false;
    }
#endif
  }
  return true;
}

// The longest path the setup's file calls take (MAX_PATH less the zero), the
// shortest folder the user may choose, and the folders the setup proposes or
// usually finds; paths are counted in code page 936 bytes.
const size_t kMaxPathBytes = 259;
const char* ShortestFolder(int folder) {
  return folder == FOLDER_WINDOWS ? "C:\\WINDOWS\\" : folder == FOLDER_SYSTEM ? "C:\\WINDOWS\\SYSTEM\\" : "C:\\A\\";
}

void Planner::AddFile(const ProjectFile& f, std::string path, std::string shown,
                      const std::string& rel, const std::string& subdir, int64_t size, std::string&& data,
                      bool cached) {
  PlannedFile pf;
  pf.shown = std::move(shown);
  pf.key = f.key + (rel.empty() ? "" : " (" + rel + ")");
  pf.source = std::move(path);
  pf.folder = f.folder;
  pf.shortcuts = f.shortcuts;
  pf.copyMode = f.copyMode;
  pf.length = size;
  if (size > kMaxFileBytes) {
    d_.Error(f.source.line, pf.key + " = " + QuoteValue(pf.shown) + ": " + std::to_string(size) +
                                " bytes; a file of the package holds at most " + std::to_string(kMaxFileBytes) +
                                " bytes (the most a FAT32 drive holds), packed or stored");
    return;
  }

  // The name: given, or the source's own.
  // The keys name a file in messages only (made when one is needed).
  auto nameKey = [&] { return f.name.set ? f.name.key : pf.key + " file name"; };
  std::string nameUtf8 = f.name.set ? f.name.value : pf.source.substr(pf.source.rfind('/') + 1);
  int line = f.name.set ? f.name.line : f.source.line;
  bool ok = true;
  std::string why = WindowsNameProblem(nameUtf8);
  if (!why.empty()) {
    d_.Error(line, nameKey() + " = " + QuoteValue(nameUtf8) + ": " + why +
                       (nameUtf8.find_first_of("\\/") != std::string::npos ? " (put folders in subfolder)" : ""));
    ok = false;
  } else {
    std::string whyText = ToPackageText(nameUtf8, kFileRowLimits[kRowName], nullptr, pf.name);
    if (!whyText.empty()) d_.Error(line, nameKey() + " = " + QuoteValue(nameUtf8) + ": " + whyText);
    ok = whyText.empty() && !pf.name.empty();
  }
  // The project's subfolder is checked when loaded; the folders below a
  // folder source are checked here.
  auto subKey = [&] { return f.subfolder.set ? f.subfolder.key : pf.key + " sub-folder"; };
  int subLine = f.subfolder.set ? f.subfolder.line : f.source.line;
  size_t slash = rel.rfind('/');
  // The files of a folder come one after another: its names are checked once.
  if (slash != std::string::npos && rel.compare(0, slash, checkedFolder_) != 0) {
    std::string below = rel.substr(0, slash);
    size_t start = 0;
    while (ok && start <= below.size()) {
      size_t end = below.find('/', start);
      if (end == std::string::npos) end = below.size();
      std::string part = below.substr(start, end - start);
      std::string partWhy = WindowsNameProblem(part);
      if (!partWhy.empty()) {
        d_.Error(f.source.line, f.source.key + " = " + QuoteValue(f.source.value) + ": the folder " +
                                    QuoteValue(below) + ": " + QuoteValue(part) + " " + partWhy);
        ok = false;
      }
      start = end + 1;
    }
    if (ok) checkedFolder_ = below;
  }
  if (ok && !subdir.empty()) {
    std::string whyText = ToPackageText(subdir, kFileRowLimits[kRowSubDir], nullptr, pf.subdir);
    if (!whyText.empty()) d_.Error(subLine, subKey() + " = " + QuoteValue(subdir) + ": " + whyText);
    if (!whyText.empty() || pf.subdir.empty()) ok = false;
  }
  if (!ok) return;

  std::string below = (pf.subdir.empty() ? "" : pf.subdir + "\\") + pf.name;
  size_t shortest = strlen(ShortestFolder(pf.folder)) + below.size();
  if (shortest > kMaxPathBytes) {
    d_.Error(line, pf.key + " = " + QuoteValue(Cp936ToUtf8(below)) + ": " + std::to_string(shortest) +
                       " bytes as installed even into " + ShortestFolder(pf.folder) +
                       "; Windows paths hold at most " + std::to_string(kMaxPathBytes));
    return;
  }
  if (pf.folder == FOLDER_INSTALL) {
    // The folder proposed: "C:\Program Files\" + product name + "\".
    size_t full = strlen("C:\\Program Files\\") + plan_.header[40].size() + 1 + below.size();
    if (full > kMaxPathBytes) {
      std::string dflt = "C:\\Program Files\\" + plan_.header[40] + "\\";
      d_.Warning(line, pf.key + " = " + QuoteValue(Cp936ToUtf8(below)) + ": " + std::to_string(full) +
                           " bytes as installed into the proposed folder " + QuoteValue(Cp936ToUtf8(dflt)) +
                           "; Windows paths hold at most " + std::to_string(kMaxPathBytes));
    }
  }

  std::string& destUtf8 = destUtf8_;  // its buffer serves every file
  destUtf8.assign(FolderKeyword(pf.folder)).append(1, '\\').append(Cp936ToUtf8(below));
  std::string folded = FoldForWindows(destUtf8);
  auto it = destinations_.find(folded);
  if (it != destinations_.end()) {
    d_.Error(line, pf.key + " = " + QuoteValue(destUtf8) + ": the same destination as " +
                       plan_.files[it->second].key +
                       "; each file needs its own (Windows ignores letter case and trailing dots)");
    return;
  }
  // A file and a folder cannot share a path.
  auto folder = folders_.find(folded);
  if (folder != folders_.end()) {
    d_.Error(line, pf.key + " = " + QuoteValue(destUtf8) + ": " + plan_.files[folder->second].key +
                       " needs a folder of this name; a file and a folder cannot share it");
    return;
  }
  // The folders above it: checked and noted once for a run of files in the
  // same folder (the file just before, the only destination added since,
  // is no folder above this one).
  size_t lastCut = folded.rfind('\\');
  bool sameFolder = lastCut != std::string::npos && lastCut == lastFolder_.size() &&
                    folded.compare(0, lastCut, lastFolder_) == 0;
  for (size_t cut = folded.find('\\', folded.find('\\') + 1); !sameFolder && cut != std::string::npos;
       cut = folded.find('\\', cut + 1)) {
    std::string prefix = folded.substr(0, cut);
    auto clash = destinations_.find(prefix);
    if (clash != destinations_.end()) {
      d_.Error(line, pf.key + " = " + QuoteValue(destUtf8) + ": needs a folder where " +
                         plan_.files[clash->second].key + " puts a file");
      return;
    }
  }
  for (size_t cut = folded.find('\\', folded.find('\\') + 1); !sameFolder && cut != std::string::npos;
       cut = folded.find('\\', cut + 1))
    folders_.emplace(folded.substr(0, cut), plan_.files.size());
  lastFolder_.assign(folded, 0, lastCut == std::string::npos ? 0 : lastCut);
  destinations_.emplace(std::move(folded), plan_.files.size());
  pf.data = std::move(data);
  pf.cached = cached;
  pf.method = f.compression >= 0 ? f.compression : p_.compression;
  pf.unpacked = pf.length;
  plan_.files.push_back(std::move(pf));
}

void Planner::Files() {
  for (const ProjectFile& f : p_.files) {
    if (f.reported) continue;
    FileInfo st;
    if (StatPath(f.sourcePath, st) && st.folder) {
      if (f.name.set) {
        d_.Error(f.name.line, f.name.key + " = " + QuoteValue(f.name.value) +
                                  ": a folder source keeps its files' own names; name is for single files");
        continue;
      }
      // Every file below the folder, in a fixed order: byte order of the
      // relative paths.
      std::vector<std::pair<std::string, std::string>> found;  // relative, full
      std::vector<std::string> odd;
      std::string error;
      bool listed = ListFiles(f.sourcePath, found, odd, plan_.folders, error);
      for (const std::string& rel : odd)
        d_.Error(f.source.line, f.source.key + " = " + QuoteValue(f.source.value) + ": " + QuoteValue(rel) +
                                    " is not a regular file");
      if (!listed) {
        d_.Error(f.source.line, f.source.key + " = " + QuoteValue(f.source.value) + ": " + error);
        continue;
      }
      // Relative paths are unique: they alone decide the order (sorted as
      // indices, which move for nothing).
      // The first eight bytes, as a number, decide most comparisons.
      std::vector<std::pair<uint64_t, size_t>> order(found.size());
      for (size_t i = 0; i < order.size(); i++) {
        uint64_t key = 0;
        const std::string& rel = found[i].first;
        for (size_t k = 0; k < 8; k++) key = key << 8 | (k < rel.size() ? static_cast<unsigned char>(rel[k]) : 0);
        order[i] = {key, i};
      }
      std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : found[a.second].first < found[b.second].first;
      });
      if (found.empty())
        d_.Warning(f.source.line, f.source.key + " = " + QuoteValue(f.source.value) + ": the folder holds no files");
      plan_.files.reserve(plan_.files.size() + order.size());
      const std::string sourceKey = f.key + ".source";
      for (const auto& [key, i] : order) {
        const std::string& rel = found[i].first;
        std::string& full = found[i].second;
        int64_t size = 0;
        std::string shown = f.source.value + (f.source.value.back() == '/' ? "" : "/") + rel;
        std::string data;
        bool cached = false;
        if (!Readable(sourceKey, f.source.line, shown, full, size, &data, &cached)) continue;
        std::string subdir = f.subfolder.value;
        size_t slash = rel.rfind('/');
        if (slash != std::string::npos) {
          std::string below = rel.substr(0, slash);
          std::replace(below.begin(), below.end(), '/', '\\');
          subdir = subdir.empty() ? below : subdir + "\\" + below;
        }
        AddFile(f, std::move(full), std::move(shown), rel, subdir, size, std::move(data), cached);
      }
    } else {
      int64_t size = 0;
      std::string data;
      bool cached = false;
      if (!Readable(f.source.key, f.source.line, f.source.value, f.sourcePath, size, &data, &cached)) continue;
      AddFile(f, f.sourcePath, f.source.value, "", f.subfolder.value, size, std::move(data), cached);
    }
  }
}

// The bytes of an x86 program's code, from its headers: the file's range
// from its first code section's raw data to the end of its last one's (the
// part of the file the x86 filter is for); nothing for any other file and for
// headers that do not hold together.
void Planner::X86Code(PlannedFile& f) {
  f.codeFrom = f.codeLength = 0;
  std::string head;
  if (f.cached) {
    head = f.data.substr(0, 4096);
  } else {
    int fd = OpenRead(f.source);
    if (fd < 0) return;
    head.resize(4096);
    ssize_t n = read(fd, &head[0], head.size());
    close(fd);
    head.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  int64_t from = 0, length = 0;
  if (X86CodeRange(reinterpret_cast<const unsigned char*>(head.data()), head.size(), f.length, from, length)) {
    f.codeFrom = from;
    f.codeLength = length;
  }
}

void Planner::Blocks() {
  plan_.level = p_.level;
  const int64_t limit = LevelOf(p_.level).blockLimit;
  // Runs of packed files, one after another in row order; a stored file
  // ends a run, and so does a change between files the run always writes
  // and files it may keep (copied if absent, or asked): a block of those is
  // only unpacked when one of them is written. Empty files are stored rows
  // of no bytes and end nothing.
  auto mayKeep = [](const PlannedFile& f) { return f.copyMode == COPY_IF_ABSENT || f.copyMode == COPY_ASK; };
  size_t i = 0;
  while (i < plan_.files.size()) {
    PlannedFile& first = plan_.files[i];
    if (first.method != kMethodLzma || first.length == 0) {
      if (first.method == kMethodLzma) first.method = kMethodStored;
      i++;
      continue;
    }
    size_t end = i;
    int64_t total = 0;
    for (; end < plan_.files.size(); end++) {
      const PlannedFile& f = plan_.files[end];
      if (f.method != kMethodLzma) break;
      if (f.length == 0) continue;
      if (mayKeep(f) != mayKeep(first)) break;
      total += f.length;
    }
    // Blocks of equal size within the limit: both threads of the setup get
    // the same work, and no block is a small remainder.
    int64_t count = (total + limit - 1) / limit;
    int64_t size = (total + count - 1) / count;
    PlannedBlock block;
    auto close = [&] {
      int64_t programs = 0;
      for (const BlockSlice& s : block.slices)
        if (plan_.files[s.file].codeLength > 0) programs += s.length;
      block.programs = programs * 2 > block.unpacked;
      plan_.blocks.push_back(std::move(block));
      block = PlannedBlock();
    };
    for (size_t k = i; k < end; k++) {
      PlannedFile& f = plan_.files[k];
      if (f.method != kMethodLzma) continue;
      if (f.length == 0) {
        f.method = kMethodStored;
        continue;
      }
      f.method = kMethodSolid;
      X86Code(f);
      for (int64_t from = 0; from < f.length;) {
        if (block.slices.empty() || block.slices.back().file != k) {
          if (from == 0) {
            f.block = static_cast<int64_t>(plan_.blocks.size()) + 1;
            f.blockOffset = block.unpacked;
          }
        }
        int64_t n = std::min(f.length - from, size - block.unpacked);
        block.slices.push_back({k, from, n});
        block.unpacked += n;
        from += n;
        if (block.unpacked == size) close();
      }
    }
    if (!block.slices.empty()) close();
    i = end;
  }
  if (plan_.blocks.size() > BLOCK_COUNT_MAX)
    d_.Error(0, "the files would take " + std::to_string(plan_.blocks.size()) + " blocks of at most " +
                    std::to_string(limit >> 20) + " MiB; the limit is " + std::to_string(BLOCK_COUNT_MAX) +
                    " blocks (give compression_level = \"max\", or store large files with compression = \"none\")");
}

// References into the installation folder should name a file of the package.
void Planner::CheckReferences() {
  auto check = [&](const ProjectRef& r) {
    if (!r.set || r.folder != FOLDER_INSTALL) return;
    std::string dest = FoldForWindows(std::string(FolderKeyword(FOLDER_INSTALL)) + "\\" + r.path.value);
    if (!destinations_.count(dest))
      d_.Warning(r.path.line, r.path.key + " = " + QuoteValue(r.written) +
                                  ": no file of the package goes there");
  };
  check(p_.readme);
  check(p_.run);
  for (const ProjectAssociation& a : p_.associations) check(a.program);
}

void Planner::Layout() {
  // pos: where each region starts at most (a packed file takes at most its
  // own size: one that does not shrink is stored); certain: the bytes that
  // come whatever packing gives, which alone may not pass the limit.
  int64_t pos = plan_.stubSize, certain = plan_.stubSize;
  bool reported = false;
  auto place = [&](PlannedRegion& r, bool packed) {
    r.offset = pos;
    if (!reported && !packed && certain + r.length > kMaxPackage) {
      d_.Error(0, r.what + " = " + QuoteValue(r.shown) + ": " + std::to_string(r.length) + " bytes after " +
                      std::to_string(certain) + " would pass the package's limit of " + std::to_string(kMaxPackage) +
                      " bytes (" + kPackageLimitReason + ")");
      reported = true;
    }
    pos += r.length;
    if (!packed) certain += r.length;
    if (r.length > 0) plan_.regions.push_back(std::move(r));
  };
  place(picture_, false);
  place(icon_, false);
  place(splash_, false);
  // The header's 32-bit fields name them.
  if (pos > kSeedMax && !reported) {
    d_.Error(0, "the pictures and the icon end at " + std::to_string(pos) + " bytes; they must lie within the first " +
                    std::to_string(kSeedMax) + " bytes of the setup file");
    reported = true;
  }
  if (licenceMethod_ != kMethodNone) {
    place(licence_, false);
    RegionRef ref = {licence_.offset, licence_.length, licenceMethod_, kFilterNone,
                     static_cast<unsigned long long>(licenceUnpacked_), licenceCrc_};
    char text[128];
    listSettings_[licenceSetting_].second.assign(text, static_cast<size_t>(FormatRegionRef(text, sizeof text, ref)));
  }
  // Where each block starts: at the first file that has bytes in it.
  std::vector<std::vector<size_t>> blocksAt(plan_.files.size());
  for (size_t b = 0; b < plan_.blocks.size(); b++) blocksAt[plan_.blocks[b].slices.front().file].push_back(b);
  for (PlannedFile& f : plan_.files) {
    size_t index = static_cast<size_t>(&f - &plan_.files[0]);
    if (f.method == kMethodSolid) {
      for (size_t b : blocksAt[index]) {
        PlannedRegion r;
        r.what = "block " + std::to_string(b + 1);
        r.shown = f.shown;
        r.length = plan_.blocks[b].unpacked;  // until packed
        r.block = static_cast<int>(b);
        place(r, true);
        plan_.blocks[b].offset = r.offset;
      }
      // A row of blocks has no region of its own.
      f.offset = plan_.stubSize;
      f.length = 0;
      continue;
    }
    PlannedRegion r;
    // The writer and the listing take these from the regions from now on.
    r.what = std::move(f.key);
    r.shown = std::move(f.shown);
    // An empty file gets no region: it keeps its source (for --depfile).
    r.source = f.length > 0 ? std::move(f.source) : f.source;
    r.length = f.length;
    r.data = std::move(f.data);
    r.cached = f.cached;
    r.file = static_cast<int>(&f - &plan_.files[0]);
    place(r, f.method == kMethodLzma);
    f.offset = r.offset;
  }
  plan_.indexOffset = pos;
  plan_.big = pos > kSeedMax;
  certain_ = certain;
  auto num = [](int64_t v) { return std::to_string(v); };
  std::vector<std::string>& h = plan_.header;
  // A region's offset follows its length in the header.
  auto region = [&](int lengthPos, const PlannedRegion& r) {
    h[lengthPos] = r.length > 0 ? num(r.length) : "0";
    h[lengthPos + 1] = r.length > 0 ? num(r.offset) : "0";
  };
  region(kIdxPictureLength, picture_);
  region(kIdxIconLength, icon_);
  region(kIdxSplashPictureLength, splash_);
}

// What a stub lacks to carry a package for the current user alone, or one
// that lets the user choose (its capability words), "" when it has them or
// the package is the machine's.
std::string Planner::UserScopeStubProblem() const {
  if (!plan_.userScope) return "";
  std::string stub;
  if (!ReadWholeFile(plan_.stub, stub)) stub.clear();
  if (plan_.askScope) return StubReads(stub, {SCOPE_WORD, ASK_SCOPE_WORD});
  return StubReads(stub, {SCOPE_WORD});
}

void Planner::BuildIndex() {
  // Not packed yet: the plain index is the most the packed one comes to.
  std::string why = ComposeIndex(plan_, 0, false);
  // With packed files the sizes are the most they can come to: whether the
  // package fits is known once they are packed (WritePackage says it then).
  bool packed = std::any_of(plan_.files.begin(), plan_.files.end(),
                            [](const PlannedFile& f) { return f.method != kMethodStored; });
  bool certain = !packed || certain_ + (plan_.totalSize - plan_.indexOffset) > kMaxPackage;
  if (!why.empty() && certain) d_.Error(0, why);
}

bool Planner::Run() {
  Header();
  Media(p_.picture, p_.picturePath, false, true, picture_);
  Media(p_.icon, p_.iconPath, true, false, icon_);
  if (p_.backgroundEnabled) Media(p_.backgroundPicture, p_.backgroundPicturePath, false, false, splash_);
  else if (p_.backgroundPicture.set)
    d_.Warning(p_.backgroundPicture.line, "background.picture is not packed: background.enabled is false");
  Files();
  Blocks();
  CheckReferences();
  VersionTexts();

  // The stub: the setup program the package is appended to.
  plan_.stub = o_.stub.empty() ? FindStub() : o_.stub;
  if (plan_.stub.empty()) {
    d_.Error(0, "no setup program to append to (looked for " + StubPlacesText() + "); give one with --stub FILE");
  } else if (!Readable("--stub", 0, plan_.stub, plan_.stub, plan_.stubSize)) {
    // said by Readable
  } else if (std::string why = CheckStub(plan_.stub); !why.empty()) {
    d_.Error(0, "--stub " + QuoteValue(plan_.stub, 200) + ": " + why);
  } else if (std::string why = UserScopeStubProblem(); !why.empty()) {
    d_.Error(p_.scope.line, p_.scope.key + " = " + QuoteValue(p_.scope.value) +
                                (plan_.askScope ? ": the stub cannot let the user choose for whom it installs ("
                                                : ": the stub cannot install for the current user alone (") +
                                why + "); use a stub built with this mksetup");
  } else if (WantsStubResources(p_) && !d_.Failed()) {
    std::string why;
    if (!PrepareStub(p_, plan_.stub, plan_.stubImage, why))
      d_.Error(0, "--stub " + QuoteValue(plan_.stub, 200) + ": cannot give it the product's icon, version and manifest: " + why);
    else
      plan_.stubSize = static_cast<int64_t>(plan_.stubImage.size());
  }

  // The output: given, the project's own, or <project name>-setup.exe beside it.
  if (!o_.output.empty()) plan_.output = o_.output;
  else if (p_.output.set) {
    fs::path out = FsPath(p_.output.value);
    plan_.output = out.is_absolute() ? PathText(out) : PathText((FsPath(p_.dir) / out).lexically_normal());
  } else {
    plan_.output = PathText((FsPath(p_.dir) / (PathText(FsPath(p_.path).stem()) + "-setup.exe")).lexically_normal());
  }
  // A link as output: the file it points to is replaced, the link stays.
  std::string why;
  if (!ThroughLink(plan_.output, why)) d_.Error(0, "output " + QuoteValue(plan_.output) + ": " + why);
  FileInfo ost;
  if (StatPath(plan_.output, ost)) {
    if (ost.folder) {
      // reported below
    } else if (!ost.regular) {
      d_.Error(0, "output " + QuoteValue(plan_.output) + ": exists and is not a regular file; it is not replaced");
    } else {
      // Never replace what the build reads.
      std::vector<std::string> others = {p_.path};
      if (!p_.licenceFile.empty()) others.push_back(p_.licenceFile);
      for (const std::string& path : others) {
        FileInfo ist;
        if (StatPath(path, ist)) inputs_.emplace_back(ist.device, ist.id);
      }
      if (std::count(inputs_.begin(), inputs_.end(), std::make_pair(ost.device, ost.id)))
        d_.Error(0, "output " + QuoteValue(plan_.output) +
                        ": the same file as one of the build's inputs (the project, the stub, a picture, the "
                        "licence or a packed file); choose another output");
    }
  }
  std::string outDir = PathText(FsPath(plan_.output).parent_path());
  if (outDir.empty()) outDir = ".";
  FileInfo dirInfo;
  if (!StatPath(outDir, dirInfo) || !dirInfo.folder)
    d_.Error(0, "output " + QuoteValue(plan_.output) + ": the folder " + outDir + " does not exist");
  else if (ost.folder)
    d_.Error(0, "output " + QuoteValue(plan_.output) + ": is a folder");

  // Laid out even after errors, so that a package too large is reported too.
  Layout();
  // A signed package carries the uninstaller signed as well, when its stub
  // writes the one a package carries. Not one that lets the user choose for
  // whom: the uninstaller's table names the scope chosen, which only the
  // setup knows, so the setup assembles it.
  if (o_.carry != kCarryNone && !d_.Failed() && plan_.askScope) {
    std::string said = p_.scope.key + " = \"" SCOPE_ASK_WORD "\": the uninstaller's table names the scope the user "
                       "chooses, so the setup assembles the uninstaller";
    if (o_.carry == kCarryAlways) d_.Error(p_.scope.line, said + " and cannot carry the one --uninstaller gives");
    else d_.Warning(p_.scope.line, said + ": the setup file is signed, the uninstaller it writes is not");
  } else if (o_.carry != kCarryNone && !d_.Failed()) {
    std::string stub = plan_.stubImage;
    if (stub.empty() && !ReadWholeFile(plan_.stub, stub)) stub.clear();
    std::string why = StubReads(stub, {PACKAGE_TAG, METHOD_LZMA_WORD, CAPABILITY_WORD_CRC, UNINSTALLER_WORD});
    std::string shown = "--stub " + QuoteValue(plan_.stub, 200);
    if (!why.empty() && o_.carry == kCarryAlways)
      d_.Error(0, shown + ": the stub cannot carry the uninstaller --uninstaller gives (" + why +
                      "); use a stub built with this mksetup");
    else if (!why.empty())
      d_.Warning(0, shown + ": the stub cannot carry a signed uninstaller (" + why +
                        "): the setup file is signed, the uninstaller it writes is not; use a stub built with this "
                        "mksetup");
    else if (!StubUninstallerProgram(stub, plan_.uninstallerProgram, why))
      d_.Error(0, shown + ": " + why);
    else
      plan_.carryUninstaller = true;
  }

  // Any file packed makes the package an extended one, which only a stub
  // that says it reads them may carry; so do the lists of the settings
  // section and a package that may pass 2 GiB. A setting of the extension's
  // settings section (Settings: product.id, product.url, ui.language) makes
  // one too: such a package also carries the row extensions and the seal,
  // and still installs with an older stub, which skips all of it.
  bool packed = std::any_of(plan_.files.begin(), plan_.files.end(),
                            [](const PlannedFile& f) { return f.method != kMethodStored; });
  bool language = !plan_.language.empty();
  plan_.extended = packed || productSettings_ || language || lists_ || plan_.big || plan_.carryUninstaller;
  // The words of the stub's capability text packed files need.
  std::vector<const char*> packedWords = {PACKAGE_TAG, METHOD_LZMA_WORD, CAPABILITY_WORD_CRC};
  if (!plan_.blocks.empty()) packedWords.push_back(CAPABILITY_WORD_SOLID);
  if (std::any_of(plan_.files.begin(), plan_.files.end(),
                  [](const PlannedFile& f) { return f.method == kMethodSolid && f.codeLength > 0; }))
    packedWords.push_back(CAPABILITY_WORD_X86_ROWS);
  if (plan_.extended) plan_.header[kIdxExtension] = PACKAGE_TAG;
  plan_.settings.insert(plan_.settings.end(), listSettings_.begin(), listSettings_.end());
  std::string stub;
  bool stubRead = false;
  // "" when the stub names every word, else what it lacks.
  auto stubLacks = [&](const std::vector<const char*>& words) {
    if (!stubRead) {
      stub = plan_.stubImage;
      if (stub.empty() && !ReadWholeFile(plan_.stub, stub)) stub.clear();
      stubRead = true;
    }
    return StubReads(stub, words);
  };
  // A packed index is only a saving: for a stub that does not read one the
  // index is stored as it is. Only a package with packed files, whose stub
  // decodes them anyway; the others keep the bytes they always had.
  plan_.packIndex = packed && !d_.Failed() && stubLacks({CAPABILITY_WORD_INDEX}).empty();
  const struct {
    bool needed;
    std::vector<const char*> words;
    const char* what;
    const char* otherwise;
  } features[] = {
      {packed, packedWords, "packed files", ", or compression = \"none\" for every file"},
      {lists_, {PACKAGE_TAG, CAPABILITY_WORD_CRC, CAPABILITY_WORD_LISTS},
       "a licence over 255 bytes, associations past two or of their own kind, or registry entries past two", ""},
      {plan_.big, {PACKAGE_TAG, CAPABILITY_WORD_CRC, CAPABILITY_WORD_BIG}, "packages past 2 GiB", ""},
  };
  for (const auto& f : features) {
    if (!f.needed || d_.Failed()) continue;
    std::string why = stubLacks(f.words);
    if (!why.empty())
      d_.Error(0, "--stub " + QuoteValue(plan_.stub, 200) + ": the stub cannot read " + f.what + " (" + why +
                      "); use a stub built with this mksetup" + f.otherwise);
  }
  if (language && !d_.Failed()) {
    std::string why = stubLacks({LANGUAGE_WORD});
    if (!why.empty())
      d_.Error(p_.language.line, p_.language.key + " = " + QuoteValue(p_.language.value) +
                                     ": the stub cannot speak it (" + why + "); use a stub built with this mksetup");
  }
  if (d_.Failed()) return false;
  BuildIndex();
  return !d_.Failed();
}

}  // namespace

const LevelSettings& LevelOf(int level) {
  // Blocks as large as the dictionary: a block's stream finds matches
  // anywhere in it. The limits and the encoder's effort are tuned on the
  // benchmark payloads (docs/design-notes.md, "Solid blocks").
  static const LevelSettings levels[] = {
      {"fast", 16 << 20, 3, 32, 0, 2},
      {"normal", 32 << 20, 9, 128, 200, 0},
      {"max", 64 << 20, 9, 128, 200, 0},
  };
  return levels[level < 0 || level > 2 ? 1 : level];
}

std::string ComposeIndex(Plan& plan, uint32_t payloadCrc, bool pack) {
  // The table text with its fields ended as every table's (FieldEnding), in
  // one string: with thousands of rows the table's copy per field costs more
  // than all the rest.
  std::string& text = plan.index;
  text.clear();
  int column = 0, columns = kFileRowFields;
  auto add = [&](const char* value, size_t n) {
    text.append(value, n);
    char end[3];
    int k = FieldEnding(column, columns, end);
    text.append(end, static_cast<size_t>(k));
    column = k == 3 ? 0 : column + 1;
  };
  // Up to a zero byte, as the table takes a text (the checks let none through).
  auto addText = [&](const std::string& value) { add(value.c_str(), strlen(value.c_str())); };
  auto addWord = [&](const char* value) { add(value, strlen(value)); };
  auto addNumber = [&](long long value) {
    char digits[24];
    add(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
  };
  for (const std::string& f : plan.header) addText(f);
  for (const PlannedFile& f : plan.files) {
    addText(f.name);
    addWord(FolderKeyword(f.folder));
    addText(f.subdir);
    addNumber(f.shortcuts);
    addWord(CopyModeKeyword(f.copyMode));
    // Past 2 GiB the 32-bit fields hold what fits (0 for what does not) and
    // the row extension the region in 64 bits.
    bool wide = f.offset > kSeedMax || f.length > kSeedMax;
    addNumber(f.length > kSeedMax ? 0 : f.length);
    addNumber(f.offset > kSeedMax ? 0 : f.offset);
    if (plan.extended) {
      char ext[128];
      int n = f.method == kMethodSolid
                  ? FormatRowExtension(ext, sizeof ext, f.method, static_cast<unsigned long long>(f.unpacked), f.crc,
                                       f.block, f.blockOffset, f.codeFrom, f.codeLength)
                  : FormatRowExtension(ext, sizeof ext, f.method, static_cast<unsigned long long>(f.unpacked), f.crc,
                                       wide ? f.offset : -1, f.length);
      add(ext, static_cast<size_t>(n));
    } else {
      addWord("");
    }
  }
  addWord("");  // an empty name ends the list
  // The settings section: a row of key and value each.
  columns = 2;
  column = 0;
  for (const auto& [key, value] : plan.settings) {
    add(key.data(), key.size());
    add(value.data(), value.size());
  }
  // The blocks of solid packing, by number.
  for (size_t b = 0; b < plan.blocks.size(); b++) {
    const PlannedBlock& block = plan.blocks[b];
    std::string key = SETTING_BLOCK + std::to_string(b + 1);
    RegionRef ref = {block.offset, block.length, block.method, kFilterNone,
                     static_cast<unsigned long long>(block.unpacked), block.crc};
    char value[128];
    int n = FormatRegionRef(value, sizeof value, ref);
    add(key.data(), key.size());
    add(value, static_cast<size_t>(n));
  }
  if (text.size() > 0x7FFFFFF0u) return "the index would be " + std::to_string(text.size()) + " bytes";
  int len = static_cast<int>(text.size());
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&text[0]), len, TABLE_KEY);
  // Packed, it is the lzma region of those bytes; the seal names it so.
  plan.indexUnpacked = plan.extended && plan.packIndex && pack ? PackIndex(text) : 0;
  len = static_cast<int>(text.size());
  char trailer[128];
  int n = FormatTrailer(trailer, sizeof trailer, len, plan.indexOffset);
  if (plan.extended)
    n += FormatSeal(trailer + n, static_cast<int>(sizeof trailer) - n, plan.stubSize, payloadCrc,
                    Crc32Update(0, text.data(), text.size()), plan.indexUnpacked);
  plan.trailer.assign(trailer, static_cast<size_t>(n));
  plan.totalSize = plan.indexOffset + len + n;
  if (plan.totalSize > kMaxPackage)
    return "the package would be " + std::to_string(plan.totalSize) + " bytes; the limit is " +
           std::to_string(kMaxPackage) + " bytes (" + kPackageLimitReason + ")";
  // A plain package holds 32-bit offsets only.
  if (!plan.extended && plan.totalSize > kSeedMax)
    return "the package would be " + std::to_string(plan.totalSize) + " bytes; a package without the extension "
           "holds at most " + std::to_string(kSeedMax);
  return "";
}

bool PlanPackage(const Project& project, const BuildOptions& options, Plan& plan, Diagnostics& diag) {
  plan = Plan();
  Planner planner(project, options, plan, diag);
  return planner.Run();
}

bool X86CodeRange(const unsigned char* h, size_t size, int64_t fileLength, int64_t& from, int64_t& length) {
  if (!IsX86Program(h, size)) return false;
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(h[at] | h[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  size_t pe = u32(0x3C);
  if (pe + 24 > size) return false;
  size_t sections = pe + 24 + u16(pe + 20);
  size_t count = u16(pe + 6);
  if (sections + 40 * count > size) return false;  // a table past the head read: none
  int64_t start = INT64_MAX, end = 0;
  for (size_t i = 0; i < count; i++) {
    size_t at = sections + 40 * i;
    const uint32_t kCode = 0x20, kExecute = 0x20000000;
    int64_t raw = u32(at + 16), pointer = u32(at + 20);
    if (!(u32(at + 36) & (kCode | kExecute)) || raw == 0 || pointer >= fileLength) continue;
    start = std::min(start, pointer);
    end = std::max(end, std::min(pointer + raw, fileLength));
  }
  // Fewer bytes than one call hold nothing to convert.
  if (end - start < 5) return false;
  from = start;
  length = end - start;
  return true;
}
