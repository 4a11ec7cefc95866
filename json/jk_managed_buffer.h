#pragma once
// A byte buffer that starts on memory lent by the caller (usually a block on
// the caller's stack) and moves to an owned heap block only when it must
// grow; shared by the decoder and the serializer.

#include <cstddef>
#include <string>

namespace jk {

enum : unsigned {
  JKManagedBufferOnStack = 1,
  JKManagedBufferOnHeap = 2,
  JKManagedBufferLocationMask = 3,
  JKManagedBufferMustFree = 4,
};

struct JKManagedBuffer {
  unsigned char* bytes = nullptr;
  size_t length = 0;
  unsigned flags = 0;
  size_t roundSizeUpToMultipleOf = 1;
  std::string heap;  // the owned heap block, while the buffer lives on the heap
};

// Lends `length` bytes at `bytes` to the buffer, dropping any heap block.
void jk_managedBuffer_setToStackBuffer(JKManagedBuffer* buffer, unsigned char* bytes, size_t length);

// Makes the buffer at least `size` bytes long (rounded up to the rounding
// unit), keeping its contents; a lent buffer moves to the heap. Answers the
// bytes, or null when memory is exhausted (the buffer is then unchanged).
unsigned char* jk_managedBuffer_resize(JKManagedBuffer* buffer, size_t size);

// Frees an owned heap block and clears the buffer.
void jk_managedBuffer_release(JKManagedBuffer* buffer);

// The first `used` bytes as a string; a heap block is taken over without
// copying and the buffer gives up its ownership.
std::string jk_managedBuffer_take(JKManagedBuffer* buffer, size_t used);

}  // namespace jk
