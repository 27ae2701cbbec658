#include "packageindex.h"

#include <stdlib.h>
#include <string.h>

#include "framework/memory.h"

#define PAGE_LINE(p, k, lim) {"page" #p ".line" #k, kFieldText, lim}

const IndexFieldInfo kIndexFields[kIndexHeaderFields] = {
    // Page 1: eight welcome lines in statics.
    PAGE_LINE(1, 1, 47), PAGE_LINE(1, 2, 47), PAGE_LINE(1, 3, 47), PAGE_LINE(1, 4, 47),
    PAGE_LINE(1, 5, 47), PAGE_LINE(1, 6, 47), PAGE_LINE(1, 7, 47), PAGE_LINE(1, 8, 47),
    // Page 2: two lines in statics, the licence text in an edit.
    PAGE_LINE(2, 1, 47), PAGE_LINE(2, 2, 47), PAGE_LINE(2, 3, 255), PAGE_LINE(2, 4, 255),
    PAGE_LINE(2, 5, 255), PAGE_LINE(2, 6, 255), PAGE_LINE(2, 7, 255), PAGE_LINE(2, 8, 255),
    // Page 3: four lines in statics.
    PAGE_LINE(3, 1, 47), PAGE_LINE(3, 2, 47), PAGE_LINE(3, 3, 47), PAGE_LINE(3, 4, 47),
    PAGE_LINE(3, 5, 255), PAGE_LINE(3, 6, 255), PAGE_LINE(3, 7, 255), PAGE_LINE(3, 8, 255),
    // Page 4: the copy page's heading.
    PAGE_LINE(4, 1, 47), PAGE_LINE(4, 2, 255), PAGE_LINE(4, 3, 255), PAGE_LINE(4, 4, 255),
    PAGE_LINE(4, 5, 255), PAGE_LINE(4, 6, 255), PAGE_LINE(4, 7, 255), PAGE_LINE(4, 8, 255),
    // Page 5: three lines in statics.
    PAGE_LINE(5, 1, 47), PAGE_LINE(5, 2, 47), PAGE_LINE(5, 3, 47), PAGE_LINE(5, 4, 255),
    PAGE_LINE(5, 5, 255), PAGE_LINE(5, 6, 255), PAGE_LINE(5, 7, 255), PAGE_LINE(5, 8, 255),
    {"ProductName", kFieldText, 255},
    {"ReadmeFile", kFieldText, 255},
    {"RunFile", kFieldText, 255},
    {"RegKeys[0]", kFieldText, 0},
    {"RegKeys[1]", kFieldText, 0},
    {"RegValues[0]", kFieldText, 0},
    {"RegValues[1]", kFieldText, 0},
    {"Extension", kFieldText, 4},
    {"PictureLength", kFieldNumber, 0},
    {"PictureOffset", kFieldNumber, 0},
    {"IconLength", kFieldNumber, 0},
    {"IconOffset", kFieldNumber, 0},
    {"TypeAssoc[0].Program", kFieldText, 254},
    {"TypeAssoc[0].Extension", kFieldText, 3},
    {"TypeAssoc[1].Program", kFieldText, 254},
    {"TypeAssoc[1].Extension", kFieldText, 3},
    {"SplashEnabled", kFieldBool, 0},
    {"SplashPictureLength", kFieldNumber, 0},
    {"SplashPictureOffset", kFieldNumber, 0},
    {"SplashCaption", kFieldText, 67},
    {"SplashBackColor", kFieldNumber, 0},
    {"SplashCaptionBar", kFieldBool, 0},
    {"(ignored 63)", kFieldIgnored, 0},
    {"(ignored 64)", kFieldIgnored, 0},
};

const char* const kFileRowFieldNames[kFileRowFields] = {
    "Name", "Folder", "SubDir", "Shortcuts", "CopyMode", "Length", "Offset", "Extension"};
const int kFileRowLimits[kFileRowFields] = {255, 0, 255, 0, 0, 0, 0, 0};

int FolderFromKeyword(const char* text) {
  if (strcmp(text, KW_WINDOWS_FOLDER) == 0) return FOLDER_WINDOWS;
  if (strcmp(text, KW_SYSTEM_FOLDER) == 0) return FOLDER_SYSTEM;
  return FOLDER_INSTALL;
}

int CopyModeFromKeyword(const char* text) {
  if (strcmp(text, KW_NOTEXIST_COPY) == 0) return COPY_IF_ABSENT;
  if (strcmp(text, KW_ASK_COPY) == 0) return COPY_ASK;
  return COPY_ALWAYS;
}

const char* FolderKeyword(int folder) {
  return folder == FOLDER_WINDOWS ? KW_WINDOWS_FOLDER
         : folder == FOLDER_SYSTEM ? KW_SYSTEM_FOLDER
                                   : KW_INSTALL_FOLDER;
}

const char* CopyModeKeyword(int copyMode) {
  return copyMode == COPY_IF_ABSENT ? KW_NOTEXIST_COPY
         : copyMode == COPY_ASK     ? KW_ASK_COPY
                                    : KW_ALWAYS_COPY;
}

CFileList::CFileList() : Count(0), Head(0), Tail(0), Cursor(0), CursorIndex(0) {}
CFileList::~CFileList() { Clear(); }

void CFileList::Clear() {
  for (Node* n = Head; n;) {
    Node* next = n->Next;
    FreeBuffer(n);
    n = next;
  }
  Count = 0;
  Head = Tail = Cursor = 0;
  CursorIndex = 0;
}

bool CFileList::Append(const FileEntry& e) {
  Node* n = static_cast<Node*>(AllocBuffer(sizeof(Node)));
  if (!n) return false;
  n->Entry = e;
  n->Next = 0;
  n->Prev = Tail;
  if (Tail) Tail->Next = n;
  else {
    Head = Cursor = n;
    CursorIndex = 0;
  }
  Tail = n;
  Count++;
  return true;
}

bool CFileList::MoveTo(int index) {
  if (index < 0 || index >= Count) return false;
  // Walk from whichever known node is nearest: the head, the tail or the cursor.
  int fromHead = index, fromTail = Count - 1 - index;
  int fromCursor = index - CursorIndex;
  int absCursor = fromCursor < 0 ? -fromCursor : fromCursor;
  Node* n;
  if (Cursor && absCursor <= fromHead && absCursor <= fromTail) {
    n = Cursor;
    for (; fromCursor > 0; fromCursor--) n = n->Next;
    for (; fromCursor < 0; fromCursor++) n = n->Prev;
  } else if (fromHead <= fromTail) {
    n = Head;
    while (fromHead-- > 0) n = n->Next;
  } else {
    n = Tail;
    while (fromTail-- > 0) n = n->Prev;
  }
  Cursor = n;
  CursorIndex = index;
  return true;
}

PackageSettings::PackageSettings()
    : PictureLength(0), PictureOffset(0), IconLength(0), IconOffset(0), SplashEnabled(false),
      SplashPictureLength(0), SplashPictureOffset(0), SplashBackColor(0), SplashCaptionBar(false),
      Extended(false), RowsDamaged(false), BlocksDamaged(false), SettingsSection(-1), AssociationCount(0) {
  memset(PageText, 0, sizeof PageText);
  memset(&UninstallerRegion, 0, sizeof UninstallerRegion);
  ProductName[0] = ReadmeFile[0] = RunFile[0] = SplashCaption[0] = 0;
  memset(TypeAssoc, 0, sizeof TypeAssoc);
  memset(&LicenceRegion, 0, sizeof LicenceRegion);
}

static bool IsTrue(const char* s) { return strcmp(s, KW_TRUE) == 0; }

static bool NamesMethod(const char* field) {
  return strncmp(field, METHOD_STORED_WORD ",", 7) == 0 || strncmp(field, METHOD_LZMA_WORD ",", 5) == 0 ||
         strncmp(field, METHOD_SOLID_WORD ",", 6) == 0;
}

CBlockTable::CBlockTable() : m_entries(0), m_count(0), m_capacity(0) {}
CBlockTable::~CBlockTable() { Clear(); }

void CBlockTable::Clear() {
  FreeBuffer(m_entries);
  m_entries = 0;
  m_count = m_capacity = 0;
}

bool CBlockTable::Set(long long number, const RegionRef& ref) {
  if (number < 1 || number > BLOCK_COUNT_MAX) return false;
  int index = static_cast<int>(number - 1);
  if (index >= m_capacity) {
    int capacity = m_capacity ? m_capacity : 16;
    while (capacity <= index) capacity *= 2;
    Entry* grown = static_cast<Entry*>(AllocBuffer(sizeof(Entry) * static_cast<size_t>(capacity)));
    if (!grown) return false;
    memset(grown, 0, sizeof(Entry) * static_cast<size_t>(capacity));
    if (m_count) memcpy(grown, m_entries, sizeof(Entry) * static_cast<size_t>(m_count));
    FreeBuffer(m_entries);
    m_entries = grown;
    m_capacity = capacity;
  }
  m_entries[index].Ref = ref;
  if (index >= m_count) m_count = index + 1;
  return true;
}

const RegionRef* CBlockTable::At(long long number) const {
  if (number < 1 || number > m_count) return 0;
  const RegionRef& ref = m_entries[number - 1].Ref;
  return ref.Method == kMethodNone ? 0 : &ref;
}

void CBlockTable::Finish() {
  // Backwards: each block learns the last block of its run and, forwards,
  // where it starts in the run.
  int last = -1;
  for (int i = m_count - 1; i >= 0; i--) {
    if (m_entries[i].Ref.Method == kMethodNone) last = -1;
    else if (last < 0) last = i;
    m_entries[i].RunLast = last;
  }
  long long start = 0;
  for (int i = 0; i < m_count; i++) {
    if (m_entries[i].Ref.Method == kMethodNone) {
      start = 0;
      continue;
    }
    m_entries[i].Start = start;
    // Sizes are checked apart (BlocksConsistent); held to the largest a
    // block may have, the sum of all of them stays far from wrapping.
    unsigned long long n = m_entries[i].Ref.Unpacked;
    start += static_cast<long long>(n > BLOCK_UNPACKED_MAX ? BLOCK_UNPACKED_MAX + 1ULL : n);
  }
}

long long CBlockTable::RunStart(long long number) const { return At(number) ? m_entries[number - 1].Start : -1; }

long long CBlockTable::RunEnd(long long number) const {
  if (!At(number)) return -1;
  const Entry& last = m_entries[m_entries[number - 1].RunLast];
  return last.Start + static_cast<long long>(last.Ref.Unpacked);
}

bool BlocksConsistent(const PackageSettings& s, long long payloadStart, long long payloadEnd) {
  if (s.BlocksDamaged) return false;
  const CBlockTable& blocks = s.Blocks;
  for (int n = 1; n <= blocks.Count(); n++) {
    const RegionRef* b = blocks.At(n);
    if (!b) continue;
    if (b->Offset < payloadStart || b->Length < 0 || b->Offset > payloadEnd || b->Length > payloadEnd - b->Offset)
      return false;
    if (b->Unpacked == 0 || b->Unpacked > BLOCK_UNPACKED_MAX) return false;
    if (b->Method == kMethodLzma ? b->Length < LZMA_PROPS_BYTES
                                 : b->Unpacked != static_cast<unsigned long long>(b->Length))
      return false;
  }
  for (const CFileList::Node* n = s.FileList.Head; n; n = n->Next) {
    const FileEntry& e = n->Entry;
    if (e.Method != kMethodSolid) continue;
    const RegionRef* b = blocks.At(e.Block);
    if (!b || e.BlockOffset < 0 || static_cast<unsigned long long>(e.BlockOffset) > b->Unpacked) return false;
    long long start = blocks.RunStart(e.Block) + e.BlockOffset;
    if (e.Unpacked > static_cast<unsigned long long>(blocks.RunEnd(e.Block) - start)) return false;
  }
  return true;
}

namespace {

// Reads a run of fields (the header, or one file row) by position: At(p)
// passes over the fields before p (those no setting takes) and gives the
// field at p, valid until the next call. Positions go up, never back.
class CPositionReader {
 public:
  explicit CPositionReader(CFieldTable& table) : m_table(table), m_next(0), m_field("") {}
  const char* At(int position) {
    while (m_next <= position) {
      m_field = m_table.NextField();
      m_next++;
    }
    return m_field;
  }

 private:
  CFieldTable& m_table;
  int m_next;  // the position NextField gives next
  const char* m_field;
};

}  // namespace

int ListItemOf(const char* key, const char* prefix, const char** rest) {
  size_t n = strlen(prefix);
  if (strncmp(key, prefix, n) != 0) return 0;
  const char* p = key + n;
  unsigned long long item = 0;
  if (!ParseDecimal(p, LIST_ITEM_MAX, item, &p) || item == 0 || (*p && *p != '.')) return 0;
  *rest = *p ? p + 1 : p;
  return static_cast<int>(item);
}

bool TakeRegistrySetting(const CString& key, const CString& value, CString* keys, CString* values) {
  const char* rest = "";
  int n = ListItemOf(key, SETTING_UNINSTALL_KEY, &rest);
  CString* list = keys;
  if (!n) {
    n = ListItemOf(key, SETTING_UNINSTALL_VALUE, &rest);
    list = values;
  }
  if (!n || *rest) return false;
  // The first two are the header's (the uninstaller table's fields 6 to 9).
  if (n > 2) list[n - 1] = value.GetLength() <= REG_ENTRY_LIMIT ? value : CString();
  return true;
}

bool IsListExtension(const char* text) {
  if (!text[0] || !IsWholeTextMb(text)) return false;
  int chars = 0;
  for (const char* p = text; *p; p += CharWidthMb(p), chars++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F || strchr("\\/:*?\"<>|. ", c)) return false;
  }
  return chars <= LIST_EXTENSION_CHARS;
}

namespace {

// The association list as given, item by item: an item is taken when its
// extension may be one and it names a program, each value within its limit;
// of items with the same extension (letter case aside) the first.
void TakeAssociations(const ListAssociation* given, PackageSettings& s) {
  s.AssociationCount = 0;
  for (int n = 0; n < LIST_ITEM_MAX; n++) {
    const ListAssociation& a = given[n];
    if (!IsListExtension(a.Extension) || a.Program.IsEmpty() || a.Program.GetLength() > SETTING_VALUE_LIMIT ||
        a.Description.GetLength() > SETTING_VALUE_LIMIT || a.Icon.GetLength() > SETTING_VALUE_LIMIT)
      continue;
    bool twice = false;
    for (int k = 0; k < s.AssociationCount && !twice; k++)
      twice = CompareNoCaseMb(s.Associations[k].Extension, a.Extension) == 0;
    if (!twice) s.Associations[s.AssociationCount++] = a;
  }
}

}  // namespace

// The settings section: key and value pairs after the list's empty name,
// up to the end of the text (an empty key). Of a key given twice the last
// one counts.
static void ParseSettingsSection(CFieldTable& t, PackageSettings& s) {
  struct {
    const char* key;
    CString PackageSettings::*value;
  } const known[] = {{SETTING_PRODUCT_ID, &PackageSettings::ProductId},
                     {SETTING_PRODUCT_VERSION, &PackageSettings::ProductVersion},
                     {SETTING_PRODUCT_PUBLISHER, &PackageSettings::ProductPublisher},
                     {SETTING_PRODUCT_URL, &PackageSettings::ProductUrl},
                     {SETTING_UI_LANGUAGE, &PackageSettings::Language},
                     {SETTING_INSTALL_SCOPE, &PackageSettings::Scope}};
  struct {
    const char* name;
    CString ListAssociation::*value;
  } const fields[] = {{ASSOCIATION_FIELD_EXTENSION, &ListAssociation::Extension},
                      {ASSOCIATION_FIELD_PROGRAM, &ListAssociation::Program},
                      {ASSOCIATION_FIELD_DESCRIPTION, &ListAssociation::Description},
                      {ASSOCIATION_FIELD_ICON, &ListAssociation::Icon}};
  ListAssociation given[LIST_ITEM_MAX];
  CString key, stored;
  char value[SETTING_VALUE_LIMIT + 1];
  const size_t blockKey = strlen(SETTING_BLOCK);
  while (NextSetting(t, key, stored)) {
    const char* rest = "";
    if (int n = ListItemOf(key, SETTING_ASSOCIATION, &rest)) {
      for (const auto& f : fields)
        if (strcmp(rest, f.name) == 0) given[n - 1].*f.value = stored;
      continue;
    }
    if (TakeRegistrySetting(key, stored, s.RegKeys, s.RegValues)) continue;
    RegionRef* region = key == SETTING_LICENCE_REGION       ? &s.LicenceRegion
                        : key == SETTING_UNINSTALLER_REGION ? &s.UninstallerRegion
                                                            : 0;
    if (region) {
      ParseRegionRef(stored, *region);  // a reference that does not read is none
      continue;
    }
    if (strncmp(key.c_str(), SETTING_BLOCK, blockKey) == 0) {
      // A block that does not read would leave its rows without bytes.
      unsigned long long number = 0;
      const char* rest = 0;
      RegionRef ref;
      if (!ParseDecimal(key.c_str() + blockKey, BLOCK_COUNT_MAX, number, &rest) || *rest ||
          !ParseRegionRef(stored.c_str(), ref) || !s.Blocks.Set(static_cast<long long>(number), ref))
        s.BlocksDamaged = true;
      continue;
    }
    CopyText(value, sizeof value, stored);
    for (const auto& k : known)
      if (key == k.key) s.*k.value = value;  // the last one given counts
  }
  TakeAssociations(given, s);
  s.Blocks.Finish();
}

bool NextSetting(CFieldTable& table, CString& key, CString& value) {
  if (!NextWholeField(table, key) || key.IsEmpty()) return false;
  NextWholeField(table, value);
  return true;
}

void ParsePackageIndex(CFieldTable& t, PackageSettings& s) {
  CPositionReader h(t);
  for (int p = 0; p < PAGE_COUNT; p++)
    for (int k = 0; k < PAGE_LINES; k++) CopyText(s.PageText[p][k], TEXT_SIZE, h.At(PageTextPosition(p, k)));
  CopyText(s.ProductName, TEXT_SIZE, h.At(kIdxProductName));
  CopyText(s.ReadmeFile, TEXT_SIZE, h.At(kIdxReadmeFile));
  CopyText(s.RunFile, TEXT_SIZE, h.At(kIdxRunFile));
  for (int i = 0; i < 2; i++) s.RegKeys[i] = h.At(kIdxRegKeys + i);
  for (int i = 0; i < 2; i++) s.RegValues[i] = h.At(kIdxRegValues + i);
  s.Extended = strcmp(h.At(kIdxExtension), PACKAGE_TAG) == 0;
  s.PictureLength = ParseLong(h.At(kIdxPictureLength));
  s.PictureOffset = ParseLong(h.At(kIdxPictureOffset));
  s.IconLength = ParseLong(h.At(kIdxIconLength));
  s.IconOffset = ParseLong(h.At(kIdxIconOffset));
  for (int a = 0; a < 2; a++) {
    // The extension has its own 4 bytes; a longer one is cut, never spilling
    // into the program reference behind it.
    CopyText(s.TypeAssoc[a].Program, ASSOC_PROGRAM_SIZE, h.At(TypeAssocPosition(a)));
    CopyText(s.TypeAssoc[a].Extension, EXT_SIZE, h.At(TypeAssocPosition(a) + 1));
  }
  s.SplashEnabled = IsTrue(h.At(kIdxSplashEnabled));
  s.SplashPictureLength = ParseLong(h.At(kIdxSplashPictureLength));
  s.SplashPictureOffset = ParseLong(h.At(kIdxSplashPictureOffset));
  CopyText(s.SplashCaption, SPLASH_CAPTION_SIZE, h.At(kIdxSplashCaption));
  s.SplashBackColor = ParseLong(h.At(kIdxSplashBackColor));
  s.SplashCaptionBar = IsTrue(h.At(kIdxSplashCaptionBar));
  h.At(kIndexHeaderFields - 1);  // the file rows follow the whole header

  for (;;) {
    CPositionReader row(t);
    const char* name = row.At(kRowName);
    if (!name[0]) break;
    FileEntry e;
    memset(&e, 0, sizeof e);
    CopyText(e.Name, TEXT_SIZE, name);
    e.Folder = FolderFromKeyword(row.At(kRowFolder));
    CopyText(e.SubDir, TEXT_SIZE, row.At(kRowSubDir));
    e.Shortcuts = ParseLong(row.At(kRowShortcuts));
    e.CopyMode = CopyModeFromKeyword(row.At(kRowCopyMode));
    e.Length = ParseLong(row.At(kRowLength));
    e.Offset = ParseLong(row.At(kRowOffset));
    RowExtension ext;
    const char* field = row.At(kRowExtension);
    // Packed bytes are never taken for a file: in a tagged package every row
    // must carry an extension this reader uses; in one without the tag a field
    // that names a method is damage (a tag lost), other text is passed over
    // as it always was.
    bool parsed = ParseRowExtension(field, ext);
    if (s.Extended ? !parsed || ext.Method == kMethodNone : NamesMethod(field)) s.RowsDamaged = true;
    if (!s.Extended || !parsed) memset(&ext, 0, sizeof ext);
    if (ext.Wide) {
      // 32-bit fields that disagree with the region are not what the
      // builder wrote.
      if (!WideRowAgrees(e.Length, e.Offset, ext)) s.RowsDamaged = true;
      e.Length = ext.Length;
      e.Offset = ext.Offset;
    }
    e.Method = ext.Method;
    e.Unpacked = ext.Unpacked;
    e.Crc = ext.Crc;
    e.Block = ext.Block;
    e.BlockOffset = ext.BlockOffset;
    e.Filter = ext.Filter;
    e.FilterFrom = ext.FilterFrom;
    e.FilterLength = ext.FilterLength;
    if (!s.FileList.Append(e)) break;
  }
  if (!s.Extended) return;
  s.SettingsSection = t.readPos;
  ParseSettingsSection(t, s);
}

// True when the relative path s stays below its folder: parts split at
// backslashes of their own (when separators are allowed), none of them made
// of dots and spaces only, no colon or slash anywhere, no leading backslash.
// The parts judged here are the parts the file system is given: only whole
// code page 936 text converts to UTF-16 pair for character (IsWholeTextMb),
// so other text, whose lost bytes each system converts its own way, is
// refused.
static bool StaysBelow(const char* s, bool separators) {
  if (s[0] == '\\' || !IsWholeTextMb(s)) return false;
  int partStart = 0;
  bool onlyDots = true;
  for (int i = 0;; i += CharWidthMb(s + i)) {
    char c = s[i];
    if (c == 0 || c == '\\') {
      if (i > partStart && onlyDots) return false;
      if (c == 0) return true;
      if (!separators) return false;
      partStart = i + 1;
      onlyDots = true;
      continue;
    }
    if (c == ':' || c == '/') return false;
    if (c != '.' && c != ' ') onlyDots = false;
  }
}

bool IsContainedEntry(const FileEntry& e) {
  return e.Name[0] && StaysBelow(e.Name, false) && StaysBelow(e.SubDir, true);
}
