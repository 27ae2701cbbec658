// Reading any setup file of this layout back: trailer, header fields by name
// and the file list, as text for people or JSON for programs.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

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
};

struct InspectReport {
  std::string path;
  int64_t size = 0;
  long len = 0, seek = 0;
  std::vector<InspectedField> header;  // as many of the 64 as the index holds
  std::vector<InspectedFile> files;
  std::vector<std::string> problems;  // what is wrong but did not stop the reading
};

// False with the reason in error when the file has no readable index.
bool InspectPackage(const std::string& path, InspectReport& report, std::string& error);
std::string FormatInspectText(const InspectReport& report);
std::string FormatInspectJson(const InspectReport& report);
