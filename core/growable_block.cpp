#include "core/growable_block.h"

#include <stdint.h>
#include <stdlib.h>

RawBlock::~RawBlock() { free(bytes_); }

int RawBlock::Allocate(size_t count, size_t elementSize) {
  Free();
  if (count == 0) count = 1;  // a block of nothing still tells "allocated" from "not"
  if (count > SIZE_MAX / elementSize) return 0;
  bytes_ = calloc(count, elementSize);
  if (bytes_ == nullptr) return 0;
  capacity_ = count;
  return 1;
}

int RawBlock::Reserve(size_t count, size_t elementSize, size_t first) {
  if (count <= capacity_ && bytes_ != nullptr) return 1;
  size_t grown = capacity_ > 0 ? capacity_ : (first > 0 ? first : 1);
  while (grown < count) {
    if (grown > SIZE_MAX / 2) return 0;
    grown *= 2;
  }
  if (grown > SIZE_MAX / elementSize) return 0;
  void* moved = realloc(bytes_, grown * elementSize);
  if (moved == nullptr) return 0;
  bytes_ = moved;
  capacity_ = grown;
  return 1;
}

void RawBlock::Swap(RawBlock& other) {
  void* const bytes = bytes_;
  const size_t capacity = capacity_;
  bytes_ = other.bytes_;
  capacity_ = other.capacity_;
  other.bytes_ = bytes;
  other.capacity_ = capacity;
}

void RawBlock::Free() {
  free(bytes_);
  bytes_ = nullptr;
  capacity_ = 0;
}
