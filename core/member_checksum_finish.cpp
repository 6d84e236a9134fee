// The checksum's start and end, which run once per member: built for size with the rest of
// the program, apart from the loop over the bytes in member_checksum.cpp, built for speed.
#include "core/member_checksum.h"

#include <string.h>

namespace {

// The finishing mix of a well-known 32-bit hash: every input bit reaches every output bit.
uint32_t Mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

}  // namespace

void MemberChecksum::Reset() {
  memset(sums_, 0, sizeof(sums_));
  memset(sumsOfSums_, 0, sizeof(sumsOfSums_));
  memset(pending_, 0, sizeof(pending_));
  pendingLength_ = 0;
  length_ = 0;
}

uint32_t MemberChecksum::Finish() const {
  MemberChecksum last = *this;
  if (last.pendingLength_ > 0) {
    // The last words are padded with zeros; the length below tells the padding apart.
    memset(last.pending_ + last.pendingLength_, 0, 16 - last.pendingLength_);
    last.AddBlocks(last.pending_, 1);
  }
  uint32_t h = Mix(static_cast<uint32_t>(length_) ^ 0x9E3779B9u) ^ Mix(static_cast<uint32_t>(length_ >> 32));
  for (int lane = 0; lane < 4; ++lane) {
    h = Mix(h ^ last.sums_[lane]);
    h = Mix(h ^ last.sumsOfSums_[lane]);
  }
  return h;
}

uint32_t ChecksumOf(const char* bytes, size_t length) {
  MemberChecksum checksum;
  checksum.Add(bytes, length);
  return checksum.Finish();
}
