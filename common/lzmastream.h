// LZMA decoding in pieces, for data the build or the builder compressed: the
// stream's 13-byte header (5 property bytes, then the unpacked size as 8
// little-endian bytes, all ones when the stream ends with its end mark
// instead) and the coded bytes. The decoder's memory is its dictionary (at
// most LZMA_MAX_DICTIONARY) and a few KiB, whatever the size of the data; the
// caller moves the data through buffers of its own size.
#pragma once
#include <stddef.h>

#include "framework/platform.h"

#define LZMA_HEADER_SIZE 13
// A header asking for a larger dictionary is refused as damaged.
#define LZMA_MAX_DICTIONARY (64UL << 20)

class CLzmaStream {
 public:
  enum Status {
    kMore,     // wants more input or more room
    kDone,     // the stream is complete; input after its end is left untaken
    kDamaged,  // not a stream the decoder can read (or its memory is not there); final
  };
  CLzmaStream();
  ~CLzmaStream();

  // Takes bytes from in (inLen: how many there are; on return how many were
  // taken) and writes decoded bytes to out (outLen: the room; on return how
  // many were written). Never writes past the size the header gives. When the
  // input has ended and a call with room takes and gives nothing while the
  // status is kMore, the stream was cut short.
  Status Decode(const void* in, size_t& inLen, void* out, size_t& outLen);
  // The unpacked size the header gives; -1 before the header is in or when
  // the stream ends with its end mark.
  long long Size() const;
  unsigned long long Produced() const { return m_produced; }

 private:
  CLzmaStream(const CLzmaStream&);
  CLzmaStream& operator=(const CLzmaStream&);
  bool Start();

  void* m_dec;  // the decoder's state, once the header is in
  unsigned char m_header[LZMA_HEADER_SIZE];
  unsigned m_headerLen;
  Status m_status;
  unsigned long long m_size;  // all ones: up to the end mark
  unsigned long long m_produced;
};

// Decodes a raw stream (its 5 property bytes, then the coded bytes) of a known
// unpacked size straight into a buffer of that size, the input in pieces: the
// buffer is the decoder's dictionary, so no dictionary is allocated and no
// byte is copied twice. Memory of its own: the probability tables.
class CLzmaFlatDecoder {
 public:
  CLzmaFlatDecoder();
  ~CLzmaFlatDecoder();
  // False for property bytes the decoder does not take or without memory.
  // size must not be 0.
  bool Start(const unsigned char* props, void* out, size_t size);
  // Takes coded bytes (inLen: how many there are; on return how many were
  // taken). kDone once the buffer is full and the stream ends there; when the
  // input has ended and a call takes and gives nothing while kMore comes
  // back, the stream was cut short. With step, a call gives at most about
  // that many bytes (a caller that tells its progress).
  CLzmaStream::Status Decode(const void* in, size_t& inLen, size_t step = 0);
  // The bytes in the buffer so far.
  size_t Produced() const;

 private:
  CLzmaFlatDecoder(const CLzmaFlatDecoder&);
  CLzmaFlatDecoder& operator=(const CLzmaFlatDecoder&);
  void* m_dec;
  size_t m_size;
  CLzmaStream::Status m_status;
};

// Decodes a whole stream held in memory into a heap buffer (free it with
// FreeBuffer) of outLen bytes. Null when the stream is damaged or cut short,
// when bytes follow its end, when it would unpack to more than maxSize bytes
// or when the memory is not there.
char* DecodeLzmaBuffer(const void* src, size_t srcLen, size_t maxSize, size_t& outLen);
// The same for a program packed through the x86 branch filter first (when
// filtered; positions from its first byte), as the setup carries the
// uninstaller: decoded, then the filter undone.
char* DecodeLzmaProgram(const void* src, size_t srcLen, size_t maxSize, bool filtered, size_t& outLen);

// Decodes a raw stream held in memory (its 5 property bytes, then the coded
// bytes, as an lzma region holds them) into out, exactly size bytes (not 0).
// False when the stream is damaged, cut short or ends before size.
bool DecodeLzmaRegion(const void* src, size_t srcLen, void* out, size_t size);
