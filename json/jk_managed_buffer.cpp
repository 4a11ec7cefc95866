#include "json/jk_managed_buffer.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace jk {

void jk_managedBuffer_setToStackBuffer(JKManagedBuffer* buffer, unsigned char* bytes, size_t length) {
  std::string().swap(buffer->heap);
  buffer->bytes = bytes;
  buffer->length = length;
  buffer->flags = (buffer->flags & ~(JKManagedBufferLocationMask | JKManagedBufferMustFree)) | JKManagedBufferOnStack;
}

unsigned char* jk_managedBuffer_resize(JKManagedBuffer* buffer, size_t size) {
  const size_t unit = buffer->roundSizeUpToMultipleOf ? buffer->roundSizeUpToMultipleOf : 1;
  if (size > ~size_t{0} - unit) return nullptr;
  const size_t rounded = (size + unit - 1) / unit * unit;
  if (rounded <= buffer->length) return buffer->bytes;
  try {
    if ((buffer->flags & JKManagedBufferLocationMask) == JKManagedBufferOnHeap) {
      buffer->heap.resize(rounded);
    } else {
      std::string block(rounded, '\0');
      if (buffer->length) std::memcpy(block.data(), buffer->bytes, buffer->length);
      buffer->heap.swap(block);
      buffer->flags = (buffer->flags & ~JKManagedBufferLocationMask) | JKManagedBufferOnHeap | JKManagedBufferMustFree;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
  buffer->bytes = reinterpret_cast<unsigned char*>(buffer->heap.data());
  buffer->length = rounded;
  return buffer->bytes;
}

void jk_managedBuffer_release(JKManagedBuffer* buffer) {
  std::string().swap(buffer->heap);
  buffer->bytes = nullptr;
  buffer->length = 0;
  buffer->flags &= ~(JKManagedBufferLocationMask | JKManagedBufferMustFree);
}

std::string jk_managedBuffer_take(JKManagedBuffer* buffer, size_t used) {
  if ((buffer->flags & JKManagedBufferLocationMask) == JKManagedBufferOnHeap) {
    std::string out = std::move(buffer->heap);
    out.resize(used);
    jk_managedBuffer_release(buffer);
    return out;
  }
  return std::string(reinterpret_cast<const char*>(buffer->bytes), used);
}

}  // namespace jk
