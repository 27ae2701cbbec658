// The trailer at the end of a setup file (before a certificate table where
// the executable header names one), and the regions it points to.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

#include "common/container.h"
#include "framework/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  long long len = 0, seek = 0;
  size_t tail = size < TRAILER_WINDOW ? size : TRAILER_WINDOW;
  ParseTrailer(reinterpret_cast<const char*>(data) + size - tail, static_cast<int>(tail), len, seek);
  int head = size < PE_HEAD_BYTES ? static_cast<int>(size) : PE_HEAD_BYTES;
  CertificateTableStart(data, head, static_cast<long long>(size));

  // Through the file as the setup does it: trailer, then the region it names.
  static char path[64];
  if (!path[0]) snprintf(path, sizeof path, "/tmp/trailer_fuzz.%d", static_cast<int>(getpid()));
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  if (ReadTrailer(path, len, seek)) {
    long n = len;
    char* region = ReadRegion(path, n, seek);
    FreeBuffer(region);
  }
  return 0;
}
