// Packing the blocks of solid packing with LZMA on every core while the
// writer takes them in order. Each worker holds one encoder and at most
// kPackedInMemory bytes of output (more goes to an unnamed temporary file),
// and runs at most one block ahead of the writer, so memory stays the same
// whatever the files' sizes.
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

constexpr size_t kPackedInMemory = 4u << 20;

struct PackedBlock {
  bool done = false;
  std::string error;   // why the block could not be packed
  uint32_t crc = 0;    // of its unpacked bytes
  std::vector<uint32_t> sliceCrcs;  // of each slice's bytes, in order
  int64_t unpacked = 0;
  int64_t size = 0;    // property bytes and stream
  std::string head;    // the first bytes of the output (up to kPackedInMemory)
  FILE* spill = nullptr;  // the rest
  // Hands the packed bytes to write, in pieces.
  bool CopyTo(const std::function<bool(const char*, size_t)>& write, std::string& error) const;
};

class Packer {
 public:
  explicit Packer(const Plan& plan, unsigned workers = 0);  // 0: one per core
  ~Packer();
  // The result for block b, once it is there.
  const PackedBlock& Wait(size_t b);
  // The writer is done with block b: its memory goes, the workers move on.
  void Release(size_t b);

 private:
  void Work();
  void Pack(size_t b, PackedBlock& out);

  const Plan& plan_;
  std::vector<PackedBlock> results_;
  size_t next_ = 0;      // the next block to start
  size_t released_ = 0;  // blocks the writer is done with
  size_t window_ = 2;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};

// The CRC-32 of the bytes of a then those of b, from their CRC-32s and b's
// length.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, int64_t lengthB);
