#include "diagnostics.h"

#include <stdio.h>

#include <algorithm>

std::string Diagnostics::Prefix(int line) const {
  std::string p = source;
  if (!p.empty() && line > 0) p += ":" + std::to_string(line);
  if (!p.empty()) p += ": ";
  return p;
}

void Diagnostics::Error(int line, const std::string& text) {
  // A text checked by two rules (the version resource and the settings, say).
  if (!reported_.insert(Prefix(line) + text).second) return;
  errors.push_back(Prefix(line) + text);
  errorLines_.push_back(line > 0 ? line : 1 << 30);
}

std::vector<std::string> Diagnostics::ErrorsByLine() const {
  std::vector<size_t> order(errors.size());
  for (size_t i = 0; i < order.size(); i++) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return errorLines_[a] < errorLines_[b]; });
  std::vector<std::string> out;
  for (size_t i : order) out.push_back(errors[i]);
  return out;
}

void Diagnostics::Warning(int line, const std::string& text) {
  warnings.push_back(Prefix(line) + text);
}

std::string QuoteValue(const std::string& s, size_t maxChars) {
  std::string out = "\"";
  size_t chars = 0;
  for (size_t i = 0; i < s.size();) {
    if (chars == maxChars) {
      out += "...";
      break;
    }
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      char esc[8];
      if (c == '\n') snprintf(esc, sizeof esc, "\\n");
      else if (c == '\r') snprintf(esc, sizeof esc, "\\r");
      else if (c == '\t') snprintf(esc, sizeof esc, "\\t");
      else snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
      i++;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      i++;
    } else {
      // Keep a UTF-8 character whole.
      size_t w = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (i + w > s.size()) w = s.size() - i;
      out.append(s, i, w);
      i += w;
    }
    chars++;
  }
  return out + "\"";
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diag = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}
