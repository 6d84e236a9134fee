// A fixed number of objects made together and destroyed together by their owner, on the
// C runtime's heap: for objects that own blocks of their own, which GrowableBlock cannot
// move as bytes. Made with placement new, as HeapObject makes one.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <cstddef>
#include <new>

#include "core/growable_block.h"

template <typename T>
class ObjectArray {
 public:
  ObjectArray() : count_(0) {}
  ~ObjectArray() { Reset(); }
  ObjectArray(const ObjectArray&) = delete;
  ObjectArray& operator=(const ObjectArray&) = delete;

  // `count` value-initialised objects (their plain fields zero), whatever was held before
  // destroyed. 0, and nothing held, when there is no memory.
  int Make(size_t count) {
    static_assert(alignof(T) <= alignof(Slot), "the objects lie aligned in the block");
    Reset();
    if (count > SIZE_MAX / sizeof(T) - sizeof(Slot)) return 0;
    if (!memory_.Allocate((count * sizeof(T) + sizeof(Slot) - 1) / sizeof(Slot))) return 0;
    for (size_t k = 0; k < count; ++k) new (get() + k) T();
    count_ = count;
    return 1;
  }
  void Reset() {
    for (size_t k = count_; k > 0; --k) get()[k - 1].~T();
    count_ = 0;
    memory_.Free();
  }

  T& operator[](size_t index) const { return get()[index]; }
  size_t count() const { return count_; }

 private:
  // Blocks of the most strictly aligned plain type, so that every object lies aligned.
  typedef std::max_align_t Slot;
  T* get() const { return reinterpret_cast<T*>(memory_.get()); }

  GrowableBlock<Slot> memory_;
  size_t count_;
};
