#include "setuplog.h"

#include <string.h>

#include "container.h"

CString SetupLogPathIn(const char* installDir) {
  CString path(installDir);
  AppendBackslashIfMissing(path);
  path += SETUP_LOG_NAME;
  return path;
}

// --- Writing ---------------------------------------------------------------

CSetupLogWriter::CSetupLogWriter() : m_ok(false) {}

bool CSetupLogWriter::Create(const char* path) {
  m_file.Close();
  if (GetAttributes(path) != INVALID_FILE_ATTRIBUTES) SetAttributesNormal(path);
  m_ok = m_file.Open(path, CFile::modeCreate | CFile::modeWrite);
  return m_ok;
}

bool CSetupLogWriter::WriteLine(const char* text) {
  if (!m_ok || !m_file.IsOpen()) return false;
  // Two writes rather than a joined copy: no allocation that could fail.
  m_ok = m_file.Write(text, static_cast<unsigned>(strlen(text))) && m_file.Write(LOG_TERMINATOR, 3);
  return m_ok;
}

bool CSetupLogWriter::Close() {
  bool wasOpen = m_file.IsOpen();
  bool closed = m_file.Close();
  bool ok = wasOpen && m_ok && closed;
  m_ok = false;
  return ok;
}

CString ShortcutName(const char* name) {
  // "." is never a trail byte in code page 936, so a plain search is exact.
  const char* dot = strchr(name, '.');
  CString s = dot ? CString(name, static_cast<int>(dot - name) + 1) : CString();
  s += "lnk";
  return s;
}

bool WriteLogSections(CSetupLogWriter& log, const PackageSettings& s, const CInstallFolders& folders) {
  bool ok = log.WriteLine(LOG_FILES_SECTION);
  for (const CFileList::Node* n = s.FileList.Head; n && ok; n = n->Next) {
    // A row that would leave its folder was never written: the removal must
    // not be told to delete what its path names.
    if (!IsContainedEntry(n->Entry)) continue;
    CString path;
    ok = folders.Resolve(n->Entry, path) && log.WriteLine(path);
  }
  ok = ok && log.WriteLine("") && log.WriteLine(LOG_TYPES_SECTION);
  for (int i = 0; i < 2 && ok; i++)
    if (s.TypeAssoc[i].Extension[0]) ok = log.WriteLine(s.TypeAssoc[i].Extension);
  return ok && log.WriteLine("") && log.WriteLine(LOG_SHORTCUTS_SECTION);
}

namespace {
const char* const kTypeStateWords[] = {"made", "none", "was", "kept"};
}  // namespace

CString FormatTypeRecord(const TypeRecord& r) {
  CString line = r.Extension;
  line += "|";
  line += kTypeStateWords[r.State >= kTypeMade && r.State <= kTypeKept ? r.State : kTypeKept];
  if (r.State == kTypeWas) {
    line += "|";
    line += r.Previous;
  }
  return line;
}

bool ParseTypeRecord(const char* line, TypeRecord& r) {
  // The extension holds no bar; the previous value is the whole rest.
  int bar = FindCharMb(line, '|');
  if (bar < 0) return false;
  r.Extension = CString(line, bar);
  if (!IsListExtension(r.Extension)) return false;
  const char* rest = line + bar + 1;
  r.Previous.Empty();
  for (int k = kTypeMade; k <= kTypeKept; k++) {
    size_t n = strlen(kTypeStateWords[k]);
    if (strncmp(rest, kTypeStateWords[k], n) != 0) continue;
    if (k == kTypeWas ? rest[n] != '|' : rest[n] != 0) continue;
    r.State = k;
    if (k == kTypeWas) r.Previous = rest + n + 1;
    return true;
  }
  return false;
}

bool WriteLaterSections(CSetupLogWriter& log, const CPathList* folders, const TypeRecordList* types) {
  bool ok = true;
  if (folders && folders->Count() > 0) {
    ok = log.WriteLine("") && log.WriteLine(LOG_FOLDERS_SECTION);
    for (int i = 0; i < folders->Count() && ok; i++) ok = log.WriteLine((*folders)[i]);
  }
  if (ok && types && types->Count > 0) {
    ok = log.WriteLine("") && log.WriteLine(LOG_TYPES2_SECTION);
    for (int i = 0; i < types->Count && ok; i++) ok = log.WriteLine(FormatTypeRecord(types->Items[i]));
  }
  return ok;
}

// --- Reading ---------------------------------------------------------------

CSetupLogReader::CSetupLogReader() : m_pos(0), m_len(0) {}

bool CSetupLogReader::Open(const char* path) {
  m_pos = m_len = 0;
  return m_file.Open(path, CFile::modeRead | CFile::shareDenyNone);
}

void CSetupLogReader::Close() {
  m_file.Close();
  m_pos = m_len = 0;
}

bool CSetupLogReader::Rewind() {
  m_pos = m_len = 0;
  return m_file.Seek(0, CFile::begin) == 0;
}

bool CSetupLogReader::Fill() {
  m_pos = 0;
  m_len = m_file.Read(m_buf, sizeof m_buf);  // a read error ends the file like its end
  return m_len > 0;
}

LogLineKind CSetupLogReader::ReadLine(CString& line) {
  line.Empty();
  if (m_pos == m_len && !Fill()) return kLogLineEnd;
  // The line is collected piece by piece; past the limit the rest is only
  // skipped, so a huge line costs no memory.
  bool damaged = false;
  long long length = 0;
  for (;;) {
    if (m_pos == m_len && !Fill()) break;  // last line without an end
    const char* start = m_buf + m_pos;
    unsigned avail = m_len - m_pos;
    const char* lf = static_cast<const char*>(memchr(start, '\n', avail));
    unsigned take = lf ? static_cast<unsigned>(lf - start) : avail;
    m_pos += take + (lf ? 1 : 0);
    length += take;
    if (!damaged) {
      if (length > LOG_LINE_LIMIT + 2 || memchr(start, 0, take)) {
        damaged = true;
      } else {
        line.Append(start, static_cast<int>(take));
        if (line.GetLength() != length) damaged = true;  // no memory for it
      }
    }
    if (lf) break;
  }
  if (damaged) {
    line.Empty();
    return kLogLineDamaged;
  }
  // The CR that belongs to the line end, then the log's extra one.
  int n = line.GetLength();
  for (int k = 0; k < 2 && n > 0 && line[n - 1] == '\r'; k++) n--;
  if (n > LOG_LINE_LIMIT) {
    line.Empty();
    return kLogLineDamaged;
  }
  if (n != line.GetLength()) line = line.Left(n);
  return kLogLineText;
}

bool CSetupLogReader::NextEntry(CString& text) {
  for (;;) {
    LogLineKind kind = ReadLine(text);
    if (kind == kLogLineDamaged) continue;  // ReadLine always moves on, so this ends
    return kind == kLogLineText && !text.IsEmpty();
  }
}

bool CSetupLogReader::BeginFileList() {
  CString skip;
  if (!Rewind()) return false;
  ReadLine(skip);
  return true;
}

bool CSetupLogReader::NextFilePath(CString& path) { return NextEntry(path); }

void CSetupLogReader::BeginTypeList() {
  CString skip;
  ReadLine(skip);
}

bool CSetupLogReader::NextExtension(CString& ext) {
  if (!NextEntry(ext)) return false;
  // Cut between characters: a lone lead byte would form a key name of its own.
  if (ext.GetLength() > 3) ext = ext.Left(CharBoundary(ext, 3));
  return true;
}

void CSetupLogReader::BeginShortcutList() {
  CString skip;
  ReadLine(skip);
}

bool CSetupLogReader::NextShortcut(CString& path) { return NextEntry(path); }

bool CSetupLogReader::BeginGroup(int index) {
  if (!BeginFileList()) return false;
  CString line;
  for (int g = 0; g < index; g++) {
    while (NextEntry(line)) {
    }
    ReadLine(line);  // the next group's name
  }
  return true;
}

bool CSetupLogReader::BeginSection(const char* name) {
  // Past the three groups (each to its empty line), then from section to
  // section.
  if (!BeginGroup(2)) return false;
  CString line;
  while (NextEntry(line)) {
  }
  while (NextSection(line)) {
    if (line == name) return true;
    while (NextEntry(line)) {
    }
  }
  return false;
}

bool CSetupLogReader::NextSection(CString& name) {
  for (;;) {
    LogLineKind kind = ReadLine(name);
    if (kind == kLogLineEnd) return false;
    if (kind == kLogLineText && !name.IsEmpty()) return true;
  }
}

namespace {

// Entries of the list the reader stands in, as many as fit.
template <typename Next>
void ReadList(CSetupLogReader& log, CPathList& list, Next next) {
  CString entry;
  while ((log.*next)(entry))
    if (list.Count() < LOG_LIST_MAX) list.Add(entry);
}

}  // namespace

bool ReadSetupLogLists(const char* path, CPathList& types, CPathList& shortcuts, CPathList& folders,
                       TypeRecordList* listTypes) {
  CSetupLogReader log;
  if (!log.Open(path) || !log.BeginFileList()) return false;
  CString entry;
  while (log.NextFilePath(entry)) {
  }
  log.BeginTypeList();
  ReadList(log, types, &CSetupLogReader::NextExtension);
  log.BeginShortcutList();
  ReadList(log, shortcuts, &CSetupLogReader::NextShortcut);
  CString name;
  while (log.NextSection(name)) {
    if (name == LOG_FOLDERS_SECTION) {
      ReadList(log, folders, &CSetupLogReader::NextSectionEntry);
      continue;
    }
    TypeRecord record;
    while (log.NextSectionEntry(entry))
      if (listTypes && name == LOG_TYPES2_SECTION && listTypes->Count < LIST_ITEM_MAX &&
          ParseTypeRecord(entry, record))
        listTypes->Items[listTypes->Count++] = record;
  }
  return true;
}

// --- Program group -----------------------------------------------------------

bool ProgramGroupOf(const char* shortcutPath, const char* programsFolder, CString& group) {
  if (!programsFolder || !programsFolder[0]) return false;
  CString programs = LowerTextMb(programsFolder);
  if (!EndsWithBackslashMb(programs)) programs += "\\";
  CString path = LowerTextMb(shortcutPath);
  int at = FindTextMb(path, programs);
  if (at < 0) return false;
  int last = ReverseFindCharMb(path, '\\');
  // The folder must lie below the Programs folder, not be it.
  if (last <= at + programs.GetLength() - 1) return false;
  group = path.Left(last);
  return true;
}
