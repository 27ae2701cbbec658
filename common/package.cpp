#include "package.h"

#include <string.h>

#include "framework/memory.h"
#include "lzmastream.h"
#include "packagefile.h"

CPackage::CPackage() : IndexRead(false), IndexMatches(false), IndexUnpacked(0) {
  memset(&Seal, 0, sizeof Seal);
  Index.Offset = Index.Length = 0;
}

PackageOpenResult CPackage::Open(const char* path, long long indexLimit) {
  PackageOpenResult opened = OpenIndex(path, indexLimit);
  if (!IndexRead) return opened;
  CFieldTable table;
  ReadIndex(table);
  ParsePackageIndex(table, *this);
  if (opened == kPackageOpened && !ExtensionConsistent(*this, Seal, Index.Offset)) return kPackageDamaged;
  if (opened == kPackageOpened && LicenceRegion.Method != kMethodNone) {
    CPackageFile file;
    char* text = 0;
    ExtractResult read = file.Open(path) ? file.ReadRegion(LicenceRegion, LICENCE_TEXT_LIMIT, text) : kExtractFailed;
    // One that cannot be read for want of memory leaves the licence line.
    if (read == kExtractDamaged) return kPackageDamaged;
    Licence = text ? text : "";
    FreeBuffer(text);
  }
  return opened;
}

PackageOpenResult CPackage::OpenIndex(const char* path, long long indexLimit) {
  Path = path;
  CStoredTable stored;
  if (!stored.Read(path, indexLimit)) return kPackageNoTrailer;
  Seal = stored.Seal;
  Index = stored.Where;
  IndexRead = stored.Bytes() != 0;
  IndexMatches = !Seal.Present ||
                 (IndexRead && Crc32Update(0, stored.Bytes(), static_cast<size_t>(stored.Length())) == Seal.IndexCrc);
  // A sealed index is checked before anything of it is used: a seal that
  // does not read, an index of no bytes and one that does not match are
  // damage.
  bool sealHolds = !Seal.Present || (IndexMatches && Seal.Valid && Index.Length > 0);
  if (!IndexRead) return Seal.Present ? kPackageDamaged : kPackageNoIndex;
  CFieldTable table;
  if (Seal.Valid && Seal.IndexMethod == kMethodLzma) {
    // Unpacked as a damaged plain index is read, whatever its checksum, but
    // never past the size the seal gives, which is held to the limits first.
    long long size = Seal.IndexUnpacked;
    char* text = 0;
    if (size > 0 && size <= PACKED_INDEX_MAX && size <= indexLimit)
      text = static_cast<char*>(AllocBuffer(static_cast<size_t>(size)));
    bool unpacked = text && DecodeLzmaRegion(stored.Bytes(), static_cast<size_t>(stored.Length()), text,
                                             static_cast<size_t>(size));
    if (unpacked) {
      // Unscrambled where it was unpacked: the index is not copied twice.
      UnscrambleBuffer(reinterpret_cast<unsigned char*>(text), static_cast<int>(size), TABLE_KEY);
      table.text.Append(text, static_cast<int>(strnlen(text, static_cast<size_t>(size))));
      IndexUnpacked = size;
    }
    FreeBuffer(text);
    if (!unpacked) return kPackageDamaged;
  } else {
    stored.Load(table);
    IndexUnpacked = stored.Length();
  }
  m_indexText = table.text;
  return sealHolds ? kPackageOpened : kPackageDamaged;
}


char* CPackage::ReadRegion(const FileRegion& region, long& length) const {
  if (region.Offset < 0 || region.Offset > 0x7FFFFFFFLL || region.Length < -1 || region.Length > 0x7FFFFFFFLL)
    return 0;
  length = static_cast<long>(region.Length);
  return ::ReadRegion(Path, length, region.Offset);
}

void CPackage::ReadIndex(CFieldTable& table) const {
  table.text = m_indexText;
  table.readPos = 0;
}

bool CPackage::ReadSettingsSection(CFieldTable& table) const {
  ReadIndex(table);
  if (SettingsSection < 0) {
    table.text.Empty();
    return false;
  }
  table.readPos = SettingsSection;
  return true;
}

bool ExtensionConsistent(const PackageSettings& s, const PackageSeal& seal, long long indexOffset) {
  if (!s.Extended && !seal.Present) return !s.RowsDamaged;
  if (!s.Extended || !seal.Valid || s.RowsDamaged || seal.PayloadStart < 0 || seal.PayloadStart > indexOffset)
    return false;
  // The carried uninstaller lies in the payload, which the payload checksum
  // covers: a changed byte of it is found before anything is installed.
  const RegionRef& u = s.UninstallerRegion;
  return (u.Method == kMethodNone ||
          (u.Offset >= seal.PayloadStart && u.Length <= indexOffset - u.Offset && u.Offset <= indexOffset)) &&
         BlocksConsistent(s, seal.PayloadStart, indexOffset);
}

bool WriteCarriedUninstaller(const CPackage& package, const char* installDir) {
  const RegionRef& region = package.UninstallerRegion;
  CPackageFile file;
  char* image = 0;
  bool read = region.Method != kMethodNone && file.Open(package.Path) &&
              file.ReadRegion(region, static_cast<size_t>(kUninstallerImageMax), image) == kExtractDone;
  bool ok = WriteUninstallerFile(installDir, read ? image : 0, static_cast<long>(region.Unpacked));
  FreeBuffer(image);
  return ok;
}
