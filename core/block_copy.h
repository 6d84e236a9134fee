// The one copy loop of the package core: from a file's current position to another
// file, through a single buffer allocated once per job.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/binary_file.h"
#include "core/growable_block.h"

// Sees every byte that a copy moves, in order, once (a checksum, a progress display).
class CopyObserver {
 public:
  virtual void Observe(const char* bytes, size_t length) = 0;

 protected:
  ~CopyObserver() {}
};

// Hands each block to two observers in turn; the second may be null.
class ObserverPair : public CopyObserver {
 public:
  ObserverPair(CopyObserver* first, CopyObserver* second) : first_(first), second_(second) {}
  void Observe(const char* bytes, size_t length) override {
    first_->Observe(bytes, length);
    if (second_ != nullptr) second_->Observe(bytes, length);
  }

 private:
  CopyObserver* first_;
  CopyObserver* second_;
};

// One heap block for all copies of a job. Larger blocks are slower under Wine, smaller
// ones cost more calls.
class CopyBuffer {
 public:
  static constexpr size_t kSize = 256 * 1024;
  CopyBuffer();
  // 0 when the block could not be had.
  bool isReady() const { return bytes_.valid(); }
  char* bytes() const { return bytes_.get(); }

 private:
  GrowableBlock<char> bytes_;
};

enum CopyResult {
  kCopyDone = 1,     // the limit was reached or the source ended
  kCopyReadFailed,   // the source reported an error
  kCopyWriteFailed,  // the destination took fewer bytes than it was given
};

// May change each block after it is read and before it is written or seen (headers
// patched as they pass). `at` counts from the first byte of the copy.
class BlockEditor {
 public:
  virtual void Edit(char* bytes, size_t length, uint64_t at) = 0;

 protected:
  ~BlockEditor() {}
};

// The one loop: reads at most `limit` bytes from the source's current position, each read
// asking for the smaller of the buffer and the bytes still missing; each block is edited
// (editor may be null), written to the destination (null: read only) and seen by the
// observer (may be null). Stops early when a read yields nothing (a source cut short).
// *moved receives the number of bytes read and passed on.
CopyResult MoveBlocks(BinaryFile& source, BinaryFile* destination, uint64_t limit, const CopyBuffer& buffer,
                      uint64_t* moved, CopyObserver* observer, BlockEditor* editor = nullptr);

// A plain copy from file to file.
inline CopyResult CopyBytes(BinaryFile& source, BinaryFile& destination, uint64_t limit,
                            const CopyBuffer& buffer, uint64_t* copied, CopyObserver* observer = nullptr) {
  return MoveBlocks(source, &destination, limit, buffer, copied, observer);
}
