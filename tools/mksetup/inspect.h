// Reading any setup file of this layout back: trailer, header fields by name
// and the file list, as text for people or JSON for programs.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "common/fieldtable.h"
#include "common/packageext.h"

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
  long shortcuts = 0, length = 0, offset = 0;
  bool outside = false;  // the data region does not lie inside the file
  std::string extension;  // the row extension as stored ("" when none)
  RowExtension ext = {kMethodNone, 0, 0};
  int folderRaw = 0;      // for extract: the folder kind
  std::string nameRaw, subdirRaw;  // code page 936, as stored
};

struct InspectReport {
  std::string path;
  int64_t size = 0;
  long len = 0, seek = 0;
  bool extended = false;  // the index carries the tag
  PackageSeal seal = {};
  bool indexCrcMatches = false, payloadCrcMatches = false;
  std::vector<InspectedField> header;  // as many of the 64 as the index holds
  std::vector<InspectedFile> files;    // empty when the rows were streamed
  // The settings section after the file list of a package with the tag
  // (key, value as UTF-8) in the order stored.
  std::vector<std::pair<std::string, std::string>> settings;
  size_t fileCount = 0;
  // What is wrong but did not stop the reading: the first kMaxProblems of
  // them, and how many there were in all.
  std::vector<std::string> problems;
  size_t problemCount = 0;
  static const size_t kMaxProblems = 1000;
  void AddProblem(const std::string& problem);
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
  // Back to the first file row.
  void Rewind();

 private:
  std::string Next();
  // The settings section, read once the list's empty name is passed.
  void ReadSettings(InspectReport& report);
  CFieldTable table_;
  bool extended_ = false;
  int64_t size_ = 0;
  int filesStart_ = 0;
  bool ended_ = false;
  size_t row_ = 0;
};

// Reads the whole file list into report.files (fine for packages of a
// reasonable size; the command itself streams the rows).
bool InspectPackage(const std::string& path, InspectReport& report, std::string& error);

// The printed forms, in pieces so that rows can be written as they are read:
// the head (which gives report.fileCount), one piece per row, the tail.
std::string InspectTextHead(const InspectReport& report);
std::string InspectTextFile(size_t index, const InspectedFile& f);
std::string InspectTextTail(const InspectReport& report);
std::string InspectJsonHead(const InspectReport& report);
std::string InspectJsonFile(size_t index, const InspectedFile& f);
std::string InspectJsonTail(const InspectReport& report);
// All of it at once, for a report read by InspectPackage.
std::string FormatInspectText(const InspectReport& report);
std::string FormatInspectJson(const InspectReport& report);
