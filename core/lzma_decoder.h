// Raw LZMA decoding into a circular dictionary, from input held in memory. The caller
// owns the input: it keeps kLzmaMaxSymbolInput readable bytes past `inputLimit` (real
// bytes, or zero padding after the stream's end) and refills when Decode stops there.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/growable_block.h"
#include "core/lzma_range_decoder.h"

enum LzmaDecodeResult {
  kLzmaDecodeOk,        // the requested bytes are out, or the input reached its limit
  kLzmaDecodeDamaged,   // a distance before the data
  kLzmaDecodeEndMarker,  // the end marker: nothing more to decode
};

// Everything the symbol loop touches, copied to a local while it runs so that the
// compiler keeps it in registers (stores to the dictionary may alias any member).
struct LzmaRun {
  RangeDecoder rc;
  LzmaProbability* probabilities;
  uint8_t* dictionary;
  size_t size;       // of the dictionary
  size_t pos;        // next byte of the dictionary to write
  uint32_t base;     // stream position of dictionary[0] in this cycle, modulo 2^32
  bool wrapped;      // the dictionary has been filled once: all of it is history
  unsigned state;
  uint32_t rep0, rep1, rep2, rep3;
  uint32_t pending;  // bytes of the last match not copied yet
  unsigned lc, lpMask, pbMask;
};

class LzmaDecoder {
 public:
  LzmaDecoder();
  ~LzmaDecoder();
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  // Takes the properties byte and a dictionary of `dictionaryBytes`. 0 when the byte is
  // out of range (set *noMemory when an allocation failed instead).
  int Start(uint8_t properties, size_t dictionaryBytes, int* noMemory);
  // The first five bytes of the range coder: a zero, then the initial code. 0 when the
  // zero is not there.
  int StartInput(const uint8_t* first);

  // Decodes up to `capacity` bytes to `out` (also kept in the dictionary). Stops early
  // when `rc.next` passes `inputLimit`; *produced tells how many came out.
  LzmaDecodeResult Decode(const uint8_t*& next, const uint8_t* inputLimit, uint8_t* out, size_t capacity,
                          size_t* produced);
  // After the last byte: whether the stream ends here, by an end marker or with nothing,
  // given `available` bytes from `next` (padded as above). On success *next is at the end.
  int FinishAt(const uint8_t*& next, size_t available);

 private:
  LzmaRun run_;
  // The blocks that run_.probabilities and run_.dictionary point into.
  GrowableBlock<LzmaProbability> probabilities_;
  GrowableBlock<uint8_t> dictionary_;
};
