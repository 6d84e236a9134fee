#include "cli/encoder_allocator.h"

#if defined(__linux__)
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>

namespace {

const size_t kHugePage = 2u << 20;
// Smaller blocks (the encoder's state, the range coder's buffer) keep malloc's pages.
const size_t kHugeFrom = 4u << 20;

void* Allocate(void*, size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  const size_t length = count * size;
  if (length < kHugeFrom) return malloc(length);
  void* block = nullptr;
  if (posix_memalign(&block, kHugePage, length) != 0) return nullptr;
  // Only a hint: without huge pages the block is an ordinary one.
  madvise(block, length / kHugePage * kHugePage, MADV_HUGEPAGE);
  return block;
}

void Free(void*, void* block) { free(block); }

const lzma_allocator kHugePageAllocator = {Allocate, Free, nullptr};

}  // namespace

const lzma_allocator* EncoderAllocator() { return &kHugePageAllocator; }

#else

const lzma_allocator* EncoderAllocator() { return nullptr; }

#endif
