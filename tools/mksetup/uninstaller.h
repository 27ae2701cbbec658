// The uninstaller a package carries (uninstaller.region): made by the builder
// exactly as the setup makes ridkit.exe (AssembleUninstaller, common/container,
// on the package's own settings, picture and icon), signed with the setup
// file, and put into the payload before the index.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "common/package.h"
#include "sign.h"

// The uninstaller the setup writes for a package that carries none: the
// program (resource EXE 138 of its setup program, unpacked), the settings of
// its index, and the picture and icon read from the package at modulePath
// (the setup file, or the one being written). False with the reason.
bool AssembleFor(const PackageSettings& settings, const std::string& program, const std::string& modulePath,
                 std::string& image, std::string& error);

// The uninstaller the setup of the opened package would assemble (its carried
// one left aside): its setup program's uninstaller, its settings, its picture
// and icon.
bool AssembledUninstaller(const CPackage& package, std::string& image, std::string& error);
// The uninstaller the setup of the opened package writes: the one it carries,
// unpacked and checked, else the one it assembles.
bool SetupsUninstaller(const CPackage& package, std::string& image, std::string& error);

// Where the payload of the opened package starts: the seal says so; in a
// package without one, the first region (what lies before it is the setup
// program).
int64_t PayloadStartOf(const CPackage& package);
// The package's setup program: its bytes before the payload.
bool ReadSetupProgram(const CPackage& package, std::string& stub, std::string& error);

// "" when given is expected signed: the same bytes but for the three places
// Authenticode signing changes (the header's checksum, the certificate
// table's entry in the data directories, and the certificate table itself,
// appended after at most 7 zero bytes of padding), the table holding a
// signature; else what is wrong with it.
std::string SignedCopyProblem(const std::string& expected, const std::string& given);

// Signs the uninstaller in image through the signing tool (SignFile), in a
// temporary file in folder; image becomes the signed file.
bool SignUninstaller(std::string& image, const std::string& folder, const SignOptions& options, std::string& error);

// Writes into the new file output (open as the descriptor out) the package
// at input (opened as package) carrying uninstaller: the payload as it was
// (less an uninstaller it carried at its end), the uninstaller packed after
// it, the index with uninstaller.region and the trailer with a new seal. A
// package without the extension gets it (the tag, every row's checksum, the
// seal). The payload's checksum is checked on the way. False with the reason.
bool WriteCarrying(const std::string& input, const CPackage& package, const std::string& uninstaller, int out,
                   std::string& error);

// The uninstaller region for bytes (packed when that makes them smaller) at
// offset: its reference and the bytes to write there.
RegionRef UninstallerRegion(const std::string& uninstaller, int64_t offset, std::string& stored);

// What inspect says of the uninstaller a package carries.
struct CarriedUninstaller {
  bool present = false;    // the settings name one (uninstaller.region)
  std::string reference;   // as stored
  bool readable = false;   // it reads and its bytes are what the reference says
  int64_t size = 0;        // unpacked
  bool expected = false;   // it is what the package's setup assembles, signed or not
  SignatureInfo signature;
};
// Reads and checks the uninstaller the package at path carries, its problems
// into problems (damaged: the setup refuses the package).
CarriedUninstaller CheckCarriedUninstaller(const std::string& path, std::vector<std::pair<std::string, bool>>& problems);
