// The one copy loop of the package core: from a file's current position to another
// file, through a single buffer allocated once per job.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/binary_file.h"

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
  ~CopyBuffer();
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;
  // 0 when the block could not be had.
  bool isReady() const { return bytes_ != nullptr; }
  char* bytes() const { return bytes_; }

 private:
  char* bytes_;
};

enum CopyResult {
  kCopyDone = 1,     // the limit was reached or the source ended
  kCopyReadFailed,   // the source reported an error
  kCopyWriteFailed,  // the destination took fewer bytes than it was given
};

// Copies at most `limit` bytes: each read asks for the smaller of the buffer and the
// bytes still missing, and exactly what was read is written. Stops early when a read
// yields nothing (a source cut short). *copied receives the number of bytes written.
CopyResult CopyBytes(BinaryFile& source, BinaryFile& destination, uint64_t limit,
                     const CopyBuffer& buffer, uint64_t* copied, CopyObserver* observer = nullptr);
