// One owner for a block of the C runtime's heap that holds plain elements: allocated,
// grown and freed in one place, so that no path can forget or repeat the free. For
// elements that are copied as bytes (records, numbers, characters), which is all that the
// core keeps on the heap.
#pragma once
#include <stddef.h>

#include <type_traits>

// The untyped work behind GrowableBlock, out of line so that every element type shares it.
class RawBlock {
 public:
  RawBlock() : bytes_(nullptr), capacity_(0) {}
  ~RawBlock();
  RawBlock(const RawBlock&) = delete;
  RawBlock& operator=(const RawBlock&) = delete;

  // `count` zero-filled elements, whatever was held before freed. 0 (and nothing held)
  // when there is no memory or the size would overflow.
  int Allocate(size_t count, size_t elementSize);
  // Room for at least `count` elements, the contents kept: doubles from `first` (or from
  // the capacity) until it fits. 0, and the block as it was, when there is no memory.
  int Reserve(size_t count, size_t elementSize, size_t first);
  void Free();
  void Swap(RawBlock& other);

  void* bytes() const { return bytes_; }
  size_t capacity() const { return capacity_; }

 private:
  void* bytes_;
  size_t capacity_;  // in elements
};

template <typename T>
class GrowableBlock {
  static_assert(std::is_trivially_copyable<T>::value, "the block moves its elements as bytes");

 public:
  GrowableBlock() {}

  int Allocate(size_t count) { return raw_.Allocate(count, sizeof(T)); }
  int Reserve(size_t count, size_t first = 64) { return raw_.Reserve(count, sizeof(T), first); }
  void Free() { raw_.Free(); }
  // Trades blocks with `other`: how a block is replaced by a larger one built beside it.
  void Swap(GrowableBlock& other) { raw_.Swap(other.raw_); }

  T* get() const { return static_cast<T*>(raw_.bytes()); }
  T& operator[](size_t index) const { return get()[index]; }
  bool valid() const { return raw_.bytes() != nullptr; }
  size_t capacity() const { return raw_.capacity(); }

 private:
  RawBlock raw_;
};
