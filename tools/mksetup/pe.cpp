#include "pe.h"

#include <string.h>

#include <set>

namespace {

uint32_t Get16(const std::string& b, size_t at) {
  if (at + 2 > b.size()) return 0;
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t Get32(const std::string& b, size_t at) {
  if (at + 4 > b.size()) return 0;
  return Get16(b, at) | Get16(b, at + 2) << 16;
}
void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Add16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v));
  b.push_back(static_cast<char>(v >> 8));
}
void Add32(std::string& b, uint32_t v) {
  Add16(b, v & 0xFFFF);
  Add16(b, v >> 16);
}
uint32_t Align(uint32_t v, uint32_t a) { return a ? (v + a - 1) / a * a : v; }

std::u16string Utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = c;
    int n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (n > 1) cp = c & (0xFF >> (n + 1));
    for (int k = 1; k < n; k++) cp = cp << 6 | (i + k < s.size() ? s[i + k] & 0x3F : 0);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size()) cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// The file offset of an address of the image; false when no section's file
// data holds length bytes there.
bool RvaToOffset(const PeImage& image, uint32_t rva, uint32_t length, size_t fileSize, size_t& offset) {
  for (const PeSection& s : image.sections) {
    uint64_t start = s.virtualAddress, end = start + s.rawSize;
    if (rva >= start && static_cast<uint64_t>(rva) + length <= end) {
      uint64_t at = static_cast<uint64_t>(s.rawOffset) + (rva - start);
      if (at + length > fileSize) return false;
      offset = static_cast<size_t>(at);
      return true;
    }
  }
  return false;
}

const PeSection* SectionAt(const PeImage& image, uint32_t rva) {
  for (const PeSection& s : image.sections)
    if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize)) return &s;
  return nullptr;
}

class TreeReader {
 public:
  TreeReader(const std::string& b, const PeImage& image, size_t base, size_t limit)
      : b_(b), image_(image), base_(base), limit_(limit) {}

  bool Read(ResTree& tree, std::string& error) {
    std::vector<std::pair<ResKey, uint32_t>> types, names, langs;
    if (!Dir(0, types, error)) return false;
    for (auto& t : types) {
      if (!(t.second & 0x80000000u) || !Dir(t.second & 0x7FFFFFFF, names, error)) return Bad(error);
      for (auto& n : names) {
        if (!(n.second & 0x80000000u) || !Dir(n.second & 0x7FFFFFFF, langs, error)) return Bad(error);
        for (auto& l : langs) {
          if (l.second & 0x80000000u) return Bad(error);
          size_t entry = base_ + l.second;
          if (l.second + 16 > limit_) return Bad(error);
          uint32_t rva = Get32(b_, entry), size = Get32(b_, entry + 4);
          size_t at = 0;
          if (!RvaToOffset(image_, rva, size, b_.size(), at)) {
            error = "a resource's data lies outside the file";
            return false;
          }
          ResData& d = tree[t.first][n.first][l.first];
          d.bytes = b_.substr(at, size);
          d.codepage = Get32(b_, entry + 8);
        }
      }
    }
    return true;
  }

 private:
  bool Bad(std::string& error) {
    if (error.empty()) error = "the resource directory is damaged";
    return false;
  }
  bool Dir(uint32_t offset, std::vector<std::pair<ResKey, uint32_t>>& out, std::string& error) {
    out.clear();
    if (static_cast<uint64_t>(offset) + 16 > limit_ || ++dirs_ > 100000) return Bad(error);
    size_t at = base_ + offset;
    uint32_t count = Get16(b_, at + 12) + Get16(b_, at + 14);
    if (offset + 16 + static_cast<uint64_t>(count) * 8 > limit_) return Bad(error);
    for (uint32_t i = 0; i < count; i++) {
      size_t e = at + 16 + i * 8;
      uint32_t name = Get32(b_, e);
      ResKey key;
      if (name & 0x80000000u) {
        uint32_t s = name & 0x7FFFFFFF;
        if (s + 2 > limit_) return Bad(error);
        uint32_t n = Get16(b_, base_ + s);
        if (s + 2 + n * 2 > limit_) return Bad(error);
        key.named = true;
        for (uint32_t k = 0; k < n; k++) key.name.push_back(static_cast<char16_t>(Get16(b_, base_ + s + 2 + k * 2)));
      } else {
        key.id = name & 0xFFFF;
      }
      out.emplace_back(key, Get32(b_, e + 4));
    }
    return true;
  }

  const std::string& b_;
  const PeImage& image_;
  size_t base_, limit_;
  int dirs_ = 0;
};

// Lays a tree out as a resource section placed at address rva.
std::string BuildSection(const ResTree& tree, uint32_t rva) {
  // Sizes first: directories, then data entries, then names, then data.
  size_t dirBytes = 16 + tree.size() * 8;
  size_t leaves = 0;
  for (auto& t : tree) {
    dirBytes += 16 + t.second.size() * 8;
    for (auto& n : t.second) {
      dirBytes += 16 + n.second.size() * 8;
      leaves += n.second.size();
    }
  }
  std::string names;
  std::map<std::u16string, uint32_t> nameAt;
  size_t namesStart = dirBytes + leaves * 16;
  auto nameOffset = [&](const ResKey& k) -> uint32_t {
    auto it = nameAt.find(k.name);
    if (it != nameAt.end()) return it->second;
    uint32_t at = static_cast<uint32_t>(namesStart + names.size());
    Add16(names, static_cast<uint32_t>(k.name.size()));
    for (char16_t c : k.name) Add16(names, c);
    nameAt[k.name] = at;
    return at;
  };
  std::string dirs, entries, data;
  // Names are laid out before the data, so collect them first.
  for (auto& t : tree) {
    if (t.first.named) nameOffset(t.first);
    for (auto& n : t.second) {
      if (n.first.named) nameOffset(n.first);
      for (auto& l : n.second)
        if (l.first.named) nameOffset(l.first);
    }
  }
  size_t dataStart = Align(static_cast<uint32_t>(namesStart + names.size()), 8);

  auto dirHeader = [](std::string& out, size_t named, size_t ids) {
    Add32(out, 0), Add32(out, 0), Add16(out, 0), Add16(out, 0);
    Add16(out, static_cast<uint32_t>(named)), Add16(out, static_cast<uint32_t>(ids));
  };
  auto keyField = [&](const ResKey& k) { return k.named ? (0x80000000u | nameOffset(k)) : k.id; };
  auto countNamed = [](const auto& m) {
    size_t n = 0;
    for (auto& e : m) n += e.first.named;
    return n;
  };
  // Breadth first: the root, every type's directory, every name's directory.
  std::string root;
  dirHeader(root, countNamed(tree), tree.size() - countNamed(tree));
  size_t next = 16 + tree.size() * 8;
  std::string level2, level3;
  size_t level2Size = 0;
  for (auto& t : tree) level2Size += 16 + t.second.size() * 8;
  size_t level3Next = next + level2Size;
  size_t entryNext = dirBytes;
  for (auto& t : tree) {
    Add32(root, keyField(t.first));
    Add32(root, 0x80000000u | static_cast<uint32_t>(next + level2.size()));
    dirHeader(level2, countNamed(t.second), t.second.size() - countNamed(t.second));
    for (auto& n : t.second) {
      Add32(level2, keyField(n.first));
      Add32(level2, 0x80000000u | static_cast<uint32_t>(level3Next));
      std::string dir;
      dirHeader(dir, countNamed(n.second), n.second.size() - countNamed(n.second));
      for (auto& l : n.second) {
        Add32(dir, keyField(l.first));
        Add32(dir, static_cast<uint32_t>(entryNext));
        entryNext += 16;
        while (data.size() % 8) data.push_back(0);
        Add32(entries, rva + static_cast<uint32_t>(dataStart + data.size()));
        Add32(entries, static_cast<uint32_t>(l.second.bytes.size()));
        Add32(entries, l.second.codepage);
        Add32(entries, 0);
        data += l.second.bytes;
      }
      level3 += dir;
      level3Next += dir.size();
    }
  }
  std::string out = root + level2 + level3 + entries + names;
  out.resize(dataStart, '\0');
  return out + data;
}

}  // namespace

uint32_t PeImage::DirAddress(const std::string& bytes, int i) const {
  return static_cast<uint32_t>(i) < dirCount ? Get32(bytes, dirs + i * 8) : 0;
}
uint32_t PeImage::DirSize(const std::string& bytes, int i) const {
  return static_cast<uint32_t>(i) < dirCount ? Get32(bytes, dirs + i * 8 + 4) : 0;
}

bool LooksLikePe(const std::string& b) {
  if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') return false;
  uint32_t pe = Get32(b, 0x3C);
  return pe + 4 <= b.size() && memcmp(b.data() + pe, "PE\0\0", 4) == 0;
}

bool ParsePe(const std::string& b, PeImage& image, std::string& error) {
  image = PeImage();
  if (!LooksLikePe(b)) {
    error = "not a Windows program (no executable header)";
    return false;
  }
  size_t pe = Get32(b, 0x3C);
  uint32_t sectionCount = Get16(b, pe + 6), optSize = Get16(b, pe + 20);
  image.optional = pe + 24;
  uint32_t magic = Get16(b, image.optional);
  if (magic != 0x10B && magic != 0x20B) {
    error = "the executable header is neither 32- nor 64-bit";
    return false;
  }
  image.pe32plus = magic == 0x20B;
  image.dirs = image.optional + (image.pe32plus ? 112 : 96);
  image.dirCount = Get32(b, image.dirs - 4);
  image.sectionAlignment = Get32(b, image.optional + 32);
  image.fileAlignment = Get32(b, image.optional + 36);
  size_t table = image.optional + optSize;
  if (image.dirCount > 16 || image.dirs + image.dirCount * 8 > table || table + sectionCount * 40 > b.size() ||
      image.fileAlignment == 0 || image.sectionAlignment < image.fileAlignment) {
    error = "the executable header is damaged";
    return false;
  }
  for (uint32_t i = 0; i < sectionCount; i++) {
    size_t at = table + i * 40;
    PeSection s;
    s.name = std::string(b.data() + at, strnlen(b.data() + at, 8));
    s.virtualSize = Get32(b, at + 8);
    s.virtualAddress = Get32(b, at + 12);
    s.rawSize = Get32(b, at + 16);
    s.rawOffset = Get32(b, at + 20);
    s.header = at;
    if (s.rawSize && static_cast<uint64_t>(s.rawOffset) + s.rawSize > b.size()) {
      error = "section " + s.name + " lies outside the file";
      return false;
    }
    image.sections.push_back(s);
  }
  return true;
}

bool ResKey::operator<(const ResKey& o) const {
  if (named != o.named) return named;
  return named ? name < o.name : id < o.id;
}

ResKey ResId(uint32_t id) {
  ResKey k;
  k.id = id;
  return k;
}

bool ReadResources(const std::string& b, const PeImage& image, ResTree& tree, std::string& error) {
  tree.clear();
  uint32_t rva = image.DirAddress(b, kDirResource);
  if (rva == 0) return true;
  const PeSection* s = SectionAt(image, rva);
  if (!s || rva - s->virtualAddress >= s->rawSize) {
    error = "the resource directory lies outside the file";
    return false;
  }
  size_t base = s->rawOffset + (rva - s->virtualAddress);
  TreeReader reader(b, image, base, s->rawSize - (rva - s->virtualAddress));
  return reader.Read(tree, error);
}

bool FindResource(const ResTree& tree, uint32_t type, uint32_t id, std::string& data) {
  auto t = tree.find(ResId(type));
  if (t == tree.end()) return false;
  auto n = t->second.find(ResId(id));
  if (n == t->second.end() || n->second.empty()) return false;
  data = n->second.begin()->second.bytes;
  return true;
}

bool SetIconGroup(ResTree& tree, uint32_t id, const std::string& ico, std::string& error) {
  uint32_t count = Get16(ico, 4);
  if (ico.size() < 6 || Get16(ico, 0) != 0 || Get16(ico, 2) != 1 || count == 0 || ico.size() < 6 + count * 16) {
    error = "not an icon file";
    return false;
  }
  auto& icons = tree[ResId(kRtIcon)];
  auto& groups = tree[ResId(kRtGroupIcon)];
  // The old group's language and images go; images another group uses stay.
  ResKey lang = ResId(0);
  std::set<uint32_t> used, old;
  for (auto& g : groups)
    for (auto& l : g.second) {
      const std::string& d = l.second.bytes;
      for (uint32_t i = 0, n = Get16(d, 4); i < n && 6 + i * 14 + 14 <= d.size(); i++)
        (g.first.named || g.first.id != id ? used : old).insert(Get16(d, 6 + i * 14 + 12));
      if (!g.first.named && g.first.id == id) lang = l.first;
    }
  for (uint32_t o : old)
    if (!used.count(o)) icons.erase(ResId(o));
  groups.erase(ResId(id));
  uint32_t next = 1;
  for (auto& i : icons)
    if (!i.first.named) next = std::max(next, i.first.id + 1);

  std::string group;
  Add16(group, 0), Add16(group, 1), Add16(group, count);
  for (uint32_t i = 0; i < count; i++) {
    size_t e = 6 + i * 16;
    uint32_t size = Get32(ico, e + 8), offset = Get32(ico, e + 12);
    if (size == 0 || static_cast<uint64_t>(offset) + size > ico.size() || next > 0xFFFF) {
      error = "image " + std::to_string(i + 1) + " of the icon lies outside the file";
      return false;
    }
    group += ico.substr(e, 12);
    Add16(group, next);
    icons[ResId(next)][lang].bytes = ico.substr(offset, size);
    next++;
  }
  groups[ResId(id)][lang].bytes = group;
  return true;
}

size_t Utf16Length(const std::string& utf8) { return Utf16(utf8).size(); }

bool ParseVersion(const std::string& text, uint16_t parts[4]) {
  int n = 0;
  size_t i = 0;
  for (int k = 0; k < 4; k++) parts[k] = 0;
  while (true) {
    if (n == 4 || i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    uint32_t v = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++, digits++) {
      v = v * 10 + (text[i] - '0');
      if (digits >= 5 || v > 0xFFFF) return false;
    }
    parts[n++] = static_cast<uint16_t>(v);
    if (i == text.size()) return true;
    if (text[i++] != '.') return false;
  }
}

namespace {

// One node of a version resource: length, value length, type, key, value,
// children, each part 4-byte aligned.
std::string VersionNode(const std::u16string& key, const std::string& value, uint32_t valueLength, bool text,
                        const std::string& children) {
  std::string n(6, '\0');
  for (char16_t c : key) Add16(n, c);
  Add16(n, 0);
  while (n.size() % 4) n.push_back(0);
  n += value;
  if (!children.empty()) {
    while (n.size() % 4) n.push_back(0);
    n += children;
  }
  Put16(n, 0, static_cast<uint32_t>(n.size()));
  Put16(n, 2, valueLength);
  Put16(n, 4, text ? 1 : 0);
  return n;
}

std::string Padded(std::string s) {
  while (s.size() % 4) s.push_back(0);
  return s;
}

}  // namespace

std::string VersionResource(const VersionStrings& v) {
  uint16_t p[4] = {0, 0, 0, 0};
  ParseVersion(v.version, p);
  std::string fixed;
  Add32(fixed, 0xFEEF04BD), Add32(fixed, 0x00010000);
  Add32(fixed, p[0] << 16 | p[1]), Add32(fixed, p[2] << 16 | p[3]);  // file version
  Add32(fixed, p[0] << 16 | p[1]), Add32(fixed, p[2] << 16 | p[3]);  // product version
  Add32(fixed, 0x3F), Add32(fixed, 0);                               // flags mask, flags
  Add32(fixed, 0x40004), Add32(fixed, 1), Add32(fixed, 0);           // NT Windows, application
  Add32(fixed, 0), Add32(fixed, 0);                                  // date

  std::string strings;
  auto add = [&](const char* key, const std::string& value) {
    if (value.empty()) return;
    std::u16string w = Utf16(value);
    std::string bytes;
    for (char16_t c : w) Add16(bytes, c);
    Add16(bytes, 0);
    strings += Padded(VersionNode(Utf16(key), bytes, static_cast<uint32_t>(w.size() + 1), true, ""));
  };
  add("CompanyName", v.publisher);
  add("FileDescription", v.description.empty() ? v.productName : v.description);
  add("FileVersion", v.version);
  add("LegalCopyright", v.copyright);
  add("ProductName", v.productName);
  add("ProductVersion", v.version);
  // The language, strings in Unicode (code page 1200, 04b0): "080404b0" for Chinese (PRC).
  static const char kHex[] = "0123456789abcdef";
  std::u16string block;
  for (int shift = 12; shift >= 0; shift -= 4) block.push_back(static_cast<char16_t>(kHex[(v.language >> shift) & 0xF]));
  block += u"04b0";
  std::string table = VersionNode(block, "", 0, true, strings);
  std::string stringInfo = Padded(VersionNode(u"StringFileInfo", "", 0, true, table));
  std::string translation;
  Add16(translation, v.language), Add16(translation, 0x04B0);
  std::string var = VersionNode(u"Translation", translation, 4, false, "");
  std::string varInfo = VersionNode(u"VarFileInfo", "", 0, true, var);
  return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), false, stringInfo + varInfo);
}

std::map<std::string, std::string> VersionResourceStrings(const std::string& data) {
  std::map<std::string, std::string> out;
  // Walks the nodes: a node whose type is text and whose value is text is a
  // string; others are entered for their children.
  struct Walker {
    const std::string& d;
    std::map<std::string, std::string>& out;
    void Node(size_t at, size_t end, int depth) {
      if (depth > 4) return;
      while (at + 6 <= end) {
        uint32_t len = Get16(d, at), valueLen = Get16(d, at + 2), type = Get16(d, at + 4);
        if (len < 6 || at + len > end) return;
        size_t p = at + 6;
        std::u16string key;
        while (p + 2 <= at + len && Get16(d, p)) key.push_back(static_cast<char16_t>(Get16(d, p))), p += 2;
        p = Align(static_cast<uint32_t>(p + 2 - at), 4) + at;
        size_t valueBytes = type == 1 ? valueLen * 2 : valueLen;
        if (depth == 3 && type == 1 && p + valueBytes <= at + len) {
          std::u16string v;
          for (size_t q = p; q + 2 <= p + valueBytes && Get16(d, q); q += 2) v.push_back(static_cast<char16_t>(Get16(d, q)));
          out[Utf8(key)] = Utf8(v);
        } else {
          Node(Align(static_cast<uint32_t>(p + valueBytes - at), 4) + at, at + len, depth + 1);
        }
        at = Align(static_cast<uint32_t>(at + len), 4);
      }
    }
  } w{data, out};
  w.Node(0, data.size(), 0);
  return out;
}

bool WriteResources(std::string& b, const ResTree& tree, std::string& error) {
  PeImage image;
  if (!ParsePe(b, image, error)) return false;
  if (image.DirAddress(b, kDirSecurity) || image.DirSize(b, kDirSecurity)) {
    error = "it is signed already: give the unsigned setup program";
    return false;
  }
  uint32_t rsrcRva = image.DirAddress(b, kDirResource);
  PeSection* rsrc = nullptr;
  for (PeSection& s : image.sections)
    if (rsrcRva && s.virtualAddress == rsrcRva) rsrc = &s;
  if (!rsrc) {
    error = "it has no resource section of its own";
    return false;
  }
  // Only the base relocations may follow the resources: nothing refers to
  // them by address but their directory entry, so they can move.
  uint32_t relocRva = image.DirAddress(b, kDirBaseReloc);
  PeSection* reloc = nullptr;
  uint64_t end = 0;
  for (PeSection& s : image.sections) {
    end = std::max<uint64_t>(end, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
    if (&s == rsrc || s.virtualAddress < rsrc->virtualAddress) continue;
    if (s.virtualAddress == relocRva && !reloc && &s == &image.sections.back() &&
        s.rawOffset == rsrc->rawOffset + rsrc->rawSize) {
      reloc = &s;
      continue;
    }
    error = "section " + s.name + " follows its resources";
    return false;
  }
  if (!(rsrc == &image.sections.back() || (reloc && rsrc + 1 == reloc))) {
    error = "its resource section is not at the end of its sections";
    return false;
  }
  for (int i = 0; i < static_cast<int>(image.dirCount); i++) {
    uint32_t a = image.DirAddress(b, i);
    if (i != kDirResource && i != kDirBaseReloc && a >= rsrc->virtualAddress) {
      error = "data directory " + std::to_string(i) + " points into its resources";
      return false;
    }
  }
  if (end != b.size() || Get32(b, image.optional - 12)) {
    error = "it has data after its last section (symbols, a package or a signature)";
    return false;
  }

  std::string section = BuildSection(tree, rsrc->virtualAddress);
  uint32_t rawSize = Align(static_cast<uint32_t>(section.size()), image.fileAlignment);
  std::string out = b.substr(0, rsrc->rawOffset) + section;
  out.resize(rsrc->rawOffset + rawSize, '\0');
  uint32_t nextVa = Align(rsrc->virtualAddress + static_cast<uint32_t>(section.size()), image.sectionAlignment);
  uint32_t imageEnd = nextVa;
  if (reloc) {
    std::string relocBytes = b.substr(reloc->rawOffset, reloc->rawSize);
    Put32(out, reloc->header + 12, nextVa);
    Put32(out, reloc->header + 20, static_cast<uint32_t>(out.size()));
    Put32(out, image.dirs + kDirBaseReloc * 8, relocRva - reloc->virtualAddress + nextVa);
    imageEnd = Align(nextVa + std::max(reloc->virtualSize, reloc->rawSize), image.sectionAlignment);
    out += relocBytes;
  }
  Put32(out, rsrc->header + 8, static_cast<uint32_t>(section.size()));
  Put32(out, rsrc->header + 16, rawSize);
  Put32(out, image.dirs + kDirResource * 8 + 4, static_cast<uint32_t>(section.size()));
  // Size of initialised data, size of the image; the checksum is left to the
  // signing tool (the loader does not check it for programs).
  Put32(out, image.optional + 8, Get32(b, image.optional + 8) - rsrc->rawSize + rawSize);
  Put32(out, image.optional + 56, imageEnd);
  Put32(out, image.optional + 64, 0);
  b.swap(out);
  return true;
}
