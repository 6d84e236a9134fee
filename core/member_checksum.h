// The checksum of a member's bytes (and of the module image), computed while the bytes
// are copied. Four 32-bit lanes each keep a running sum of their words and a sum of
// those sums, so every word counts with its position; the eight sums and the length are
// then mixed into 32 bits. It is an order of magnitude faster than a table-driven CRC-32
// on this target, which matters because every byte of a package run passes through it;
// it guards against damage (bad media, broken downloads), not against forgery, which a
// signature covers.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/block_copy.h"

class MemberChecksum : public CopyObserver {
 public:
  MemberChecksum() { Reset(); }
  void Reset();
  void Observe(const char* bytes, size_t length) override { Add(bytes, length); }
  void Add(const char* bytes, size_t length);
  // Adds `length` zero bytes.
  void AddZeros(size_t length);
  uint32_t Finish() const;

 private:
  void AddBlocks(const unsigned char* bytes, size_t blocks);

  uint32_t sums_[4];
  uint32_t sumsOfSums_[4];
  unsigned char pending_[16];
  unsigned pendingLength_;
  uint64_t length_;
};

// The checksum of one whole stream of bytes.
uint32_t ChecksumOf(const char* bytes, size_t length);

// The module image's checksum leaves out what signing a package changes inside it: the
// PE checksum field and the security directory entry are counted as zeros. Positions
// are counted from the image's first byte.
class ModuleImageChecksum : public CopyObserver {
 public:
  // Masked ranges: [checksumAt, +4) and [directoryAt, +8); both 0 for an image that is
  // no PE file (nothing is masked then).
  ModuleImageChecksum(uint64_t checksumAt, uint64_t directoryAt);
  void Observe(const char* bytes, size_t length) override;
  uint32_t Finish() const { return checksum_.Finish(); }

 private:
  MemberChecksum checksum_;
  uint64_t position_;
  uint64_t masks_[2];
  unsigned maskWidths_[2];
};
