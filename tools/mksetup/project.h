// The project file: what a vendor writes (UTF-8 TOML) to describe a package.
// Loading checks the file's shape (known keys, types, counts, keywords); the
// limits of the package format are checked when the build is planned.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "common/packageext.h"
#include "diagnostics.h"

// One value from the project file, with where it came from.
struct ProjectText {
  std::string key;    // as messages name it, e.g. "welcome.lines[3]"
  std::string value;  // UTF-8, variables expanded
  int line = 0;
  bool set = false;
};

// A file on the target machine: a base folder and a path below it.
struct ProjectRef {
  std::string key;
  int line = 0;
  bool set = false;
  int folder = 0;    // FOLDER_INSTALL, FOLDER_WINDOWS or FOLDER_SYSTEM
  ProjectText path;     // backslashes, as the index holds it
  std::string written;  // the path as the project writes it, for messages
};

// compression_level: "fast", "normal" (the default), "max".
enum CompressionLevel { kLevelFast, kLevelNormal, kLevelMax };

struct ProjectAssociation {
  ProjectText extension;  // without the dot
  ProjectRef program;
  ProjectText description;  // optional: the type's name
  ProjectRef icon;          // optional: the file whose icon the type shows
  long long iconIndex = 0;
  int iconIndexLine = 0;    // where icon_index is given (0: not given)
};

struct ProjectFile {
  std::string key;  // "file[N]"
  int line = 0;
  ProjectText source;     // as written (variables expanded)
  std::string sourcePath; // resolved against the project folder
  ProjectText name;       // optional
  int folder = 0;
  ProjectText subfolder;  // backslashes, no leading or trailing separator
  int shortcuts = 0;
  int copyMode = 0;
  int compression = -1;  // kMethodStored or kMethodLzma; -1: the project's
  bool reported = false;  // a problem of its own is reported; the build skips it
};

struct Project {
  std::string path;  // the project file
  std::string dir;   // its folder ("." when none)

  ProjectText productName;
  ProjectText picture, icon;  // source paths as written
  std::string picturePath, iconPath;
  // The version resource of the setup file (optional).
  ProjectText version, publisher, description, copyright;
  // The entry in the system's list of installed programs: its key name
  // (optional; else made from the product name) and the product's web page.
  // Either one puts the package extension's settings section into the
  // package, with the version and the publisher beside them.
  ProjectText productId, url;
  // The language of the setup's and the uninstaller's own texts (ui.language):
  // "zh-CN" (the default) or "en"; a package carries it in the extension's
  // settings when it is not the default.
  ProjectText language;
  // For whom the setup installs (install.scope): "machine" (the default) or
  // "user", the current user alone; a package carries "user" in the
  // extension's settings.
  ProjectText scope;
  // Lines shown on each wizard page, in page order: welcome (up to 8), licence
  // (2), destination (4), copying (1), finish (3).
  std::vector<ProjectText> pageLines[5];
  ProjectText licenceText;  // line breaks as CR LF
  std::string licenceFile;  // the file it was read from, if any
  ProjectRef readme, run;
  std::vector<ProjectAssociation> associations;
  std::vector<ProjectText> registryKeys, registryValues;

  bool backgroundEnabled = false;
  ProjectText backgroundPicture;
  std::string backgroundPicturePath;
  ProjectText backgroundCaption;
  ProjectText backgroundColour;
  long backgroundColorRef = 0;  // 0x00BBGGRR
  bool backgroundCaptionBar = false;

  std::vector<ProjectFile> files;
  ProjectText output;  // the default output file, relative to the project
  // How files are stored unless their [[file]] says else: kMethodLzma
  // ("lzma", the default) or kMethodStored ("none").
  int compression = kMethodLzma;
  // How hard packed files are packed: compression_level.
  int level = kLevelNormal;
};

// How many lines each page takes.
extern const int kPageLineCounts[5];
// The project keys of the five pages' tables.
extern const char* const kPageKeys[5];

// Reads and checks the project file. vars: values from the command line, which
// take precedence over the file's [vars] table. False when the file cannot be
// read or is not TOML; other problems go to diag, and what could be read is in
// project, so that the build's own checks can still find theirs.
bool LoadProject(const std::string& path, const std::map<std::string, std::string>& vars,
                 Project& project, Diagnostics& diag);
