#include "lzmapack.h"

#include <stdlib.h>

#include <algorithm>

#include "LzmaEnc.h"
#include "common/packageext.h"

namespace {

void* Alloc(void*, size_t size) { return malloc(size); }
void Free(void*, void* p) { free(p); }
ISzAlloc allocator = {Alloc, Free};

}  // namespace

std::string PackBytes(const std::string& bytes) {
  // The settings per-file rows were packed with: the uninstaller is one
  // program of some hundred KB, which a larger dictionary would not shrink.
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 5;
  props.dictSize = 8u << 20;
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

int64_t PackIndex(std::string& index) {
  // The dictionary is the index's size (PackBytes reduces it so): the setup
  // unpacks the index whole into a buffer of that size anyway.
  if (index.empty() || static_cast<int64_t>(index.size()) > PACKED_INDEX_MAX) return 0;
  std::string packed = PackBytes(index);
  if (packed.empty()) return 0;
  int64_t unpacked = static_cast<int64_t>(index.size());
  index.swap(packed);
  return unpacked;
}

bool PackLzmaStream(const std::string& data, std::string& out) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 9;
  // The size the build's own stream has: the setup decodes it in one piece.
  props.dictSize = 256u << 10;
  props.numThreads = 1;
  const size_t header = LZMA_PROPS_SIZE + 8;
  // Data that does not pack grows by a little.
  out.assign(header + data.size() + data.size() / 3 + 256, '\0');
  SizeT propsSize = LZMA_PROPS_SIZE;
  SizeT coded = out.size() - header;
  SRes res = LzmaEncode(reinterpret_cast<Byte*>(&out[header]), &coded, reinterpret_cast<const Byte*>(data.data()),
                        data.size(), &props, reinterpret_cast<Byte*>(&out[0]), &propsSize, 1, nullptr, &allocator,
                        &allocator);
  if (res != SZ_OK || propsSize != LZMA_PROPS_SIZE) return false;
  for (size_t i = LZMA_PROPS_SIZE; i < header; i++) out[i] = '\xFF';
  out.resize(header + coded);
  return true;
}
