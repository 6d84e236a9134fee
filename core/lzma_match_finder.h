// Earlier occurrences of the bytes at the encoder's position. Positions are entered in
// buckets by a hash of their first six bytes, each bucket keeping the last kLzmaBucketWays
// positions of its hash, most recent first; one table each keeps the last position of a
// hash of three and of four bytes, for the short matches that pay only when near. The
// window keeps the dictionary's bytes before the position and the input fed after it.
//
// A bucket is read whole, so the bytes of all its candidates are fetched at once: a chain
// of links would wait for each link in turn, and at dictionaries of many megabytes
// every link is a miss of the processor's caches.
//
// Positions are kept as 32-bit stream offsets (plus one, so that zero is empty) and every
// candidate is checked against the distance it may reach, so a stream past 4 GiB needs no
// renumbering and a stale entry only ever offers bytes that really match.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/growable_block.h"

const unsigned kLzmaMatchMin = 2;
const unsigned kLzmaMatchMax = 273;
const unsigned kLzmaBucketWays = 16;

struct LzmaMatch {
  uint32_t length;
  uint32_t distance;  // 1 is the byte before
};

class LzmaMatchFinder {
 public:
  // Bytes held for `dictionary`: the window and the hash tables.
  static uint64_t MemoryFor(uint32_t dictionary);
  // 0 when there is no memory. A search stops at a match of `nice` bytes.
  int Start(uint32_t dictionary, unsigned nice);

  // Room left for input after the window's end (moving the window's history down first
  // when it is full); Take adds `length` bytes placed at end().
  size_t Room();
  uint8_t* end() { return window_.get() + end_; }
  void Take(size_t length) { end_ += length; }

  const uint8_t* current() const { return window_.get() + pos_; }
  size_t available() const { return end_ - pos_; }

  // The matches at the position, longest last, each longer than the one before, of at
  // most kLzmaMatchMax bytes; returns their count and moves one byte on.
  unsigned Find(LzmaMatch* matches);
  // Moves `count` bytes on, entering each position in the tables.
  void Skip(unsigned count);

 private:
  uint32_t* Insert();
  uint32_t* BucketAt(const uint8_t* p) const;

  GrowableBlock<uint8_t> window_;
  GrowableBlock<uint32_t> heads_;  // three-byte hashes, four-byte ones, then the buckets
  size_t pos_ = 0, end_ = 0;
  uint32_t streamPos_ = 0;  // of window_[pos_], modulo 2^32
  uint32_t dictionary_ = 0;
  // Set by Insert: the last position of the same three and four bytes (by hash).
  uint32_t shortCandidate_ = 0, middleCandidate_ = 0;
  unsigned bucketBits_ = 0;
  unsigned nice_ = 0;
  // Positions searched in a row without a match.
  unsigned misses_ = 0;
};
