// Bytes built up in memory, for images made anew (a program's rewritten resources): a
// growing block with a running length. A failed allocation is remembered, so that a
// builder can write on and be asked once at the end whether everything fitted.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/growable_block.h"

class ByteBuilder {
 public:
  ByteBuilder() : length_(0), failed_(0) {}
  ByteBuilder(const ByteBuilder&) = delete;
  ByteBuilder& operator=(const ByteBuilder&) = delete;

  void Append(const void* bytes, size_t length);
  void AppendZeros(size_t count);
  void Append16(uint16_t value);
  void Append32(uint32_t value);
  // Zeros up to the next multiple of `alignment` (a power of two).
  void AlignTo(size_t alignment);
  // Overwrites bytes already appended (a length known only once what follows is written).
  void Put16(size_t at, uint16_t value);
  void Put32(size_t at, uint32_t value);

  unsigned char* data() const { return block_.get(); }
  size_t length() const { return length_; }
  int failed() const { return failed_; }

 private:
  unsigned char* Extend(size_t count);

  GrowableBlock<unsigned char> block_;
  size_t length_;
  int failed_;
};

inline size_t AlignUp(size_t value, size_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }
