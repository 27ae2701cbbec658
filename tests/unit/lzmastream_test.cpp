// The LZMA decoder behind a fixed buffer: streams made by the encoder of the
// same sources (with and without a known size) and by xz come back byte for
// byte through any split of input and output; damaged and cut streams fail.
#include "common/lzmastream.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

#include "LzmaEnc.h"
#include "framework/memory.h"
#include "testutil.h"

namespace {

void* EncAlloc(void*, size_t size) { return malloc(size); }
void EncFree(void*, void* p) { free(p); }
ISzAlloc encAlloc = {EncAlloc, EncFree};

// Header (properties, size or all ones) and coded bytes, as the builder writes them.
std::string Encode(const std::string& data, bool knownSize, unsigned dict = 1 << 16) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = data.size() > (1 << 20) ? 1 : 5;
  props.dictSize = dict;
  props.writeEndMark = knownSize ? 0 : 1;
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  SizeT destLen = out.size() - LZMA_HEADER_SIZE, propsLen = LZMA_PROPS_SIZE;
  SRes res = LzmaEncode(reinterpret_cast<Byte*>(&out[LZMA_HEADER_SIZE]), &destLen,
                        reinterpret_cast<const Byte*>(data.data()), data.size(), &props,
                        reinterpret_cast<Byte*>(&out[0]), &propsLen, props.writeEndMark, 0, &encAlloc, &encAlloc);
  EXPECT_EQ(res, SZ_OK);
  unsigned long long size = knownSize ? data.size() : ~0ULL;
  for (int i = 0; i < 8; ++i) out[LZMA_PROPS_SIZE + i] = static_cast<char>(size >> (8 * i));
  out.resize(LZMA_HEADER_SIZE + destLen);
  return out;
}

std::string Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Text-like data with long repeats, as program files have.
std::string Compressible(size_t n) {
  std::string s;
  std::mt19937 gen(7);
  while (s.size() < n) s += "line " + std::to_string(gen() % 500) + " of the installer's log\r\n";
  s.resize(n);
  return s;
}

struct Streamed {
  bool ok;             // the stream ended as it should
  std::string bytes;   // what came out
  size_t leftover;     // input bytes after the stream's end
};

// Feeds the stream in pieces of inStep bytes through an output buffer of
// outStep bytes, as a copy run does with the setup file.
Streamed Stream(const std::string& coded, size_t inStep, size_t outStep) {
  CLzmaStream s;
  Streamed r = {false, std::string(), 0};
  std::string buf(outStep, '\0');
  size_t pos = 0;
  for (;;) {
    size_t n = coded.size() - pos < inStep ? coded.size() - pos : inStep;
    size_t room = outStep;
    CLzmaStream::Status st = s.Decode(coded.data() + pos, n, &buf[0], room);
    EXPECT_LE(room, outStep);
    pos += n;
    r.bytes.append(buf, 0, room);
    if (st == CLzmaStream::kDone) {
      r.ok = true;
      r.leftover = coded.size() - pos;
      return r;
    }
    if (st == CLzmaStream::kDamaged) return r;
    if (n == 0 && room == 0 && pos == coded.size()) return r;  // cut short
  }
}

std::string Buffer(const std::string& coded, size_t maxSize = 64 << 20, bool* ok = 0) {
  size_t len = 0;
  char* p = DecodeLzmaBuffer(coded.data(), coded.size(), maxSize, len);
  if (ok) *ok = p != 0;
  std::string s = p ? std::string(p, len) : std::string();
  FreeBuffer(p);
  return s;
}

}  // namespace

TEST(LzmaStream, RoundTripsThroughAnySplit) {
  const std::string inputs[] = {std::string(), "x", "abcabcabcabc", Random(70000, 1), Compressible(3 << 20)};
  for (const std::string& data : inputs) {
    for (bool known : {true, false}) {
      SCOPED_TRACE(testing::Message() << data.size() << " bytes, size " << (known ? "known" : "by end mark"));
      std::string coded = Encode(data, known);
      // Whole, in the copy run's chunks, and byte by byte for the small ones.
      Streamed whole = Stream(coded, coded.size(), data.size() + 1);
      EXPECT_TRUE(whole.ok);
      EXPECT_TRUE(whole.bytes == data);
      Streamed chunks = Stream(coded, 4093, 65536);
      EXPECT_TRUE(chunks.ok);
      EXPECT_TRUE(chunks.bytes == data);
      if (data.size() < 100000) {
        Streamed tiny = Stream(coded, 1, 3);
        EXPECT_TRUE(tiny.ok);
        EXPECT_TRUE(tiny.bytes == data);
      }
      bool ok = false;
      EXPECT_TRUE(Buffer(coded, 64 << 20, &ok) == data);
      EXPECT_TRUE(ok);
    }
  }
}

TEST(LzmaStream, ReportsSizeAndStopsAtTheStreamsEnd) {
  std::string data = Compressible(10000);
  std::string coded = Encode(data, true) + "after";
  CLzmaStream s;
  EXPECT_EQ(s.Size(), -1);
  Streamed r = Stream(coded, coded.size(), 1 << 20);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytes.size(), data.size());
  EXPECT_EQ(r.leftover, 5u);
  size_t in = coded.size(), out = 0;
  s.Decode(coded.data(), in, 0, out);
  EXPECT_EQ(s.Size(), 10000);
  // A whole buffer is the stream and nothing else.
  bool ok = true;
  Buffer(coded, 1 << 20, &ok);
  EXPECT_FALSE(ok) << "bytes after the stream";
  Buffer(Encode(data, true), 9999, &ok);
  EXPECT_FALSE(ok) << "larger than allowed, size known";
  Buffer(Encode(data, false), 9999, &ok);
  EXPECT_FALSE(ok) << "larger than allowed, up to the end mark";
  EXPECT_TRUE(Buffer(Encode(data, false), 10000, &ok) == data);
}

TEST(LzmaStream, ReadsWhatXzWritesInThisFormat) {
  // The build compresses the uninstaller with xz; the decoder must read it.
  TempDir dir;
  std::string data = Compressible(200000) + Random(5000, 3);
  ASSERT_TRUE(WriteBytes(dir.Path("plain"), data));
  std::string cmd = "xz --format=lzma --lzma1=preset=9e,dict=256KiB -c '" + dir.Path("plain") + "' > '" +
                    dir.Path("plain.lzma") + "'";
  ASSERT_EQ(system(cmd.c_str()), 0);
  std::string coded = ReadBytes(dir.Path("plain.lzma"));
  ASSERT_GT(coded.size(), static_cast<size_t>(LZMA_HEADER_SIZE));
  EXPECT_TRUE(Buffer(coded) == data);
  EXPECT_TRUE(Stream(coded, 512, 4096).bytes == data);
}

TEST(LzmaStream, DamagedOrCutStreamsFailWithoutOverrun) {
  std::string data = Compressible(300000) + Random(20000, 5);
  for (bool known : {true, false}) {
    SCOPED_TRACE(known ? "size known" : "up to the end mark");
    std::string coded = Encode(data, known);
    bool ok = true;
    // Cut anywhere: in the header, at the start, in the middle, one byte short.
    for (size_t keep : {size_t(0), size_t(7), size_t(LZMA_HEADER_SIZE), size_t(LZMA_HEADER_SIZE + 3),
                        coded.size() / 2, coded.size() - 1}) {
      SCOPED_TRACE(keep);
      std::string cut = coded.substr(0, keep);
      Buffer(cut, 64 << 20, &ok);
      EXPECT_FALSE(ok);
      Streamed r = Stream(cut, 1000, 4096);
      EXPECT_FALSE(r.ok);
      EXPECT_LE(r.bytes.size(), data.size());
    }
    // Properties out of range, a dictionary larger than allowed.
    std::string bad = coded;
    bad[0] = static_cast<char>(225);
    EXPECT_FALSE(Stream(bad, bad.size(), 4096).ok);
    bad = coded;
    bad[4] = 0x40;  // 1 GiB
    EXPECT_FALSE(Stream(bad, bad.size(), 4096).ok);
    Buffer(bad, 64 << 20, &ok);
    EXPECT_FALSE(ok);
    // Bytes flipped in the coded data: never more output than the header
    // allows, and never the wrong bytes reported as a complete stream.
    for (size_t at = LZMA_HEADER_SIZE + 1; at < coded.size(); at += coded.size() / 37) {
      bad = coded;
      bad[at] ^= 0x10;
      Streamed r = Stream(bad, 4096, 65536);
      if (known) {
        EXPECT_LE(r.bytes.size(), data.size());
      }
      EXPECT_FALSE(r.ok && r.bytes != data) << "damage at " << at << " went unnoticed";
    }
  }
  // A size in the header larger or smaller than the data.
  std::string coded = Encode(data, true);
  for (long long delta : {1LL, -1LL}) {
    std::string bad = coded;
    unsigned long long size = data.size() + delta;
    for (int i = 0; i < 8; ++i) bad[LZMA_PROPS_SIZE + i] = static_cast<char>(size >> (8 * i));
    bool ok = true;
    Buffer(bad, 64 << 20, &ok);
    EXPECT_FALSE(ok) << delta;
  }
}
