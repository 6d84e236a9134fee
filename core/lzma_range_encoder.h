// The binary range encoder under LZMA, the mirror of lzma_range_decoder.h: adaptive bits
// with 11-bit probabilities, bit trees and bits of probability one half. Its bytes go to
// a small block that is handed to the caller's sink whenever it fills.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/lzma_range_decoder.h"

// Takes `length` bytes of the stream; 0 stops the encoding (the package could not be
// written, or the user stopped the work).
typedef int (*LzmaSink)(void* context, const uint8_t* bytes, size_t length);

const size_t kLzmaOutputBlock = 1u << 16;

struct RangeEncoder {
  uint64_t low;        // 33 bits: the carry waits in bit 32
  uint32_t range;
  uint32_t pending;    // bytes held back: `cache`, then pending - 1 bytes of 0xFF
  uint8_t cache;
  int failed;          // the sink refused a block: everything after is dropped
  size_t used;         // of `block`
  LzmaSink sink;
  void* context;
  uint8_t block[kLzmaOutputBlock];

  void Start(LzmaSink output, void* outputContext) {
    low = 0;
    range = 0xFFFFFFFF;
    pending = 1;
    cache = 0;  // the decoder's leading zero
    failed = 0;
    used = 0;
    sink = output;
    context = outputContext;
  }

  void Put(uint8_t byte) {
    block[used++] = byte;
    if (used == kLzmaOutputBlock) Deliver();
  }

  // Out of line: each is called from many places, and the coding of symbols is a small
  // part of the encoder's time beside the search for matches.
  void Deliver();
  void ShiftLow();
  void Bit(LzmaProbability* probability, unsigned bit);
  // `bits` bits of `value`, most significant first.
  void Tree(LzmaProbability* probabilities, unsigned bits, unsigned value);
  void ReverseTree(LzmaProbability* probabilities, unsigned bits, unsigned value);
  void DirectBits(uint32_t value, unsigned count);
  // The last bytes: enough of `low` that the decoder's code lands inside the range.
  void Flush();
};
