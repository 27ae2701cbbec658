// Packing bytes held in memory with LZMA in one piece: the licence and the
// carried uninstaller as regions of the payload, the uninstaller as the
// stream the setup program carries in its resources. The files go through
// the packer's blocks instead (packer.h).
#pragma once
#include <stdint.h>

#include <string>

// Bytes in memory packed as an lzma region holds them (the property bytes,
// then the stream, no end mark); "" when packing fails or does not make them
// smaller (they are stored then).
std::string PackBytes(const std::string& bytes);
// The stored (scrambled) index of a package whose stub reads a packed one,
// packed in place when that makes it smaller and it unpacks to at most the
// size the setup takes; the size it unpacks to, or 0 when it stays as it is.
int64_t PackIndex(std::string& index);
// data as a whole .lzma stream (5 property bytes, the unpacked size as
// unknown, the coded bytes up to their end mark), as the setup program
// carries the uninstaller in its resources; false when the encoder fails.
bool PackLzmaStream(const std::string& data, std::string& out);
