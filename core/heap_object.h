// One object on the C runtime's heap, made and destroyed by its owner: for a large state
// that only some runs need. Made with placement new on malloc, so that no operator new
// (and none of the exception machinery it brings) comes into the Windows program.
#pragma once
#include <stdlib.h>

#include <new>

template <typename T>
class HeapObject {
 public:
  HeapObject() : object_(nullptr) {}
  ~HeapObject() { Reset(); }
  HeapObject(const HeapObject&) = delete;
  HeapObject& operator=(const HeapObject&) = delete;

  // Makes the object when there is none yet. 0 when there is no memory.
  int Make() {
    if (object_ != nullptr) return 1;
    void* memory = malloc(sizeof(T));
    if (memory == nullptr) return 0;
    object_ = new (memory) T();
    return 1;
  }
  void Reset() {
    if (object_ == nullptr) return;
    object_->~T();
    free(object_);
    object_ = nullptr;
  }

  T* get() const { return object_; }
  T& operator*() const { return *object_; }

 private:
  T* object_;
};
