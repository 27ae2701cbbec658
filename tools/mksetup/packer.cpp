#include "packer.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "LzmaEnc.h"
#include "hostfs.h"

namespace {

void* Alloc(void*, size_t size) { return malloc(size); }
void Free(void*, void* p) { free(p); }
ISzAlloc allocator = {Alloc, Free};

// The file's bytes for the encoder, counted and checksummed on the way.
struct InStream {
  ISeqInStream base;
  int fd = -1;
  const std::string* data = nullptr;  // a small file read while planning
  size_t pos = 0;
  uint64_t limit = 0;  // the size the file had when checked: no more is read
  uint64_t read = 0;
  unsigned long crc = 0;
  int error = 0;
};

SRes ReadIn(void* p, void* buf, size_t* size) {
  InStream* s = static_cast<InStream*>(p);
  size_t n = 0;
  if (s->data) {
    n = std::min(*size, s->data->size() - s->pos);
    memcpy(buf, s->data->data() + s->pos, n);
    s->pos += n;
  } else {
    // A file that grows (a log being written) is read to the size it had
    // when checked, never on to its moving end.
    size_t want = static_cast<size_t>(std::min<uint64_t>(*size, s->limit - s->read));
    ssize_t got = 0;
    if (want) do got = read(s->fd, buf, want);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
      s->error = errno;
      return SZ_ERROR_READ;
    }
    n = static_cast<size_t>(got);
  }
  s->crc = Crc32Update(s->crc, buf, n);
  s->read += n;
  *size = n;
  return SZ_OK;
}

// The encoder's output: into memory, then into a temporary file.
struct OutStream {
  ISeqOutStream base;
  PackedFile* out;
  bool failed = false;
  // Once the output is as large as the input the file is stored: no need to
  // keep what comes.
  int64_t limit = 0;
};

size_t WriteOut(void* p, const void* buf, size_t size) {
  OutStream* s = static_cast<OutStream*>(p);
  PackedFile& f = *s->out;
  const char* b = static_cast<const char*>(buf);
  f.size += static_cast<int64_t>(size);
  if (f.size > s->limit) return 0;  // stops the encoder: stored instead
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

}  // namespace

bool PackedFile::CopyTo(const std::function<bool(const char*, size_t)>& write, std::string& error) const {
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

std::string PackBytes(const std::string& bytes) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = kLzmaLevel;
  props.dictSize = kLzmaDictionary;
  props.reduceSize = static_cast<uint32_t>(std::min<size_t>(bytes.size(), 0xFFFFFFFFu));
  props.numThreads = 1;
  std::string out(bytes.size() + LZMA_PROPS_SIZE, '\0');
  SizeT propsSize = LZMA_PROPS_SIZE, size = bytes.size();
  // The output's room is the input's size: a stream that does not fit is no gain.
  SRes res = LzmaEncode(reinterpret_cast<Byte*>(&out[LZMA_PROPS_SIZE]), &size,
                        reinterpret_cast<const Byte*>(bytes.data()), bytes.size(), &props,
                        reinterpret_cast<Byte*>(&out[0]), &propsSize, 0, nullptr, &allocator, &allocator);
  if (res != SZ_OK || propsSize != LZMA_PROPS_SIZE || size + LZMA_PROPS_SIZE >= bytes.size()) return "";
  out.resize(size + LZMA_PROPS_SIZE);
  return out;
}

Packer::Packer(const Plan& plan, unsigned workers) : plan_(plan) {
  slot_.assign(plan.files.size(), SIZE_MAX);
  // The files' regions, in output order (which is row order).
  for (size_t r = 0; r < plan.regions.size(); r++) {
    int i = plan.regions[r].file;
    if (i >= 0 && plan.files[static_cast<size_t>(i)].method == kMethodLzma) {
      slot_[static_cast<size_t>(i)] = order_.size();
      order_.push_back(r);
    }
  }
  results_.resize(order_.size());
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<size_t>(workers, order_.size()));
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
  for (PackedFile& f : results_)
    if (f.spill) fclose(f.spill);
}

void Packer::Work() {
  for (;;) {
    size_t k;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // At most window_ rows ahead of the writer: memory stays bounded.
      changed_.wait(lock, [&] { return stop_ || next_ >= order_.size() || next_ < released_ + window_; });
      if (stop_ || next_ >= order_.size()) return;
      k = next_++;
    }
    PackedFile result;
    Pack(order_[k], result);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result.done = true;
      results_[k] = std::move(result);
    }
    changed_.notify_all();
  }
}

const PackedFile& Packer::Wait(size_t i) {
  size_t k = slot_.at(i);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return results_[k].done; });
  return results_[k];
}

void Packer::Release(size_t i) {
  size_t k = slot_.at(i);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    PackedFile& f = results_[k];
    std::string().swap(f.head);
    if (f.spill) fclose(f.spill);
    f.spill = nullptr;
    released_ = std::max(released_, k + 1);
  }
  changed_.notify_all();
}

void Packer::Pack(size_t region, PackedFile& out) {
  const PlannedRegion& f = plan_.regions[region];
  const std::string& key = f.what;
  InStream in;
  in.base.Read = ReadIn;
  if (f.cached) {
    in.data = &f.data;
  } else {
    in.fd = OpenRead(f.source);
    if (in.fd < 0) {
      out.error = key + ": cannot open " + f.source + ": " + strerror(errno);
      return;
    }
    in.limit = static_cast<uint64_t>(f.length);
  }
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = kLzmaLevel;
  props.dictSize = kLzmaDictionary;
  props.reduceSize = f.length < 0xFFFFFFFFLL ? static_cast<uint32_t>(f.length) : 0xFFFFFFFFu;
  props.numThreads = 1;
  props.writeEndMark = 0;
  OutStream os;
  os.base.Write = WriteOut;
  os.out = &out;
  os.limit = f.length;
  CLzmaEncHandle enc = LzmaEnc_Create(&allocator);
  SRes res = enc ? LzmaEnc_SetProps(enc, &props) : SZ_ERROR_MEM;
  Byte header[LZMA_PROPS_SIZE];
  SizeT headerSize = sizeof header;
  if (res == SZ_OK) res = LzmaEnc_WriteProperties(enc, header, &headerSize);
  if (res == SZ_OK && WriteOut(&os, header, headerSize) != headerSize) res = SZ_ERROR_WRITE;
  if (res == SZ_OK) res = LzmaEnc_Encode(enc, &os.base, &in.base, nullptr, &allocator, &allocator);
  if (enc) LzmaEnc_Destroy(enc, &allocator, &allocator);
  bool stored = out.size > os.limit;
  if (stored) {
    // Packed it would be larger: the writer copies the file as it is and
    // checksums it then.
    std::string().swap(out.head);
    if (out.spill) fclose(out.spill);
    out.spill = nullptr;
    out.unpacked = out.size = f.length;
  } else {
    out.unpacked = static_cast<int64_t>(in.read);
    out.crc = static_cast<uint32_t>(in.crc);
  }
  // Bytes beyond that size: the file grew while it was packed.
  char more = 0;
  ssize_t beyond = 0;
  if (in.fd >= 0 && !stored && res == SZ_OK) {
    do beyond = read(in.fd, &more, 1);
    while (beyond < 0 && errno == EINTR);
  }
  if (in.fd >= 0) close(in.fd);
  if (stored) return;
  if (res == SZ_ERROR_READ || in.error)
    out.error = key + ": reading " + f.source + " failed: " + strerror(in.error);
  else if (os.failed)
    out.error = std::string("writing packed data to a temporary file failed: ") + strerror(errno);
  else if (res != SZ_OK)
    out.error = key + ": packing failed (LZMA error " + std::to_string(res) + ")";
  else if (out.unpacked != f.length || beyond > 0)
    out.error = key + ": " + f.source + " changed while being packed (" + std::to_string(f.length) +
                " bytes when checked, " + (beyond > 0 ? std::string("more") : std::to_string(out.unpacked)) +
                " now)";
}
