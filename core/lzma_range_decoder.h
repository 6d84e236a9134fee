// The binary range decoder under LZMA: adaptive bits with 11-bit probabilities, bit
// trees, and bits of probability one half. It reads from memory only; the caller keeps
// enough bytes (or zero padding) ahead of `next` for one whole symbol.
#pragma once
#include <stdint.h>

typedef uint16_t LzmaProbability;

const unsigned kLzmaProbabilityBits = 11;
const LzmaProbability kLzmaProbabilityHalf = 1 << (kLzmaProbabilityBits - 1);
// A symbol never takes more bytes than this (about 20); the decoder refills, or checks
// for the end of its input, whenever fewer remain.
const unsigned kLzmaMaxSymbolInput = 32;

#if defined(__GNUC__)
#define LZMA_INLINE inline __attribute__((always_inline))
#else
#define LZMA_INLINE inline
#endif

struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  const uint8_t* next;

  // The range only shrinks below 2^24 by one adaptive bit at a time, so one byte
  // restores it; normalising before each bit (not after) keeps the byte count equal to
  // what the encoder wrote when the last symbol is done.
  LZMA_INLINE void Normalize() {
    if (range < (1u << 24)) {
      range <<= 8;
      code = (code << 8) | *next++;
    }
  }

  LZMA_INLINE unsigned Bit(LzmaProbability* probability) {
    Normalize();
    const unsigned p = *probability;
    const uint32_t bound = (range >> kLzmaProbabilityBits) * p;
    if (code < bound) {
      range = bound;
      *probability = static_cast<LzmaProbability>(p + (((1u << kLzmaProbabilityBits) - p) >> 5));
      return 0;
    }
    range -= bound;
    code -= bound;
    *probability = static_cast<LzmaProbability>(p - (p >> 5));
    return 1;
  }

  // `bits` bits, most significant first, through the tree of 2^bits probabilities.
  LZMA_INLINE unsigned Tree(LzmaProbability* probabilities, unsigned bits) {
    unsigned node = 1;
    for (unsigned i = 0; i < bits; ++i) node = (node << 1) | Bit(probabilities + node);
    return node - (1u << bits);
  }

  // `bits` bits, least significant first.
  LZMA_INLINE unsigned ReverseTree(LzmaProbability* probabilities, unsigned bits) {
    unsigned node = 1, value = 0;
    for (unsigned i = 0; i < bits; ++i) {
      const unsigned bit = Bit(probabilities + node);
      node = (node << 1) | bit;
      value |= bit << i;
    }
    return value;
  }

  LZMA_INLINE uint32_t DirectBits(unsigned count) {
    uint32_t value = 0;
    do {
      Normalize();
      range >>= 1;
      const uint32_t below = code < range ? 1 : 0;
      code -= range & (below - 1);
      value = (value << 1) | (below ^ 1);
    } while (--count);
    return value;
  }
};
