// Error and warning collection for a build: every problem is recorded with the
// project key and value it concerns, and all of them are reported together.
#pragma once
#include <set>
#include <string>
#include <vector>

struct Diagnostics {
  std::string source;  // the project file's name, put in front of every message
  std::vector<std::string> errors;
  std::vector<std::string> warnings;

  // line: the project file's line (0 when unknown). The same error twice is
  // reported once.
  void Error(int line, const std::string& text);
  void Warning(int line, const std::string& text);
  bool Failed() const { return !errors.empty(); }
  // The errors in the order of the project file's lines (those without a line
  // last), as a person reads them best.
  std::vector<std::string> ErrorsByLine() const;

 private:
  std::string Prefix(int line) const;
  std::vector<int> errorLines_;
  std::set<std::string> reported_;
};

// A value for a message: in double quotes, control characters escaped, cut to
// about maxChars characters (between UTF-8 characters) with "..." when longer.
std::string QuoteValue(const std::string& utf8, size_t maxChars = 40);

// The number of single-character edits between two words, for "did you mean"
// suggestions of keys and sub-commands.
size_t EditDistance(const std::string& a, const std::string& b);
