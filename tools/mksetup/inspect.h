// Reading any setup file of this layout back: trailer, header fields by name
// and the file list, as text for people or JSON for programs.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "common/fieldtable.h"
#include "common/packageext.h"
#include "common/packagefile.h"
#include "common/packageindex.h"

struct InspectedField {
  int position = 0;  // 1-based
  std::string name;  // from the index field table
  std::string raw;   // code page 936, as stored
  std::string text;  // UTF-8; bytes that do not convert as \xNN
};

struct InspectedFile {
  std::string name, folder, subdir, copy;  // UTF-8
  int folderKind = 0;                      // what the setup makes of the folder text
  int copyMode = 0;
  long shortcuts = 0;
  int64_t length = 0, offset = 0;  // the row's region (its extension's 64-bit one past 2 GiB)
  bool outside = false;  // the data region does not lie inside the file
  std::string extension;  // the row extension as stored ("" when none)
  RowExtension ext = {kMethodNone, 0, 0, false, 0, 0, 0, 0, kFilterNone, 0, 0};
  int folderRaw = 0;      // for extract: the folder kind
  std::string nameRaw, subdirRaw;  // code page 936, as stored
};

struct InspectReport {
  std::string path;
  int64_t size = 0;
  int64_t len = 0, seek = 0;
  bool extended = false;  // the index carries the tag
  PackageSeal seal = {};
  std::string sealText;   // what follows the trailer's "." (a seal or nothing)
  bool indexCrcMatches = false, payloadCrcMatches = false;
  // The bytes of the index's text: len, or for a packed index (the seal's
  // IndexMethod) what it unpacked to, 0 when it did not unpack.
  int64_t indexUnpacked = 0;
  std::vector<InspectedField> header;  // as many of the 64 as the index holds
  std::vector<InspectedFile> files;    // empty when the rows were streamed
  // The settings section after the file list of a package with the tag
  // (key, value as UTF-8) in the order stored; empty when they were streamed.
  std::vector<std::pair<std::string, std::string>> settings;
  size_t fileCount = 0, settingCount = 0;
  size_t x86Count = 0;  // rows whose program code went through the x86 filter
  int64_t licenceBytes = -1;  // the whole licence's length, when the package names one that reads
  // The blocks of solid packing the settings give (number, reference), in
  // the order given; gathered while the settings are read with a report.
  std::vector<std::pair<long long, RegionRef>> blocks;
  // The index ends inside its header or inside a file row: not a whole
  // package (the setup reads the missing fields as empty).
  bool cut = false;
  // A problem that makes the setup refuse the whole package.
  bool damaged = false;
  // What is wrong but did not stop the reading: the first kMaxProblems of
  // them, and how many there were in all. Notes say what is unusual but
  // read the same by every reader.
  std::vector<std::string> problems, notes;
  size_t problemCount = 0;
  static const size_t kMaxProblems = 1000;
  void AddProblem(const std::string& problem, bool damage = false);
};

// Reads a setup file's index a file row at a time: an index of millions of
// rows needs little more memory than its own bytes.
class PackageReader {
 public:
  // The trailer, the header fields and their problems into report. False
  // with the reason in error when the file has no readable index.
  bool Open(const std::string& path, InspectReport& report, std::string& error);
  // The next file row into f, its problems into report (unless null). False
  // at the end of the list; a list that ends badly adds its problem then.
  bool NextFile(InspectedFile& f, InspectReport* report);
  // After the file list of a package with the tag: the next row of the
  // settings section (UTF-8), its problems into report (unless null). False
  // at the end.
  bool NextSetting(std::string& key, std::string& value, InspectReport* report);
  // The whole licence a package names (licence.region), read and checked as
  // the setup reads it: its problems into report. After the settings were read.
  void CheckLicence(InspectReport& report);
  // Back to the first file row.
  void Rewind();

 private:
  // The next field whole, however long (the setup's reader cuts it).
  std::string Next();
  CFieldTable table_;
  bool extended_ = false;
  int64_t size_ = 0;
  int filesStart_ = 0;
  bool ended_ = false;
  size_t row_ = 0;
  std::string path_;
  std::string licence_;  // the last licence.region given

};

// The row as the setup's reader takes it (name and sub-folder cut to their
// buffers).
FileEntry EntryOf(const InspectedFile& f);

// Reads a packed or checksummed row's bytes through its method, as the setup
// writes them out: a row whose bytes are not what it says is a problem of
// the report (the setup refuses it). A row of blocks reads them through the
// package's block table (CPackageFile::UseBlocks).
void CheckFileData(CPackageFile& package, size_t row, const InspectedFile& f, InspectReport& report);

// Once the rows and the settings were read with the report: the block table
// from the settings' blocks into blocks, each block and each row of blocks
// judged as the setup judges them (a block outside the payload, a row whose
// bytes are not in blocks given: damage), and with package (when not null,
// open and using blocks) every packed or checksummed row's bytes read as the
// setup writes them. The reader is at its first row again afterwards.
void CheckRowsAndBlocks(PackageReader& reader, CBlockTable& blocks, CPackageFile* package, InspectReport& report);
// Once the rows and the settings were read: the whole licence checked, then
// the rows and blocks with the bytes of the package at path (when it carries
// an extension and opens), as CheckRowsAndBlocks does.
void CheckPackageData(PackageReader& reader, const std::string& path, InspectReport& report);

// Reads the whole file list into report.files and the settings into
// report.settings, each packed or checksummed row's bytes checked (fine for
// packages of a reasonable size; the command itself streams the rows).
bool InspectPackage(const std::string& path, InspectReport& report, std::string& error);

// The printed forms, in pieces so that rows can be written as they are read:
// the head (which gives report.fileCount), one piece per file row, the
// settings' head (which gives report.settingCount), one piece per setting,
// the tail.
std::string InspectTextHead(const InspectReport& report);
std::string InspectTextFile(size_t index, const InspectedFile& f);
std::string InspectTextSettings(const InspectReport& report);
std::string InspectTextSetting(size_t index, const std::string& key, const std::string& value);
std::string InspectTextTail(const InspectReport& report);
std::string InspectJsonHead(const InspectReport& report);
std::string InspectJsonFile(size_t index, const InspectedFile& f);
std::string InspectJsonSettings(const InspectReport& report);
std::string InspectJsonSetting(size_t index, const std::string& key, const std::string& value);
std::string InspectJsonTail(const InspectReport& report);
// A text for the terminal: control characters escaped as \xNN (or \r, \n,
// \t), backslashes as they are; Shown quotes it too.
std::string Escaped(const std::string& s);
std::string Shown(const std::string& s);
// Whether the file ends in a trailer "&LEN:n,SEEK:n." (and what may follow
// it: a seal, readable or not) as the builder writes it.
bool HasTrailer(const std::string& path);
// All of it at once, for a report read by InspectPackage.
std::string FormatInspectText(const InspectReport& report);
std::string FormatInspectJson(const InspectReport& report);
