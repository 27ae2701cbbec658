// Planning a build: every check of the project against the package format, the
// list of files with their place in the output, and the finished index. Nothing
// is written here; the writer streams what the plan says.
#pragma once
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "project.h"

// Whether the package carries its uninstaller (uninstaller.region).
enum UninstallerCarry {
  kCarryNone,
  kCarryIfTheStubCan,  // a signed build: a stub that cannot gives a warning
  kCarryAlways,        // the vendor's signed uninstaller: a stub that cannot is an error
};

struct BuildOptions {
  std::string output;  // empty: the project's "output", else <project>-setup.exe
  std::string stub;    // empty: setup.exe beside the mksetup executable
  UninstallerCarry carry = kCarryNone;
};

// One stretch of the output file copied from a source file.
struct PlannedRegion {
  std::string what;    // for messages: the project key (and file)
  std::string shown;   // for messages: the source as the project names it
  std::string source;  // the file to read
  int64_t length = 0;
  int64_t offset = 0;  // absolute, in the output file
  // A small file's bytes, read while checking it (so that many small files
  // are opened once); the writer reads source when not cached.
  std::string data;
  bool cached = false;
  int file = -1;  // the file row it holds (index into Plan::files), or -1
  int block = -1;  // or the block it holds (index into Plan::blocks)
};

// A stretch of one file's bytes inside a block.
struct BlockSlice {
  size_t file = 0;    // index into Plan::files
  int64_t from = 0;   // where in the file
  int64_t length = 0;
};

// A block of solid packing: files' bytes one after another, packed as one
// stream (their rows name the block and where they start in it).
struct PlannedBlock {
  std::vector<BlockSlice> slices;
  int64_t unpacked = 0;
  // x86 programs make up more than half of its bytes: packed with two bits
  // of literal context instead of three (kProgramLiteralBits).
  bool programs = false;
  // Once written: the region and its method (stored when packing did not
  // make it smaller), the CRC-32 of the unpacked bytes (as packed: the rows'
  // code through the x86 filter).
  int method = kMethodLzma;
  int64_t offset = 0;
  int64_t length = 0;
  uint32_t crc = 0;
};

// One file row of the index.
struct PlannedFile {
  std::string key;     // "file[N]", with the path below a folder source
  std::string shown;   // the source as the project names it
  std::string source;  // the file to read
  std::string name;    // code page 936
  std::string subdir;  // code page 936, backslashes
  int folder = 0;
  int shortcuts = 0;
  int copyMode = 0;
  int64_t length = 0;  // as stored: once written, the packed bytes for lzma
  int64_t offset = 0;
  std::string data;  // as PlannedRegion's
  bool cached = false;
  // The method asked for (kMethodLzma or kMethodStored); once planned,
  // kMethodSolid for a file in blocks.
  int method = kMethodStored;
  int64_t unpacked = 0;  // known once written
  uint32_t crc = 0;      // of the unpacked bytes, once written
  int64_t block = 0;        // kMethodSolid: the block its bytes start in (from 1)
  int64_t blockOffset = 0;  // and where in that block's unpacked bytes
  // kMethodSolid: an x86 program's code, packed through the x86 filter (bytes
  // of the file; none when codeLength is 0).
  int64_t codeFrom = 0;
  int64_t codeLength = 0;
};

struct Plan {
  std::string stub;
  int64_t stubSize = 0;
  // The setup program with the product's icon and version, written in place
  // of the stub's own bytes; empty: the stub is copied as it is.
  std::string stubImage;
  std::string output;
  std::vector<std::string> header;  // the 64 header fields as written (code page 936)
  // The settings section after the file list (key, value in code page 936);
  // empty: the package carries no extension.
  std::vector<std::pair<std::string, std::string>> settings;
  // The language the programs speak when it is not the default (ui.language).
  std::string language;
  // May be installed for the current user alone (install.scope = "user", or
  // "ask": the user chooses, askScope).
  bool userScope = false;
  bool askScope = false;
  std::vector<PlannedFile> files;
  std::vector<PlannedBlock> blocks;    // of solid packing, in row order
  int level = 1;                       // CompressionLevel (project.h)
  std::vector<PlannedRegion> regions;  // after the stub, in output order
  std::vector<std::string> folders;    // every folder read for a folder source
  std::string index;                   // the scrambled index, as stored (packed or not)
  // The stub reads a packed index (and the package has packed files): the
  // index is packed when that makes it smaller.
  bool packIndex = false;
  int64_t indexUnpacked = 0;  // the size it unpacks to; 0: stored as it is
  int64_t indexOffset = 0;
  std::string trailer;
  int64_t totalSize = 0;  // for an extended package: at most this until written
  // The package carries the extension (tag, row extensions, seal): the
  // writer packs and checksums the files and composes index and trailer.
  bool extended = false;
  // The package may pass 2 GiB (before packing): its stub must read 64-bit
  // rows and trailers.
  bool big = false;
  // The package carries its uninstaller (an extended package): the writer
  // assembles it as the setup would from the package it has written so far
  // (the setup program's uninstaller, unpacked here, the index's settings,
  // the picture and the icon), finishUninstaller turns that into the one
  // carried (signs it, or takes the vendor's signed copy instead), and it
  // goes after the files, named by uninstallerRegion.
  bool carryUninstaller = false;
  std::string uninstallerProgram;
  std::function<bool(std::string& uninstaller, std::string& error)> finishUninstaller;
  RegionRef uninstallerRegion = {};
};

// Composes the index and the trailer from the header and the file rows (for
// an extended package with the checksums given), the index packed when
// packIndex says so and pack allows; sets totalSize. The reason when the
// package cannot hold them, else "".
std::string ComposeIndex(Plan& plan, uint32_t payloadCrc = 0, bool pack = true);

// Checks everything and lays out the package. False (with every problem found
// in diag) when the package cannot be built.
bool PlanPackage(const Project& project, const BuildOptions& options, Plan& plan, Diagnostics& diag);

// The largest offset or length the header's and the rows' 32-bit fields hold;
// past it the rows carry 64-bit ones (the stub's word "big").
constexpr int64_t kSeedMax = 0x7FFFFFFF;
// The largest setup file: signed, its certificate table starts at the next
// 8-byte boundary after the package, and the table's offset is a 32-bit
// field of the executable's header.
constexpr int64_t kMaxPackage = 0xFFFFFFF8LL;
// The largest file of a package, packed or stored: the most a FAT32 drive
// holds.
constexpr int64_t kMaxFileBytes = 0xFFFFFFFFLL;
// The largest offset or length the index can hold (32-bit signed).
constexpr int64_t kMaxOffset = 0x7FFFFFFF;

// The packing of a compression level: how large blocks get (at most, and
// also the dictionary), and the encoder's effort.
struct LevelSettings {
  const char* name;
  int64_t blockLimit;
  int encoderLevel;  // the LZMA encoder's level (0 to 9)
  int fastBytes;     // its number of fast bytes
  int matchCycles;   // how far it follows the binary tree (0: the level's own)
  int posBits;       // pb: the low bits of the position the coder's states follow (the level's own: 2)
};
const LevelSettings& LevelOf(int level);
// The LZMA literal context bits (lc) of a block mostly of x86 programs, and
// of any other (docs/design-notes.md, "Solid blocks").
constexpr int kProgramLiteralBits = 2;
constexpr int kLiteralBits = 3;
// The range of an x86 program's code from its headers (the first size bytes
// of a file of fileLength bytes): from its first code section's raw data to
// the end of its last one's. False for other files and for headers that do
// not hold together.
bool X86CodeRange(const unsigned char* head, size_t size, int64_t fileLength, int64_t& from, int64_t& length);
