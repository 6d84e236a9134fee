// Earlier occurrences of the bytes at the encoder's position: a hash of four bytes leads
// to the most recent position with that hash, and a chain links each position to the
// previous one of the same hash; a table of three-byte hashes finds short matches. The
// window keeps the dictionary's bytes before the position and the input fed after it.
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

struct LzmaMatch {
  uint32_t length;
  uint32_t distance;  // 1 is the byte before
};

class LzmaMatchFinder {
 public:
  // Bytes held for `dictionary`: the window, the chain and the hash tables.
  static uint64_t MemoryFor(uint32_t dictionary);
  // 0 when there is no memory. The search follows at most `depth` links of a chain and
  // stops at a match of `nice` bytes.
  int Start(uint32_t dictionary, unsigned depth, unsigned nice);

  // Room left for input after the window's end (moving the window's history down first
  // when it is full); Take adds `length` bytes placed at end().
  size_t Room();
  uint8_t* end() { return window_.get() + end_; }
  void Take(size_t length) { end_ += length; }

  const uint8_t* current() const { return window_.get() + pos_; }
  size_t available() const { return end_ - pos_; }
  uint32_t position() const { return streamPos_; }

  // The matches at the position, longest last, each longer than the one before, of at
  // most kLzmaMatchMax bytes; returns their count and moves one byte on.
  unsigned Find(LzmaMatch* matches);
  // Moves `count` bytes on, entering each position in the tables.
  void Skip(unsigned count);

 private:
  uint32_t Insert();
  void Advance();

  GrowableBlock<uint8_t> window_;
  GrowableBlock<uint32_t> chain_;   // cyclic, one entry per position of the dictionary
  GrowableBlock<uint32_t> heads_;   // four-byte hashes, then three-byte ones
  size_t pos_ = 0, end_ = 0;
  uint32_t streamPos_ = 0;  // of window_[pos_], modulo 2^32
  uint32_t cyclic_ = 0, cyclicPos_ = 0;
  uint32_t dictionary_ = 0;
  uint32_t shortCandidate_ = 0;  // set by Insert: the last position of the same three-byte hash
  uint32_t hashMask_ = 0;
  unsigned depth_ = 0, nice_ = 0;
};
