#include "packer.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "LzmaEnc.h"
#include "common/x86filter.h"
#include "hostfs.h"

namespace {

void* Alloc(void*, size_t size) { return malloc(size); }
void Free(void*, void* p) { free(p); }
ISzAlloc allocator = {Alloc, Free};

// A block's bytes for the encoder: its slices one after another, each file
// read to the size it had when it was checked and checksummed on the way (the
// file's real bytes), a program's code passed through the x86 filter (its
// part in this block on its own: RowFilterPart), and the block's checksum of
// the bytes as handed out.
struct BlockIn {
  ISeqInStream base;
  const Plan* plan = nullptr;
  const PlannedBlock* block = nullptr;
  size_t slice = 0;      // the slice being read
  int64_t sliceRead = 0;
  int fd = -1;
  unsigned long crc = 0, sliceCrc = 0;
  std::vector<uint32_t> sliceCrcs;
  int64_t read = 0;
  std::string error;  // why reading failed
  // Bytes of the slices as handed out, from ready to filled.
  std::vector<unsigned char> stage = std::vector<unsigned char>(1 << 20);
  size_t ready = 0, filled = 0;
  // The filter over the part of a file's code in this block: the bytes read
  // but not yet final, and the range position of the first of them.
  CX86Filter filter;
  unsigned char carry[8];
  size_t carried = 0;
  unsigned long position = 0;

  ~BlockIn() {
    if (fd >= 0) close(fd);
  }

  // Moves past the slices read to their end; false at the end of the block
  // or on failure.
  bool Advance() {
    while (slice < block->slices.size() && error.empty()) {
      const BlockSlice& s = block->slices[slice];
      const PlannedFile& f = plan->files[s.file];
      if (sliceRead < s.length) return true;
      // A file that grew meanwhile is not packed to some size it passed.
      if (fd >= 0 && s.from + s.length == f.unpacked) {
        char more;
        ssize_t beyond;
        do beyond = ::read(fd, &more, 1);
        while (beyond < 0 && errno == EINTR);
        if (beyond > 0) {
          error = f.key + ": " + f.source + " changed while being packed (" + std::to_string(f.unpacked) +
                  " bytes when checked, more now)";
          return false;
        }
      }
      if (fd >= 0) close(fd);
      fd = -1;
      sliceCrcs.push_back(static_cast<uint32_t>(sliceCrc));
      sliceCrc = 0;
      sliceRead = 0;
      slice++;
    }
    return false;
  }

  // Raw bytes of the current slice into p (at most n); 0 on failure.
  size_t ReadRaw(unsigned char* p, size_t n) {
    const BlockSlice& s = block->slices[slice];
    const PlannedFile& f = plan->files[s.file];
    size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), s.length - sliceRead));
    size_t got = 0;
    if (f.cached) {
      if (s.from + s.length > static_cast<int64_t>(f.data.size())) {
        error = f.key + ": " + f.source + " changed while being packed";
        return 0;
      }
      memcpy(p, f.data.data() + s.from + sliceRead, want);
      got = want;
    } else {
      if (fd < 0) {
        fd = OpenRead(f.source);
        if (fd < 0 || !SeekTo(fd, s.from)) {
          error = f.key + ": cannot open " + f.source + ": " + strerror(errno);
          return 0;
        }
      }
      ssize_t r;
      do r = ::read(fd, p, want);
      while (r < 0 && errno == EINTR);
      if (r < 0) {
        error = f.key + ": reading " + f.source + " failed: " + strerror(errno);
        return 0;
      }
      if (r == 0) {
        error = f.key + ": " + f.source + " changed while being packed (" + std::to_string(f.unpacked) +
                " bytes when checked, " + std::to_string(s.from + sliceRead) + " now)";
        return 0;
      }
      got = static_cast<size_t>(r);
    }
    sliceCrc = Crc32Update(sliceCrc, p, got);
    sliceRead += static_cast<int64_t>(got);
    read += static_cast<int64_t>(got);
    return got;
  }

  // The next bytes as handed out into p (room for n, at least 16); 0 at the
  // end of the block or on failure. Bytes outside a file's code come as they
  // are, up to where the code starts; the code's come through the filter, as
  // many as are final (all at the end of its part).
  size_t ReadNext(unsigned char* p, size_t n) {
    for (;;) {
      if (!Advance()) return 0;
      const BlockSlice& s = block->slices[slice];
      const PlannedFile& f = plan->files[s.file];
      int64_t at = s.from + sliceRead;  // in the file
      long long from = 0, length = 0, pos = 0;
      bool part = f.codeLength > 0 && RowFilterPart(f.codeFrom, f.codeLength, s.from, s.length, from, length, pos);
      if (!part || at < from || at >= from + length) {
        int64_t upTo = part && at < from ? from : s.from + s.length;
        return ReadRaw(p, static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), upTo - at)));
      }
      if (at == from) {
        filter = CX86Filter();
        carried = 0;
        position = static_cast<unsigned long>(pos);
      }
      memcpy(p, carry, carried);
      size_t got = ReadRaw(p + carried, static_cast<size_t>(std::min<int64_t>(
                                             static_cast<int64_t>(n - carried), from + length - at)));
      if (!got) return 0;
      size_t have = carried + got;
      size_t done = filter.Encode(p, have, position);
      if (at + static_cast<int64_t>(got) == from + length) done = have;  // the part's last bytes stay
      position += static_cast<unsigned long>(done);
      carried = have - done;
      memcpy(carry, p + done, carried);
      if (done) return done;
    }
  }

  static SRes Read(void* p, void* buf, size_t* size) {
    BlockIn* in = static_cast<BlockIn*>(p);
    if (in->ready == in->filled) {
      in->ready = in->filled = 0;
      while (in->filled + 16 <= in->stage.size()) {
        size_t got = in->ReadNext(in->stage.data() + in->filled, in->stage.size() - in->filled);
        if (!got) break;
        in->crc = Crc32Update(in->crc, in->stage.data() + in->filled, got);
        in->filled += got;
      }
    }
    if (!in->error.empty()) return SZ_ERROR_READ;
    size_t n = std::min(*size, in->filled - in->ready);
    memcpy(buf, in->stage.data() + in->ready, n);
    in->ready += n;
    *size = n;
    return SZ_OK;
  }
};

// The encoder's output: into memory, then into a temporary file.
struct OutStream {
  ISeqOutStream base;
  PackedBlock* out;
  bool failed = false;
};

size_t WriteOut(void* p, const void* buf, size_t size) {
  OutStream* s = static_cast<OutStream*>(p);
  PackedBlock& f = *s->out;
  const char* b = static_cast<const char*>(buf);
  f.size += static_cast<int64_t>(size);
  size_t room = kPackedInMemory > f.head.size() ? kPackedInMemory - f.head.size() : 0;
  size_t n = std::min(room, size);
  f.head.append(b, n);
  if (n < size) {
    if (!f.spill) f.spill = AnonymousTempFile();
    if (!f.spill || fwrite(b + n, 1, size - n, f.spill) != size - n) {
      s->failed = true;
      return 0;
    }
  }
  return size;
}

// Multiplication of two polynomials mod the CRC's, both bit-reflected.
uint32_t MultiplyMod(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 1u << 31; bit; bit >>= 1) {
    if (a & bit) product ^= b;
    b = b & 1 ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return product;
}

}  // namespace

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, int64_t lengthB) {
  // crcA moved past lengthB zero bytes (times x^(8 lengthB) mod P, by
  // squaring), then crcB added.
  uint32_t power = 1u << 31;   // x^0
  uint32_t square = 1u << 23;  // x^8: one byte
  for (uint64_t n = static_cast<uint64_t>(lengthB); n; n >>= 1) {
    if (n & 1) power = MultiplyMod(power, square);
    square = MultiplyMod(square, square);
  }
  return MultiplyMod(crcA, power) ^ crcB;
}

bool PackedBlock::CopyTo(const std::function<bool(const char*, size_t)>& write, std::string& error) const {
  if (!write(head.data(), head.size())) return false;
  if (!spill) return true;
  if (fflush(spill) != 0 || fseek(spill, 0, SEEK_SET) != 0) {
    error = std::string("reading back packed data failed: ") + strerror(errno);
    return false;
  }
  std::vector<char> buf(1 << 20);
  int64_t left = size - static_cast<int64_t>(head.size());
  while (left > 0) {
    size_t n = fread(buf.data(), 1, static_cast<size_t>(std::min<int64_t>(left, buf.size())), spill);
    if (n == 0) {
      error = "reading back packed data failed";
      return false;
    }
    if (!write(buf.data(), n)) return false;
    left -= static_cast<int64_t>(n);
  }
  return true;
}

Packer::Packer(const Plan& plan, unsigned workers) : plan_(plan) {
  results_.resize(plan.blocks.size());
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<size_t>(workers, plan.blocks.size()));
  window_ = std::max<size_t>(workers, 1);
  for (unsigned w = 0; w < workers; w++) threads_.emplace_back([this] { Work(); });
}

Packer::~Packer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
  for (PackedBlock& f : results_)
    if (f.spill) fclose(f.spill);
}

void Packer::Work() {
  for (;;) {
    size_t k;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // At most window_ blocks ahead of the writer: memory stays bounded.
      changed_.wait(lock, [&] { return stop_ || next_ >= results_.size() || next_ < released_ + window_; });
      if (stop_ || next_ >= results_.size()) return;
      k = next_++;
    }
    PackedBlock result;
    Pack(k, result);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result.done = true;
      results_[k] = std::move(result);
    }
    changed_.notify_all();
  }
}

const PackedBlock& Packer::Wait(size_t b) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return results_.at(b).done; });
  return results_[b];
}

void Packer::Release(size_t b) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    PackedBlock& f = results_.at(b);
    std::string().swap(f.head);
    if (f.spill) fclose(f.spill);
    f.spill = nullptr;
    released_ = std::max(released_, b + 1);
  }
  changed_.notify_all();
}

void Packer::Pack(size_t b, PackedBlock& out) {
  const PlannedBlock& block = plan_.blocks[b];
  const LevelSettings& level = LevelOf(plan_.level);
  BlockIn in;
  in.base.Read = BlockIn::Read;
  in.plan = &plan_;
  in.block = &block;
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = level.encoderLevel;
  // The dictionary is the block: every match within it can be found, and the
  // setup, which unpacks the block whole into memory, needs no more.
  props.dictSize = static_cast<uint32_t>(std::max<int64_t>(block.unpacked, 4096));
  props.fb = level.fastBytes;
  if (level.matchCycles) props.mc = static_cast<unsigned>(level.matchCycles);
  props.pb = level.posBits;
  props.lc = block.programs ? kProgramLiteralBits : kLiteralBits;
  props.reduceSize = static_cast<uint32_t>(block.unpacked);
  props.numThreads = 1;
  props.writeEndMark = 0;
  OutStream os;
  os.base.Write = WriteOut;
  os.out = &out;
  CLzmaEncHandle enc = LzmaEnc_Create(&allocator);
  SRes res = enc ? LzmaEnc_SetProps(enc, &props) : SZ_ERROR_MEM;
  Byte header[LZMA_PROPS_SIZE];
  SizeT headerSize = sizeof header;
  if (res == SZ_OK) res = LzmaEnc_WriteProperties(enc, header, &headerSize);
  if (res == SZ_OK && WriteOut(&os, header, headerSize) != headerSize) res = SZ_ERROR_WRITE;
  if (res == SZ_OK) res = LzmaEnc_Encode(enc, &os.base, &in.base, nullptr, &allocator, &allocator);
  if (enc) LzmaEnc_Destroy(enc, &allocator, &allocator);
  out.unpacked = in.read;
  out.crc = static_cast<uint32_t>(in.crc);
  out.sliceCrcs = std::move(in.sliceCrcs);
  if (!in.error.empty())
    out.error = in.error;
  else if (os.failed)
    out.error = std::string("writing packed data to a temporary file failed: ") + strerror(errno);
  else if (res != SZ_OK)
    out.error = "block " + std::to_string(b + 1) + ": packing failed (LZMA error " + std::to_string(res) + ")";
  else if (out.unpacked != block.unpacked || out.sliceCrcs.size() != block.slices.size())
    out.error = "block " + std::to_string(b + 1) + ": its files changed while being packed";
}
