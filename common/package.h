// A setup file opened as a package: the settings and the file list its index
// holds, with where they came from (the file's path, the trailer's seal, where
// the index stands). The index is read once, into memory. Every reader of a
// setup file opens it through this value: the setup's start-up and its
// unattended run, the copy run (which takes it whole), mksetup inspect and
// extract, the tests and the benchmarks.
#pragma once
#include "container.h"
#include "fieldtable.h"
#include "framework/cstring.h"
#include "framework/platform.h"
#include "packageext.h"
#include "packageindex.h"

enum PackageOpenResult {
  kPackageOpened,
  kPackageNoTrailer,  // no trailer (or no file): not a setup file
  kPackageNoIndex,    // the trailer points at bytes that cannot be read
  // A sealed index that is not what the seal says (or cannot be read), or
  // tag, seal and rows that disagree: nothing of it may be used.
  kPackageDamaged,
};

class CPackage : public PackageSettings {
 public:
  CPackage();

  // Opens the setup file at path (once, on a new value): OpenIndex, then the
  // index parsed into the settings and the file list, and tag, seal and rows
  // checked against each other; the whole licence read when the package
  // names one (a licence that is not what its reference says is damage). A
  // damaged package is parsed all the same, but a program uses nothing of it.
  PackageOpenResult Open(const char* path, long long indexLimit = kIndexLimit);
  // Only the trailer, its seal and the index's bytes (at most indexLimit of
  // them), checked against the seal, and a packed index unpacked (to at most
  // indexLimit and PACKED_INDEX_MAX bytes; one that does not unpack is
  // damage, with no text); nothing parsed. A reader that walks the index a
  // row at a time (mksetup inspect) opens it so.
  PackageOpenResult OpenIndex(const char* path, long long indexLimit = kIndexLimit);

  // The bytes of a region of the setup file (a picture, the icon) in a heap
  // buffer of length + 1 bytes (free it with FreeBuffer); null when the
  // region does not lie wholly inside the file.
  char* ReadRegion(const FileRegion& region, long& length) const;
  // The index's text, unscrambled, in table, from its first field.
  void ReadIndex(CFieldTable& table) const;
  // The settings section of an extended package, in table, from its first
  // key (read it with NextSetting). False (table empty) when the package has
  // none.
  bool ReadSettingsSection(CFieldTable& table) const;

  CString Path;       // the setup file
  PackageSeal Seal;   // the trailer's seal (not Present without the extension)
  FileRegion Index;   // where the index is stored; the payload ends where it starts
  bool IndexRead;     // the index's bytes were read
  bool IndexMatches;  // their checksum is the seal's (true for a package without one)
  // The bytes of the index's text: the stored ones, or for a packed index
  // those it unpacked to (0 when it did not unpack).
  long long IndexUnpacked;
  // The whole licence (code page 936, lines ended by CR LF) when the package
  // names one (LicenceRegion); empty otherwise: the licence line is all.
  CString Licence;

  // An index larger than this is not one the programs read.
  static const long long kIndexLimit = 0x7FFFFFF0LL;

 private:
  CPackage(const CPackage&);
  CPackage& operator=(const CPackage&);
  CString m_indexText;
};

// The regions of a package's pictures and icon.
inline FileRegion PictureRegion(const PackageSettings& s) {
  FileRegion r = {s.PictureOffset, s.PictureLength};
  return r;
}
inline FileRegion IconRegion(const PackageSettings& s) {
  FileRegion r = {s.IconOffset, s.IconLength};
  return r;
}
inline FileRegion SplashPictureRegion(const PackageSettings& s) {
  FileRegion r = {s.SplashPictureOffset, s.SplashPictureLength};
  return r;
}

// True when tag, seal and rows agree: no tag and no seal, or both (the seal
// well-formed, its payload start before the index) with every row extended,
// the carried uninstaller, if any, inside the payload, and the blocks of
// solid packing in the payload with the rows that use them (BlocksConsistent).
bool ExtensionConsistent(const PackageSettings& settings, const PackageSeal& seal, long long indexOffset);

// Writes the uninstaller the package carries (UninstallerRegion: signed with
// the setup file) into installDir as ridkit.exe, as it is once its length
// and checksum matched; the payload checksum has covered it before any file
// was written. False, with no ridkit.exe left, when the region cannot be
// read or is not what it says, or the file cannot be written.
bool WriteCarriedUninstaller(const CPackage& package, const char* installDir);
