// The checksum's start, its intake of each chunk and its end, which run once per member or
// per chunk: built for size with the rest of the program, apart from the loop over the
// bytes in member_checksum.cpp, built for speed.
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

void MemberChecksum::Add(const char* bytes, size_t length) {
  const unsigned char* next = reinterpret_cast<const unsigned char*>(bytes);
  length_ += length;
  if (pendingLength_ > 0) {
    const size_t take = length < 16 - pendingLength_ ? length : 16 - pendingLength_;
    memcpy(pending_ + pendingLength_, next, take);
    pendingLength_ += static_cast<unsigned>(take);
    next += take;
    length -= take;
    if (pendingLength_ < 16) return;
    AddBlocks(pending_, 1);
    pendingLength_ = 0;
  }
  AddBlocks(next, length / 16);
  next += length / 16 * 16;
  length %= 16;
  memcpy(pending_, next, length);
  pendingLength_ = static_cast<unsigned>(length);
}

void MemberChecksum::AddZeros(size_t length) {
  static const char kZeros[64] = {0};
  while (length > 0) {
    const size_t part = length < sizeof(kZeros) ? length : sizeof(kZeros);
    Add(kZeros, part);
    length -= part;
  }
}
