// Packing bytes held in memory with LZMA in one piece: the licence and the
// carried uninstaller as regions of the payload, the uninstaller as the
// stream the setup program carries in its resources. The files go through
// the packer's blocks instead (packer.h).
#pragma once
#include <string>

// Bytes in memory packed as an lzma region holds them (the property bytes,
// then the stream, no end mark); "" when packing fails or does not make them
// smaller (they are stored then).
std::string PackBytes(const std::string& bytes);
// data as a whole .lzma stream (5 property bytes, the unpacked size as
// unknown, the coded bytes up to their end mark), as the setup program
// carries the uninstaller in its resources; false when the encoder fails.
bool PackLzmaStream(const std::string& data, std::string& out);
