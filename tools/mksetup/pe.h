// Reading a Windows executable's headers and resources, and rewriting its
// resource section: the setup program gets the product's icon and version
// before a package is appended to it.
#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct PeSection {
  std::string name;
  uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
  size_t header = 0;  // file offset of its entry in the section table
};

struct PeImage {
  bool pe32plus = false;
  size_t optional = 0;  // file offset of the optional header
  size_t dirs = 0;      // file offset of the data directories
  uint32_t dirCount = 0;
  uint32_t sectionAlignment = 0, fileAlignment = 0;
  std::vector<PeSection> sections;  // in table order
  // Data directory i (address, size); zero beyond dirCount.
  uint32_t DirAddress(const std::string& bytes, int i) const;
  uint32_t DirSize(const std::string& bytes, int i) const;
};

enum { kDirResource = 2, kDirSecurity = 4, kDirBaseReloc = 5 };
enum { kRtIcon = 3, kRtGroupIcon = 14, kRtVersion = 16 };

// False with the reason when bytes are not an executable image this module
// understands (headers and section table inside the file).
bool ParsePe(const std::string& bytes, PeImage& image, std::string& error);
// Whether bytes begin like an executable at all ("MZ" and a "PE" header).
bool LooksLikePe(const std::string& bytes);

// A resource name or type: a number, or a name (UTF-16 units).
struct ResKey {
  bool named = false;
  uint32_t id = 0;
  std::u16string name;
  bool operator<(const ResKey& o) const;  // named entries first, as stored
};
ResKey ResId(uint32_t id);

struct ResData {
  std::string bytes;
  uint32_t codepage = 0;
};
// type -> name -> language -> data.
using ResTree = std::map<ResKey, std::map<ResKey, std::map<ResKey, ResData>>>;

// Reads the resource tree (an image without resources gives an empty one).
bool ReadResources(const std::string& bytes, const PeImage& image, ResTree& tree, std::string& error);
// The data of resource (type, id) in its first language; false when absent.
bool FindResource(const ResTree& tree, uint32_t type, uint32_t id, std::string& data);

// Replaces icon group id with the images of an .ico file (all sizes); the icon
// images of the old group go with it.
bool SetIconGroup(ResTree& tree, uint32_t id, const std::string& ico, std::string& error);

struct VersionStrings {
  std::string version;  // "1", "1.2", "1.2.3" or "1.2.3.4"
  std::string productName, publisher, description, copyright;  // UTF-8
  uint16_t language = 0x0804;  // the strings' language (LANGID): Chinese (PRC) unless the project's is another
};
// The most characters (UTF-16 units) a text of the version resource holds:
// each is one line of the file's Properties, and the resource's lengths are
// 16-bit numbers.
constexpr size_t kVersionTextLimit = 255;
// The length of UTF-8 text in UTF-16 units.
size_t Utf16Length(const std::string& utf8);
// Whether text is a version of up to four numbers 0..65535 joined by dots.
bool ParseVersion(const std::string& text, uint16_t parts[4]);
// A version resource (strings in Unicode, in their language) with these values.
std::string VersionResource(const VersionStrings& v);
// The strings of a version resource by key (UTF-8), for reading one back.
std::map<std::string, std::string> VersionResourceStrings(const std::string& data);

// Writes tree as the image's resource section, moving the base relocation
// section when it follows; the checksum is cleared. False with the reason
// (and bytes unchanged) when the image cannot be rewritten safely.
bool WriteResources(std::string& bytes, const ResTree& tree, std::string& error);
