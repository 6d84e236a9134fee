#include "core/lzma_match_finder.h"

#include <string.h>

namespace {

const unsigned kShortHashBits = 16, kMiddleHashBits = 18;
const unsigned kHashedBytes = 6;
// Of the bucket's earlier entries, how many a search tries.
const unsigned kSearchedWays = kLzmaBucketWays - 1;
const unsigned kPrefetchAhead = 4;
const unsigned kMissesBeforeSkipping = 32;
// About one bucket for every two positions of the dictionary, at most 16 MiB of them.
const unsigned kBucketBitsMin = 10, kBucketBitsMax = 18;
// Input after the position that the encoder keeps before it codes (its look-ahead), and
// the least room a move of the window makes.
const size_t kWindowSlack = 1u << 18;

// The hashes read bytes one by one, so that they are the same on any byte order.
inline uint32_t Read32(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline uint32_t Hash(uint32_t value, unsigned bits) { return (value * 2654435761u) >> (32 - bits); }

unsigned BucketBits(uint32_t dictionary) {
  unsigned bits = kBucketBitsMin;
  while (bits < kBucketBitsMax && (kLzmaBucketWays << (bits + 1)) <= dictionary / 2) ++bits;
  return bits;
}

size_t WindowSize(uint32_t dictionary) { return static_cast<size_t>(dictionary) + dictionary / 4 + kWindowSlack; }

uint64_t HeadCount(uint32_t dictionary) {
  return (1u << kShortHashBits) + (1u << kMiddleHashBits) + (static_cast<uint64_t>(kLzmaBucketWays) << BucketBits(dictionary));
}

}  // namespace

uint64_t LzmaMatchFinder::MemoryFor(uint32_t dictionary) { return WindowSize(dictionary) + 4 * HeadCount(dictionary); }

int LzmaMatchFinder::Start(uint32_t dictionary, unsigned nice) {
  dictionary_ = dictionary;
  nice_ = nice;
  bucketBits_ = BucketBits(dictionary);
  pos_ = end_ = 0;
  streamPos_ = 0;
  misses_ = 0;
  // Fresh blocks are zero: every entry empty.
  return window_.Allocate(WindowSize(dictionary)) && heads_.Allocate(static_cast<size_t>(HeadCount(dictionary)));
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

uint32_t* LzmaMatchFinder::BucketAt(const uint8_t* p) const {
  const uint32_t longHash = Hash(Read32(p) ^ Hash(Read32(p + kHashedBytes - 4), 32), bucketBits_);
  return heads_.get() + (1u << kShortHashBits) + (1u << kMiddleHashBits) + longHash * kLzmaBucketWays;
}

// Enters the position in the tables; returns its bucket as it was before.
uint32_t* LzmaMatchFinder::Insert() {
  const uint8_t* p = current();
  const uint32_t word = Read32(p);
  const uint32_t entry = streamPos_ + 1;
  uint32_t* heads = heads_.get();
  uint32_t* shortHead = heads + Hash(word & 0xFFFFFF, kShortHashBits);
  uint32_t* middleHead = heads + (1u << kShortHashBits) + Hash(word, kMiddleHashBits);
  uint32_t* bucket = BucketAt(p);
  // The bucket of a position a little ahead is fetched meanwhile: each is a cache miss.
  if (available() >= kPrefetchAhead + kHashedBytes) __builtin_prefetch(BucketAt(p + kPrefetchAhead), 1);
  shortCandidate_ = *shortHead;
  middleCandidate_ = *middleHead;
  *shortHead = *middleHead = entry;
  // The bucket's entries move one place down: the oldest leaves.
  uint32_t carried = entry;
  for (unsigned k = 0; k < kLzmaBucketWays; ++k) {
    const uint32_t held = bucket[k];
    bucket[k] = carried;
    carried = held;
  }
  return bucket;
}

void LzmaMatchFinder::Skip(unsigned count) {
  while (count--) {
    if (available() >= kHashedBytes) Insert();
    ++pos_;
    ++streamPos_;
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
  unsigned count = 0;
  // Far into bytes that offer no match (compressed media, packed archives), three
  // positions of every four are neither searched nor entered: there the tables cost a
  // cache miss a byte and find nothing. The first match found ends it.
  if (misses_ >= kMissesBeforeSkipping && (misses_ & 3) != 0) {
    ++misses_;
  } else if (left >= kHashedBytes) {
    const uint32_t limit = left < kLzmaMatchMax ? static_cast<uint32_t>(left) : kLzmaMatchMax;
    const uint32_t reach = pos_ < dictionary_ ? static_cast<uint32_t>(pos_) : dictionary_;
    const uint8_t* p = current();
    const uint32_t entry = streamPos_ + 1;
    // The bucket now starts with this position: its earlier entries follow, newest first.
    const uint32_t* bucket = Insert() + 1;
    uint32_t best = 1;
    // The short tables first: their matches are the nearer ones.
    for (unsigned k = 0; k < kSearchedWays + 2 && best < nice_ && best < limit; ++k) {
      const uint32_t delta = entry - (k == 0 ? shortCandidate_ : k == 1 ? middleCandidate_ : bucket[k - 2]);
      if (delta == 0 || delta > reach) {
        if (k < 2) continue;
        break;  // the bucket's older entries lie further back still
      }
      const uint32_t length = MatchLength(p, p - delta, best, limit);
      if (length > best) {
        best = length;
        matches[count++] = LzmaMatch{length, delta};
      }
    }
    misses_ = count == 0 ? misses_ + 1 : 0;
  }
  ++pos_;
  ++streamPos_;
  return count;
}
