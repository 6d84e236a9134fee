#include "core/lzma_match_finder.h"

#include <string.h>

namespace {

const unsigned kShortHashBits = 16;
const unsigned kGoodLength = 12;
const unsigned kHashBitsMin = 16, kHashBitsMax = 22;
// Input after the position that the encoder keeps before it codes (its look-ahead), and
// the least room a move of the window makes.
const size_t kWindowSlack = 1u << 18;

// The hashes read bytes one by one, so that they are the same on any byte order.
inline uint32_t Read32(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint32_t HashBits(uint32_t dictionary) {
  unsigned bits = kHashBitsMin;
  while (bits < kHashBitsMax && (1u << (bits + 1)) < dictionary) ++bits;
  return bits;
}

size_t WindowSize(uint32_t dictionary) { return static_cast<size_t>(dictionary) + dictionary / 4 + kWindowSlack; }

}  // namespace

uint64_t LzmaMatchFinder::MemoryFor(uint32_t dictionary) {
  const uint64_t heads = (1ull << HashBits(dictionary)) + (1u << kShortHashBits);
  return WindowSize(dictionary) + 4ull * (dictionary + 1ull) + 4 * heads;
}

int LzmaMatchFinder::Start(uint32_t dictionary, unsigned depth, unsigned nice) {
  dictionary_ = dictionary;
  depth_ = depth;
  nice_ = nice;
  cyclic_ = dictionary + 1;
  const unsigned bits = HashBits(dictionary);
  hashMask_ = (1u << bits) - 1;
  pos_ = end_ = 0;
  streamPos_ = 0;
  cyclicPos_ = 0;
  // Fresh blocks are zero: every head empty.
  return window_.Allocate(WindowSize(dictionary)) && chain_.Allocate(cyclic_) &&
         heads_.Allocate((1u << bits) + (1u << kShortHashBits));
}

size_t LzmaMatchFinder::Room() {
  const size_t size = window_.capacity();
  if (size - end_ < kWindowSlack && pos_ > dictionary_) {
    // Only the dictionary's reach before the position is still needed.
    const size_t from = pos_ - dictionary_;
    memmove(window_.get(), window_.get() + from, end_ - from);
    pos_ -= from;
    end_ -= from;
  }
  return size - end_;
}

void LzmaMatchFinder::Advance() {
  ++pos_;
  ++streamPos_;
  if (++cyclicPos_ == cyclic_) cyclicPos_ = 0;
}

// Enters the position; returns the last position of the same four-byte hash (plus one),
// and in *shortHead that of the same three-byte hash.
uint32_t LzmaMatchFinder::Insert() {
  const uint8_t* p = current();
  const uint32_t word = Read32(p);
  const uint32_t entry = streamPos_ + 1;
  uint32_t* heads = heads_.get();
  const uint32_t hash = (word * 2654435761u) >> (32 - kHashBitsMax) & hashMask_;
  const uint32_t shortHash = ((word & 0xFFFFFF) * 506832829u) >> (32 - kShortHashBits);
  uint32_t* shortHead = heads + hashMask_ + 1 + shortHash;
  const uint32_t previous = heads[hash];
  heads[hash] = entry;
  chain_[cyclicPos_] = previous;
  shortCandidate_ = *shortHead;
  *shortHead = entry;
  return previous;
}

void LzmaMatchFinder::Skip(unsigned count) {
  while (count--) {
    if (available() >= 4) Insert();
    Advance();
  }
}

// The longest match at `p` against `q`, when it beats `best`: checked at byte `best` first.
static inline uint32_t MatchLength(const uint8_t* p, const uint8_t* q, uint32_t best, uint32_t limit) {
  if (q[best] != p[best] || q[0] != p[0]) return 0;
  uint32_t length = 0;
  while (length < limit && q[length] == p[length]) ++length;
  return length;
}

unsigned LzmaMatchFinder::Find(LzmaMatch* matches) {
  const size_t left = available();
  if (left < 4) {
    Advance();
    return 0;
  }
  const uint32_t limit = left < kLzmaMatchMax ? static_cast<uint32_t>(left) : kLzmaMatchMax;
  const uint32_t reach = pos_ < dictionary_ ? static_cast<uint32_t>(pos_) : dictionary_;
  const uint8_t* p = current();
  const uint32_t entry = streamPos_ + 1;
  const uint32_t* chain = chain_.get();
  uint32_t candidate = Insert();
  unsigned count = 0;
  uint32_t best = 1;
  // The three-byte table first: it may hold a nearer short match than the chain.
  uint32_t delta = entry - shortCandidate_;
  if (delta != 0 && delta <= reach) {
    const uint32_t length = MatchLength(p, p - delta, best, limit);
    if (length > best) {
      best = length;
      matches[count++] = LzmaMatch{length, delta};
    }
  }
  for (unsigned steps = depth_; steps != 0 && best < nice_ && best < limit; --steps) {
    delta = entry - candidate;
    if (delta == 0 || delta > reach) break;
    // The next link is read before the bytes are compared, so that the two loads from
    // far apart in memory overlap.
    candidate = chain[cyclicPos_ >= delta ? cyclicPos_ - delta : cyclicPos_ + cyclic_ - delta];
    const uint32_t length = MatchLength(p, p - delta, best, limit);
    if (length > best) {
      best = length;
      matches[count++] = LzmaMatch{length, delta};
      // A good match seldom has a much longer one far down the chain.
      if (length >= kGoodLength && steps > depth_ / 4) steps = depth_ / 4;
    }
  }
  Advance();
  return count;
}
