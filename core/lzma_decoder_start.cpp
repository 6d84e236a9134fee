// The decoder's set-up, which runs once per group: built for size with the rest of the
// program, apart from the symbol loop in lzma_decoder.cpp, which is built for speed.
#include "core/lzma_decoder.h"
#include "core/lzma_model.h"

#include <string.h>

LzmaDecoder::LzmaDecoder() { memset(&run_, 0, sizeof run_); }

LzmaDecoder::~LzmaDecoder() {}

int LzmaDecoder::Start(uint8_t properties, size_t dictionaryBytes, int* noMemory) {
  *noMemory = 0;
  if (properties >= 9 * 5 * 5) return 0;
  const unsigned lc = properties % 9, lp = properties / 9 % 5, pb = properties / 45;
  // The encoder never combines more than four context bits; refusing more also keeps the
  // literal model at 24 KiB instead of 6 MiB.
  if (lc + lp > kMaxContextBits) return 0;
  const size_t count = kLiterals + (static_cast<size_t>(kLiteralCoderSize) << (lc + lp));
  // A block that is large enough is used again; a larger one replaces it (its bytes
  // are not kept: every start sets the model and writes the dictionary before reading it).
  if (count > probabilities_.capacity()) probabilities_.Allocate(count);
  if (dictionaryBytes > dictionary_.capacity()) dictionary_.Allocate(dictionaryBytes);
  run_.probabilities = probabilities_.get();
  run_.dictionary = dictionary_.get();
  if (!run_.probabilities || !run_.dictionary) {
    *noMemory = 1;
    return 0;
  }
  for (size_t i = 0; i < count; ++i) run_.probabilities[i] = kLzmaProbabilityHalf;
  run_.size = dictionaryBytes;
  run_.pos = 0;
  run_.base = 0;
  run_.wrapped = false;
  run_.state = 0;
  run_.rep0 = run_.rep1 = run_.rep2 = run_.rep3 = 0;
  run_.pending = 0;
  run_.lc = lc;
  run_.lpMask = (1u << lp) - 1;
  run_.pbMask = (1u << pb) - 1;
  return 1;
}
