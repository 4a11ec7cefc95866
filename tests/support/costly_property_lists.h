#pragma once
// Binary property lists that are cheap as files and dear to read: one
// payload named from many places, which libplist copies for each, and long
// flat arrays, which a reader that fetches items by number walks again for
// every item. For the tests and the fuzz runs' seeds alike.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "binary_plist_builder.h"

namespace test_support {

// An array of `references` to the one object `make` adds (object 1;
// anything it adds after that is its own).
inline std::vector<uint8_t> sharedLeaf(size_t references, const std::function<uint64_t(BinaryPlistBuilder&)>& make) {
  BinaryPlistBuilder b(1);
  b.array(std::vector<uint64_t>(references, 1));
  make(b);
  return b.bytes(0);
}

// One array of `references` to one data object of `payloadBytes`.
inline std::vector<uint8_t> sharedPayload(size_t references, size_t payloadBytes) {
  return sharedLeaf(references, [&](BinaryPlistBuilder& b) { return b.data(std::string(payloadBytes, 'x')); });
}

// The same within 13 KB: arrays of 15, 15, 16 and 16 references, nested,
// the innermost naming 12 KiB of data; 57,600 copies of it, 700 MB, once
// parsed, in no more than 65,536 elements.
inline std::vector<uint8_t> nestedSharedPayload() {
  BinaryPlistBuilder b(1);
  const size_t widths[] = {15, 15, 16, 16};
  for (uint64_t level = 0; level < 4; ++level) b.array(std::vector<uint64_t>(widths[level], level + 1));
  b.data(std::string(12 << 10, 'x'));
  return b.bytes(0);
}

// An array of `count` numbers, 0, 1, ... `distinct` - 1 over and over
// (each number one object, named from every place it stands).
inline std::vector<uint8_t> flatArrayOfNumbers(size_t count, size_t distinct) {
  // References name objects 1 to `distinct`, the array being object 0.
  BinaryPlistBuilder b(distinct <= 0xFF ? 1 : distinct <= 0xFFFF ? 2 : 4);
  std::vector<uint64_t> refs(count);
  for (size_t i = 0; i < count; ++i) refs[i] = 1 + i % distinct;
  b.array(refs);
  for (size_t i = 0; i < distinct; ++i) b.integer(i);
  return b.bytes(0);
}

}  // namespace test_support
