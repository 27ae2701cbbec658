// Packing files with LZMA on every core while the writer takes them in row
// order. Each worker holds one encoder and at most kPackedInMemory bytes of
// output (more goes to an unnamed temporary file), and runs at most one file
// ahead of the writer, so memory stays the same whatever the files' sizes.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plan.h"

// The encoder's settings: the decoder in the setup needs the dictionary's
// size in memory (less for files smaller than it).
constexpr uint32_t kLzmaDictionary = 8u << 20;
constexpr int kLzmaLevel = 5;
constexpr size_t kPackedInMemory = 4u << 20;

struct PackedFile {
  bool done = false;
  std::string error;   // why the file could not be packed
  uint32_t crc = 0;    // of the bytes read
  int64_t unpacked = 0;
  int64_t size = 0;    // property bytes and stream
  std::string head;    // the first bytes of the output (up to kPackedInMemory)
  FILE* spill = nullptr;  // the rest
  // Packing did not make the file smaller: it is stored instead.
  bool Stored() const { return size >= unpacked; }
  // Hands the packed bytes to write, in pieces.
  bool CopyTo(const std::function<bool(const char*, size_t)>& write, std::string& error) const;
};

// Bytes in memory packed as an lzma region holds them (the property bytes,
// then the stream, no end mark); "" when packing fails or does not make them
// smaller (they are stored then).
std::string PackBytes(const std::string& bytes);

class Packer {
 public:
  explicit Packer(const Plan& plan, unsigned workers = 0);  // 0: one per core
  ~Packer();
  // The result for file row i (a row to be packed), once it is there.
  const PackedFile& Wait(size_t i);
  // The writer is done with row i: its memory goes, the workers move on.
  void Release(size_t i);

 private:
  void Work();
  void Pack(size_t region, PackedFile& out);

  const Plan& plan_;
  std::vector<size_t> order_;  // the regions to pack, in row order
  std::vector<PackedFile> results_;
  size_t next_ = 0;      // index into order_ of the next row to start
  size_t released_ = 0;  // rows of order_ the writer is done with
  size_t window_ = 2;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  std::vector<size_t> slot_;  // file row -> index into order_
};
