#include "core/lzma_decoder.h"
#include "core/lzma_model.h"

#include <stdlib.h>
#include <string.h>

// A full dictionary starts again at its beginning; positions before it stay reachable.
static LZMA_INLINE void WrapWhenFull(LzmaRun& r) {
  if (r.pos != r.size) return;
  r.base += static_cast<uint32_t>(r.size);
  r.wrapped = true;
  r.pos = 0;
}

// How many earlier bytes a distance may reach: all decoded so far, up to the dictionary.
static LZMA_INLINE uint32_t Reach(const LzmaRun& r) {
  return static_cast<uint32_t>(r.wrapped ? r.size : r.pos);
}

// The byte `distance + 1` back from the write position (distance < Reach).
static LZMA_INLINE uint8_t ByteBack(const LzmaRun& r, uint32_t distance) {
  const size_t back = static_cast<size_t>(distance) + 1;
  return r.dictionary[r.pos >= back ? r.pos - back : r.pos + r.size - back];
}

static LZMA_INLINE void DecodeLiteral(LzmaRun& r) {
  const uint32_t position = r.base + static_cast<uint32_t>(r.pos);
  const unsigned previous = (r.wrapped || r.pos != 0) ? ByteBack(r, 0) : 0;
  LzmaProbability* probs = r.probabilities + kLiterals +
                           kLiteralCoderSize * (((position & r.lpMask) << r.lc) + (previous >> (8 - r.lc)));
  unsigned symbol = 1;
  if (r.state >= kLiteralStatesEnd) {
    // After a match the byte at the last distance predicts this one, bit by bit, until
    // the first bit that differs.
    unsigned matchByte = ByteBack(r, r.rep0);
    do {
      const unsigned matchBit = (matchByte >> 7) & 1;
      matchByte <<= 1;
      const unsigned bit = r.rc.Bit(probs + ((1 + matchBit) << 8) + symbol);
      symbol = (symbol << 1) | bit;
      if (bit != matchBit) break;
    } while (symbol < 0x100);
  }
  while (symbol < 0x100) symbol = (symbol << 1) | r.rc.Bit(probs + symbol);
  r.dictionary[r.pos++] = static_cast<uint8_t>(symbol);
  r.state = kAfterLiteral[r.state];
}

static LZMA_INLINE uint32_t DecodeLength(RangeDecoder& rc, LzmaProbability* coder, unsigned posState) {
  if (!rc.Bit(coder + kLengthChoice)) return kMinMatch + rc.Tree(coder + kLengthLow + (posState << 3), 3);
  if (!rc.Bit(coder + kLengthChoice2)) return kMinMatch + 8 + rc.Tree(coder + kLengthMid + (posState << 3), 3);
  return kMinMatch + 16 + rc.Tree(coder + kLengthHigh, 8);
}

static LZMA_INLINE uint32_t DecodeDistance(RangeDecoder& rc, LzmaProbability* probs, uint32_t length) {
  const unsigned lengthState = length - kMinMatch < 3 ? length - kMinMatch : 3;
  const unsigned slot = rc.Tree(probs + kDistanceSlot + (lengthState << 6), 6);
  if (slot < 4) return slot;
  const unsigned footerBits = (slot >> 1) - 1;
  const uint32_t distance = (2 | (slot & 1)) << footerBits;
  if (slot < 14) return distance + rc.ReverseTree(probs + kDistanceSpecial + distance - slot - 1, footerBits);
  const uint32_t middle = rc.DirectBits(footerBits - 4) << 4;
  return distance + middle + rc.ReverseTree(probs + kAlign, 4);
}

// A new distance. Returns 0 for one that reaches before the data, or the end marker.
static LZMA_INLINE int DecodeMatch(LzmaRun& r, unsigned posState, uint32_t* length) {
  r.rep3 = r.rep2;
  r.rep2 = r.rep1;
  r.rep1 = r.rep0;
  *length = DecodeLength(r.rc, r.probabilities + kMatchLength, posState);
  r.state = r.state < kLiteralStatesEnd ? 7 : 10;
  r.rep0 = DecodeDistance(r.rc, r.probabilities, *length);
  return r.rep0 < Reach(r);
}

// One of the four last distances again, or a single byte from the last (a short rep).
static LZMA_INLINE int DecodeRep(LzmaRun& r, unsigned posState, uint32_t* length) {
  LzmaProbability* probs = r.probabilities;
  if (!r.rc.Bit(probs + kIsRepG0 + r.state)) {
    if (!r.rc.Bit(probs + kIsRep0Long + (r.state << 4) + posState)) {
      r.state = r.state < kLiteralStatesEnd ? 9 : 11;
      *length = 1;
      return r.rep0 < Reach(r);
    }
  } else {
    uint32_t distance;
    if (!r.rc.Bit(probs + kIsRepG1 + r.state)) {
      distance = r.rep1;
    } else {
      if (!r.rc.Bit(probs + kIsRepG2 + r.state)) {
        distance = r.rep2;
      } else {
        distance = r.rep3;
        r.rep3 = r.rep2;
      }
      r.rep2 = r.rep1;
    }
    r.rep1 = r.rep0;
    r.rep0 = distance;
  }
  *length = DecodeLength(r.rc, probs + kRepLength, posState);
  r.state = r.state < kLiteralStatesEnd ? 8 : 11;
  return r.rep0 < Reach(r);
}

// Copies `length` bytes from rep0 back, as far as `limit`; the rest waits in `pending`.
static LZMA_INLINE void CopyMatch(LzmaRun& r, uint32_t length, size_t limit) {
  const size_t room = limit - r.pos;
  size_t count = length <= room ? length : room;
  r.pending = static_cast<uint32_t>(length - count);
  const size_t back = static_cast<size_t>(r.rep0) + 1;
  size_t from = r.pos >= back ? r.pos - back : r.pos + r.size - back;
  uint8_t* dictionary = r.dictionary;
  size_t to = r.pos;
  r.pos += count;
  if (from < to && back >= count) {
    memcpy(dictionary + to, dictionary + from, count);
  } else if (from < to) {
    // Overlapping: each byte may be one this same copy wrote.
    do dictionary[to++] = dictionary[from++];
    while (--count);
  } else {
    while (count--) {
      dictionary[to++] = dictionary[from++];
      if (from == r.size) from = 0;
    }
  }
}

static LzmaDecodeResult DecodeSymbols(LzmaRun& r, const uint8_t* inputLimit, size_t limit) {
  LzmaProbability* probs = r.probabilities;
  while (r.pos < limit && r.rc.next <= inputLimit) {
    const unsigned posState = (r.base + static_cast<uint32_t>(r.pos)) & r.pbMask;
    if (!r.rc.Bit(probs + kIsMatch + (r.state << 4) + posState)) {
      DecodeLiteral(r);
      continue;
    }
    uint32_t length;
    const int valid = r.rc.Bit(probs + kIsRep + r.state) ? DecodeRep(r, posState, &length)
                                                         : DecodeMatch(r, posState, &length);
    if (!valid) return r.rep0 == kEndMarkerDistance ? kLzmaDecodeEndMarker : kLzmaDecodeDamaged;
    CopyMatch(r, length, limit);
  }
  return kLzmaDecodeOk;
}

int LzmaDecoder::StartInput(const uint8_t* first) {
  if (first[0] != 0) return 0;
  run_.rc.range = 0xFFFFFFFF;
  run_.rc.code = static_cast<uint32_t>(first[1]) << 24 | static_cast<uint32_t>(first[2]) << 16 |
                 static_cast<uint32_t>(first[3]) << 8 | first[4];
  return 1;
}

LzmaDecodeResult LzmaDecoder::Decode(const uint8_t*& next, const uint8_t* inputLimit, uint8_t* out,
                                     size_t capacity, size_t* produced) {
  LzmaRun r = run_;
  WrapWhenFull(r);
  const size_t start = r.pos;
  const size_t limit = start + (capacity < r.size - start ? capacity : r.size - start);
  r.rc.next = next;
  if (r.pending && limit > start) CopyMatch(r, r.pending, limit);
  const LzmaDecodeResult result = DecodeSymbols(r, inputLimit, limit);
  next = r.rc.next;
  *produced = r.pos - start;
  memcpy(out, r.dictionary + start, *produced);
  run_ = r;
  return result;
}

int LzmaDecoder::FinishAt(const uint8_t*& next, size_t available) {
  LzmaRun r = run_;
  if (r.pending) return 0;
  r.rc.next = next;
  const size_t normalize = r.rc.range < (1u << 24) ? 1 : 0;
  if (available > normalize) {
    // More bytes than the coder's last one: they must be an end marker. Decoding one
    // more symbol may write a byte into the dictionary; it is refused then anyway.
    WrapWhenFull(r);
    if (DecodeSymbols(r, next + available, r.pos + 1) != kLzmaDecodeEndMarker) return 0;
  }
  r.rc.Normalize();
  if (static_cast<size_t>(r.rc.next - next) != available || r.rc.code != 0) return 0;
  next = r.rc.next;
  return 1;
}
