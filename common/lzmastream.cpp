#include "lzmastream.h"

#include <string.h>

#include "LzmaDec.h"
#include "framework/memory.h"
#include "x86filter.h"

// The decoder's own memory (its probability tables and dictionary) comes from
// the same heap as every other buffer of the programs.
static void* LzmaAlloc(void*, size_t size) { return AllocBuffer(size); }
static void LzmaFree(void*, void* address) { FreeBuffer(address); }
static ISzAlloc lzmaAlloc = {LzmaAlloc, LzmaFree};

static const unsigned long long unknownSize = ~0ULL;

CLzmaStream::CLzmaStream() : m_dec(0), m_headerLen(0), m_status(kMore), m_size(unknownSize), m_produced(0) {}

CLzmaStream::~CLzmaStream() {
  if (!m_dec) return;
  LzmaDec_Free(static_cast<CLzmaDec*>(m_dec), &lzmaAlloc);
  FreeBuffer(m_dec);
}

long long CLzmaStream::Size() const {
  return m_dec && m_size != unknownSize ? static_cast<long long>(m_size) : -1;
}

// A decoder for the property bytes: with a dictionary of its own (a stream
// written out in pieces) or its probabilities only (decoding into the
// caller's buffer); null when they are no decoder's or the memory is not there.
static CLzmaDec* NewDecoder(const unsigned char* props, bool ownDictionary) {
  CLzmaDec* dec = static_cast<CLzmaDec*>(AllocBuffer(sizeof(CLzmaDec)));
  if (!dec) return 0;
  LzmaDec_Construct(dec);
  SRes made = ownDictionary ? LzmaDec_Allocate(dec, props, LZMA_PROPS_SIZE, &lzmaAlloc)
                            : LzmaDec_AllocateProbs(dec, props, LZMA_PROPS_SIZE, &lzmaAlloc);
  if (made != SZ_OK) {
    FreeBuffer(dec);
    return 0;
  }
  return dec;
}

// Reads the complete header: properties within what the decoder supports and
// a dictionary no larger than allowed, then sets up the decoder.
bool CLzmaStream::Start() {
  CLzmaProps props;
  if (LzmaProps_Decode(&props, m_header, LZMA_PROPS_SIZE) != SZ_OK) return false;
  if (props.dicSize > LZMA_MAX_DICTIONARY) return false;
  m_size = 0;
  for (int i = LZMA_HEADER_SIZE - 1; i >= LZMA_PROPS_SIZE; --i) m_size = (m_size << 8) | m_header[i];
  // A known size beyond what a signed 64-bit count holds is a damaged header.
  if (m_size != unknownSize && m_size >> 62) return false;
  CLzmaDec* dec = NewDecoder(m_header, true);
  if (!dec) return false;
  LzmaDec_Init(dec);
  m_dec = dec;
  return true;
}

CLzmaStream::Status CLzmaStream::Decode(const void* in, size_t& inLen, void* out, size_t& outLen) {
  const unsigned char* src = static_cast<const unsigned char*>(in);
  size_t avail = inLen, room = outLen;
  inLen = outLen = 0;
  if (m_status != kMore) return m_status;

  while (!m_dec) {
    if (!avail) return kMore;
    size_t n = LZMA_HEADER_SIZE - m_headerLen;
    if (n > avail) n = avail;
    memcpy(m_header + m_headerLen, src, n);
    m_headerLen += static_cast<unsigned>(n);
    src += n;
    avail -= n;
    inLen += n;
    if (m_headerLen == LZMA_HEADER_SIZE && !Start()) return m_status = kDamaged;
  }

  // With a known size the stream must end exactly there: the last call that
  // reaches it asks the decoder to finish.
  ELzmaFinishMode finish = LZMA_FINISH_ANY;
  if (m_size != unknownSize && room >= m_size - m_produced) {
    room = static_cast<size_t>(m_size - m_produced);
    finish = LZMA_FINISH_END;
  }
  SizeT destLen = room, srcLen = avail;
  ELzmaStatus st = LZMA_STATUS_NOT_SPECIFIED;
  Byte spare;  // the decoder copies zero bytes to its target even without room
  Byte* dest = out ? static_cast<Byte*>(out) : &spare;
  SRes res = LzmaDec_DecodeToBuf(static_cast<CLzmaDec*>(m_dec), dest, &destLen, src, &srcLen, finish, &st);
  inLen += srcLen;
  outLen = destLen;
  m_produced += destLen;
  if (res != SZ_OK) return m_status = kDamaged;
  if (st == LZMA_STATUS_FINISHED_WITH_MARK)
    return m_status = m_size == unknownSize || m_produced == m_size ? kDone : kDamaged;
  if (m_size != unknownSize && m_produced == m_size && st == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK)
    return m_status = kDone;
  return kMore;
}

CLzmaFlatDecoder::CLzmaFlatDecoder() : m_dec(0), m_size(0), m_status(CLzmaStream::kDamaged) {}

CLzmaFlatDecoder::~CLzmaFlatDecoder() {
  if (!m_dec) return;
  LzmaDec_FreeProbs(static_cast<CLzmaDec*>(m_dec), &lzmaAlloc);
  FreeBuffer(m_dec);
}

bool CLzmaFlatDecoder::Start(const unsigned char* props, void* out, size_t size) {
  if (m_dec || !size) return false;
  CLzmaDec* dec = NewDecoder(props, false);
  if (!dec) return false;
  dec->dic = static_cast<Byte*>(out);
  dec->dicBufSize = size;
  LzmaDec_Init(dec);
  m_dec = dec;
  m_size = size;
  m_status = CLzmaStream::kMore;
  return true;
}

size_t CLzmaFlatDecoder::Produced() const { return m_dec ? static_cast<CLzmaDec*>(m_dec)->dicPos : 0; }

CLzmaStream::Status CLzmaFlatDecoder::Decode(const void* in, size_t& inLen, size_t step) {
  if (m_status != CLzmaStream::kMore) {
    inLen = 0;
    return m_status;
  }
  CLzmaDec* dec = static_cast<CLzmaDec*>(m_dec);
  SizeT srcLen = inLen;
  ELzmaStatus st = LZMA_STATUS_NOT_SPECIFIED;
  // Short of the end the stream may stop anywhere; at the end it must end.
  size_t limit = step && m_size - dec->dicPos > step ? dec->dicPos + step : m_size;
  SRes res = LzmaDec_DecodeToDic(dec, limit, static_cast<const Byte*>(in), &srcLen,
                                 limit == m_size ? LZMA_FINISH_END : LZMA_FINISH_ANY, &st);
  inLen = srcLen;
  if (res != SZ_OK) return m_status = CLzmaStream::kDamaged;
  // An end mark before the size is reached: the stream is shorter than said.
  if (st == LZMA_STATUS_FINISHED_WITH_MARK && dec->dicPos != m_size) return m_status = CLzmaStream::kDamaged;
  if (dec->dicPos == m_size &&
      (st == LZMA_STATUS_FINISHED_WITH_MARK || st == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK))
    return m_status = CLzmaStream::kDone;
  return CLzmaStream::kMore;
}

bool DecodeLzmaRegion(const void* src, size_t srcLen, void* out, size_t size) {
  const unsigned char* in = static_cast<const unsigned char*>(src);
  if (srcLen < LZMA_PROPS_SIZE || size == 0) return false;
  CLzmaFlatDecoder dec;
  if (!dec.Start(in, out, size)) return false;
  size_t coded = srcLen - LZMA_PROPS_SIZE;
  CLzmaStream::Status st = dec.Decode(in + LZMA_PROPS_SIZE, coded);
  // The input has ended: a stream that is complete says so now.
  while (st == CLzmaStream::kMore) {
    size_t none = 0, before = dec.Produced();
    st = dec.Decode(in, none);
    if (st == CLzmaStream::kMore && dec.Produced() == before) break;
  }
  return st == CLzmaStream::kDone;
}

char* DecodeLzmaBuffer(const void* src, size_t srcLen, size_t maxSize, size_t& outLen) {
  outLen = 0;
  const unsigned char* in = static_cast<const unsigned char*>(src);
  CLzmaStream stream;
  // The header first, to size the buffer when it gives the size.
  size_t taken = srcLen < LZMA_HEADER_SIZE ? srcLen : LZMA_HEADER_SIZE;
  size_t none = 0;
  if (stream.Decode(in, taken, 0, none) != CLzmaStream::kMore || stream.Produced()) return 0;
  size_t pos = taken;
  // A stream up to its end mark gets one byte of room beyond the limit, so
  // that reaching the mark and going past the limit can be told apart.
  size_t limit = maxSize < static_cast<size_t>(-1) ? maxSize + 1 : maxSize;
  size_t cap;
  if (stream.Size() >= 0) {
    if (static_cast<unsigned long long>(stream.Size()) > maxSize) return 0;
    cap = static_cast<size_t>(stream.Size());
  } else {
    cap = srcLen < limit / 4 ? srcLen * 4 : limit;
    if (cap < 4096 && limit >= 4096) cap = 4096;
  }
  char* buf = static_cast<char*>(AllocBuffer(cap));
  if (!buf) return 0;
  size_t len = 0;
  for (;;) {
    size_t n = srcLen - pos, room = cap - len;
    CLzmaStream::Status st = stream.Decode(in + pos, n, buf + len, room);
    pos += n;
    len += room;
    if (st == CLzmaStream::kDone && pos == srcLen && len <= maxSize) break;
    if (st != CLzmaStream::kMore || len > maxSize) {
      FreeBuffer(buf);
      return 0;
    }
    if (n || room) continue;
    // No progress: cut short, unless the buffer is full and may grow.
    if (len < cap || stream.Size() >= 0 || cap >= limit) {
      FreeBuffer(buf);
      return 0;
    }
    size_t grown = cap <= limit / 2 ? cap * 2 : limit;
    char* bigger = static_cast<char*>(AllocBuffer(grown));
    if (bigger) memcpy(bigger, buf, len);
    FreeBuffer(buf);
    if (!bigger) return 0;
    buf = bigger;
    cap = grown;
  }
  outLen = len;
  return buf;
}

char* DecodeLzmaProgram(const void* src, size_t srcLen, size_t maxSize, bool filtered, size_t& outLen) {
  char* program = DecodeLzmaBuffer(src, srcLen, maxSize, outLen);
  if (program && filtered) CX86Filter().Decode(reinterpret_cast<unsigned char*>(program), outLen, 0);
  return program;
}
