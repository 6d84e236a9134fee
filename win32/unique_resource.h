// One owner for every kind of Win32 resource: a handle, a mapped view, a heap block, a
// dropped-files block (and, below, a new process's pair of handles). The traits of a
// kind say which value means "nothing held" (NULL for most handles, INVALID_HANDLE_VALUE
// for files and searches) and how the resource is given back, so that no path of the
// code can forget or repeat the close.
//
// A leaf: it includes only system headers and nothing of this project, so every
// Windows layer (framework and security included) may use it.
#pragma once
#include <windows.h>

#include <shellapi.h>

template <typename Traits>
class UniqueResource {
 public:
  typedef typename Traits::Type Type;

  UniqueResource() : value_(Traits::Empty()) {}
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(UniqueResource&& other) : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::Empty(); }

  // Closes what was held (once) and holds `value` instead.
  void reset(Type value = Traits::Empty()) {
    const Type old = value_;
    value_ = value;
    if (old != Traits::Empty()) Traits::Close(old);
  }
  // Hands the resource over without closing it.
  Type release() {
    const Type old = value_;
    value_ = Traits::Empty();
    return old;
  }
  // For the calls that return their resource through a pointer: closes what was held.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

// Process, thread and mapping handles: NULL when there is none.
struct KernelHandleTraits {
  typedef HANDLE Type;
  static HANDLE Empty() { return NULL; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

// File handles: CreateFile reports a failure with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  typedef HANDLE Type;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

// Searches: FindFirstFile reports a failure with INVALID_HANDLE_VALUE.
struct FindHandleTraits {
  typedef HANDLE Type;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};

struct RegistryKeyTraits {
  typedef HKEY Type;
  static HKEY Empty() { return NULL; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

// A view of a mapping, from MapViewOfFile.
struct MappedViewTraits {
  typedef void* Type;
  static void* Empty() { return NULL; }
  static void Close(void* view) { UnmapViewOfFile(view); }
};

// Frees a block of the process heap. One copy for the program (an inline function's copies
// are merged by the linker), never inlined: every type of block calls this one rather than
// carrying a copy of its own.
inline __attribute__((noinline)) void FreeHeapBlock(void* block) { HeapFree(GetProcessHeap(), 0, block); }

// A block of the process heap, typed for its user.
template <typename T>
struct HeapBlockTraits {
  typedef T* Type;
  static T* Empty() { return NULL; }
  static void Close(T* block) { FreeHeapBlock(block); }
};

// The shell's block of dropped files, handed to the window with WM_DROPFILES.
struct DropTraits {
  typedef HDROP Type;
  static HDROP Empty() { return NULL; }
  static void Close(HDROP drop) { DragFinish(drop); }
};

// A SID made by AllocateAndInitializeSid.
struct AllocatedSidTraits {
  typedef PSID Type;
  static PSID Empty() { return NULL; }
  static void Close(PSID sid) { FreeSid(sid); }
};

typedef UniqueResource<KernelHandleTraits> UniqueHandle;
typedef UniqueResource<FileHandleTraits> UniqueFile;
typedef UniqueResource<FindHandleTraits> UniqueFind;
typedef UniqueResource<RegistryKeyTraits> UniqueKey;
typedef UniqueResource<MappedViewTraits> UniqueView;
typedef UniqueResource<DropTraits> UniqueDrop;
typedef UniqueResource<AllocatedSidTraits> UniqueSid;
template <typename T>
using UniqueHeapBlock = UniqueResource<HeapBlockTraits<T> >;

// The new process and its first thread, which CreateProcess hands back together: owned
// from the call on, both closed when the owner goes.
class UniqueProcessInformation {
 public:
  UniqueProcessInformation() : value_() {}
  ~UniqueProcessInformation() {
    const UniqueHandle process(value_.hProcess);
    const UniqueHandle thread(value_.hThread);
  }
  UniqueProcessInformation(const UniqueProcessInformation&) = delete;
  UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

  HANDLE process() const { return value_.hProcess; }
  // For the one CreateProcess call that fills the pair: an owner is filled once.
  PROCESS_INFORMATION* put() { return &value_; }

 private:
  PROCESS_INFORMATION value_;
};

// A zero-filled block of `bytes` bytes from the process heap, for a structure of its own
// length (a SID, an ACL); empty when there is no memory.
template <typename T>
inline UniqueHeapBlock<T> AllocateHeapBytes(size_t bytes) {
  return UniqueHeapBlock<T>(static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)));
}

// A zero-filled block of `count` elements of T; empty when there is no memory.
template <typename T>
inline UniqueHeapBlock<T> AllocateHeapBlock(size_t count) {
  if (count > static_cast<size_t>(-1) / sizeof(T)) return UniqueHeapBlock<T>();
  return AllocateHeapBytes<T>(count * sizeof(T));
}

// Grows (or shrinks) a heap block to `count` elements, its contents kept. Returns 0, and
// leaves the block as it was, when there is no memory.
template <typename T>
inline int ResizeHeapBlock(UniqueHeapBlock<T>& block, size_t count) {
  if (!block.valid()) {
    block = AllocateHeapBlock<T>(count);
    return block.valid() ? 1 : 0;
  }
  if (count > static_cast<size_t>(-1) / sizeof(T)) return 0;
  void* grown = HeapReAlloc(GetProcessHeap(), 0, block.get(), count * sizeof(T));
  if (grown == NULL) return 0;
  block.release();
  block.reset(static_cast<T*>(grown));
  return 1;
}
