// Signing a finished setup file with a code-signing certificate, and reading a
// signature back, through the osslsigncode program (on Windows: signtool, of
// the Windows SDK, found on the PATH).
#pragma once
#include <string>

struct SignOptions {
  std::string certificate;   // a PKCS#12 file (.pfx)
  std::string passwordFile;  // its password on the first line; empty: none
  std::string timestampUrl;  // an RFC 3161 time-stamping service; empty: none
};

// Signs input into output (which may be input itself; a link is written
// through): the signed file, with the permissions of input, appears at
// output only when signing succeeded. False with the reason otherwise.
bool SignFile(const std::string& input, const std::string& output, const SignOptions& options, std::string& error);

struct SignatureInfo {
  bool present = false;  // the file has a certificate table
  bool damaged = false;  // its header names one that cannot be (see ReadTrailer)
  bool checked = false;  // the signing tool could check it
  bool matches = false;  // the signed digest is the file's digest
  std::string subject;   // of the signing certificate, UTF-8
  std::string note;      // why it was not checked
};
SignatureInfo ReadSignature(const std::string& path);
