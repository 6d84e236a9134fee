#include "core/lzma_encoder.h"
#include "core/lzma_model.h"

#include <string.h>

namespace {

// The match length the parser takes at once, without looking at the next position.
const unsigned kNiceLength = 48;
// Input held after the coded position while more may come: the parser never looks past
// it, so the pieces' sizes cannot change a decision.
const size_t kLookAhead = kLzmaMatchMax + 8;

// Prices are in sixteenths of a bit.
const unsigned kPriceBits = 4;

}  // namespace

struct LzmaEncoderState {
  RangeEncoder rc;
  LzmaProbability probabilities[kProbabilityCount];
  unsigned lc, lpMask, pbMask;
  unsigned state;
  uint32_t reps[4];
  uint32_t position;  // of the next byte to code, modulo 2^32
  uint32_t history;   // bytes coded, at most the dictionary: distances reach no further back
  uint32_t dictionary;
  uint32_t bitPrices[1 << (kLzmaProbabilityBits - kPriceBits)];
  LzmaMatch matches[kLzmaMatchMax];
  unsigned matchCount;
  int matchesCached;  // matches[] are those of the next position, already found
};

namespace {

typedef LzmaEncoderState State;

inline uint32_t Price0(const State& s, LzmaProbability p) { return s.bitPrices[p >> kPriceBits]; }
inline uint32_t Price1(const State& s, LzmaProbability p) {
  return s.bitPrices[((1u << kLzmaProbabilityBits) - p) >> kPriceBits];
}
inline uint32_t PriceBit(const State& s, LzmaProbability p, unsigned bit) { return bit ? Price1(s, p) : Price0(s, p); }

// 16 * -log2(p / 2048) at the middle of each step of probabilities, in integers: the
// fraction of the logarithm comes from squaring the mantissa four times.
void MakeBitPrices(State& s) {
  for (unsigned i = 0; i < (1u << (kLzmaProbabilityBits - kPriceBits)); ++i) {
    uint32_t w = (i << kPriceBits) + (1u << (kPriceBits - 1));
    unsigned exponent = 0;
    while ((w >> exponent) > 1) ++exponent;
    uint32_t mantissa = w << (15 - exponent);  // in [2^15, 2^16)
    unsigned fraction = 0;
    for (unsigned k = 0; k < kPriceBits; ++k) {
      mantissa = (mantissa * mantissa) >> 15;
      fraction <<= 1;
      if (mantissa >= (1u << 16)) {
        mantissa >>= 1;
        fraction |= 1;
      }
    }
    s.bitPrices[i] = (kLzmaProbabilityBits << kPriceBits) - ((exponent << kPriceBits) + fraction);
  }
}

unsigned DistanceSlot(uint32_t distance) {
  if (distance < 4) return distance;
  const unsigned top = 31 - __builtin_clz(distance);
  return (top << 1) | ((distance >> (top - 1)) & 1);
}

inline unsigned PosState(const State& s, uint32_t offset) { return (s.position + offset) & s.pbMask; }

LzmaProbability* LiteralCoder(State& s, const uint8_t* data) {
  const unsigned previous = s.history ? data[-1] : 0;
  return s.probabilities + kLiterals +
         kLiteralCoderSize * (((s.position & s.lpMask) << s.lc) + (previous >> (8 - s.lc)));
}

// The literal's eight bits at the position: coded when `encode` is set, otherwise priced.
// After a match the byte at the last distance predicts the literal, bit by bit, until
// the first bit that differs: `matched` says whether that coder is in use.
uint32_t Literal(State& s, const uint8_t* data, int encode) {
  LzmaProbability* probs = LiteralCoder(s, data);
  unsigned symbol = 1, matched = s.state >= kLiteralStatesEnd;
  const unsigned byte = data[0], matchByte = matched ? data[-1 - static_cast<ptrdiff_t>(s.reps[0])] : 0;
  uint32_t price = 0;
  for (int i = 7; i >= 0; --i) {
    const unsigned bit = (byte >> i) & 1, matchBit = (matchByte >> i) & 1;
    LzmaProbability* probability = probs + (matched ? ((1 + matchBit) << 8) + symbol : symbol);
    if (encode)
      s.rc.Bit(probability, bit);
    else
      price += PriceBit(s, *probability, bit);
    matched &= bit == matchBit;
    symbol = (symbol << 1) | bit;
  }
  return price;
}

}  // namespace

// The symbols, coded at the state's position; each moves the position on.
namespace {

void Advance(State& s, uint32_t length) {
  s.position += length;
  s.history = s.dictionary - s.history <= length ? s.dictionary : s.history + length;
}

void EncodeLiteral(State& s, const uint8_t* data) {
  s.rc.Bit(s.probabilities + kIsMatch + (s.state << 4) + PosState(s, 0), 0);
  Literal(s, data, 1);
  s.state = kAfterLiteral[s.state];
  Advance(s, 1);
}

void EncodeLength(State& s, unsigned coder, uint32_t length, unsigned posState) {
  LzmaProbability* probs = s.probabilities + (coder ? kRepLength : kMatchLength);
  length -= kLzmaMatchMin;
  s.rc.Bit(probs + kLengthChoice, length >= 8);
  if (length < 8) {
    s.rc.Tree(probs + kLengthLow + (posState << 3), 3, length);
  } else {
    s.rc.Bit(probs + kLengthChoice2, length >= 16);
    if (length < 16)
      s.rc.Tree(probs + kLengthMid + (posState << 3), 3, length - 8);
    else
      s.rc.Tree(probs + kLengthHigh, 8, length - 16);
  }
}

// A new distance (`distance` is one less than how far back it reaches).
void EncodeMatch(State& s, uint32_t distance, uint32_t length) {
  const unsigned posState = PosState(s, 0);
  s.rc.Bit(s.probabilities + kIsMatch + (s.state << 4) + posState, 1);
  s.rc.Bit(s.probabilities + kIsRep + s.state, 0);
  EncodeLength(s, 0, length, posState);
  const unsigned lengthState = length - kLzmaMatchMin < 3 ? length - kLzmaMatchMin : 3;
  const unsigned slot = DistanceSlot(distance);
  s.rc.Tree(s.probabilities + kDistanceSlot + (lengthState << 6), 6, slot);
  if (slot >= 4) {
    const unsigned footerBits = (slot >> 1) - 1;
    const uint32_t base = (2 | (slot & 1)) << footerBits;
    const uint32_t rest = distance - base;
    if (slot < 14) {
      s.rc.ReverseTree(s.probabilities + kDistanceSpecial + base - slot - 1, footerBits, rest);
    } else {
      s.rc.DirectBits(rest >> 4, footerBits - 4);
      s.rc.ReverseTree(s.probabilities + kAlign, 4, rest & 15);
    }
  }
  s.reps[3] = s.reps[2];
  s.reps[2] = s.reps[1];
  s.reps[1] = s.reps[0];
  s.reps[0] = distance;
  s.state = s.state < kLiteralStatesEnd ? 7 : 10;
  Advance(s, length);
}

// One of the four last distances again; length 1 of the last is a short rep.
void EncodeRep(State& s, unsigned index, uint32_t length) {
  const unsigned posState = PosState(s, 0);
  LzmaProbability* probs = s.probabilities;
  s.rc.Bit(probs + kIsMatch + (s.state << 4) + posState, 1);
  s.rc.Bit(probs + kIsRep + s.state, 1);
  s.rc.Bit(probs + kIsRepG0 + s.state, index != 0);
  if (index == 0) {
    s.rc.Bit(probs + kIsRep0Long + (s.state << 4) + posState, length != 1);
    if (length == 1) {
      s.state = s.state < kLiteralStatesEnd ? 9 : 11;
      Advance(s, 1);
      return;
    }
  } else {
    s.rc.Bit(probs + kIsRepG1 + s.state, index != 1);
    if (index != 1) s.rc.Bit(probs + kIsRepG2 + s.state, index != 2);
    const uint32_t distance = s.reps[index];
    for (unsigned k = index; k > 0; --k) s.reps[k] = s.reps[k - 1];
    s.reps[0] = distance;
  }
  EncodeLength(s, 1, length, posState);
  s.state = s.state < kLiteralStatesEnd ? 8 : 11;
  Advance(s, length);
}

uint32_t ShortRepPrice(const State& s, unsigned state, unsigned posState) {
  const LzmaProbability* probs = s.probabilities;
  return Price1(s, probs[kIsMatch + (state << 4) + posState]) + Price1(s, probs[kIsRep + state]) +
         Price0(s, probs[kIsRepG0 + state]) + Price0(s, probs[kIsRep0Long + (state << 4) + posState]);
}

}  // namespace

// The parser.
namespace {

inline uint32_t Shorter(uint32_t a, uint32_t b) { return a < b ? a : b; }

// How many bytes each of `reps` repeats at `data` (0 for fewer than two, or a distance
// that reaches before the stream), up to `limit`.
void RepLengths(const uint32_t* reps, const uint8_t* data, uint32_t limit, uint32_t reachable, uint32_t* lengths) {
  for (unsigned i = 0; i < 4; ++i) {
    lengths[i] = 0;
    if (reps[i] >= reachable || limit < 2) continue;
    const uint8_t* q = data - 1 - static_cast<ptrdiff_t>(reps[i]);
    if (q[0] != data[0] || q[1] != data[1]) continue;
    uint32_t length = 2;
    while (length < limit && q[length] == data[length]) ++length;
    lengths[i] = length;
  }
}

// The dictionary is at least 1, `offset` 0 or 1.
uint32_t Reachable(const State& s, uint32_t offset) {
  return s.history >= s.dictionary - offset ? s.dictionary : s.history + offset;
}

// A literal, or a short rep when it is cheaper.
void EncodeByte(State& s, const uint8_t* data) {
  if (s.reps[0] < Reachable(s, 0) && data[0] == data[-1 - static_cast<ptrdiff_t>(s.reps[0])]) {
    const unsigned posState = PosState(s, 0);
    const uint32_t literal = Price0(s, s.probabilities[kIsMatch + (s.state << 4) + posState]) +
                             Literal(s, data, 0);
    if (ShortRepPrice(s, s.state, posState) < literal) {
      EncodeRep(s, 0, 1);
      return;
    }
  }
  EncodeLiteral(s, data);
}

// Whether a distance is so much larger than another that one byte more is not worth it.
inline bool FarBeyond(uint32_t small, uint32_t large) { return (large >> 7) > small; }

// Takes the match at the position unless the next position has a clearly better one.
void LazyStep(State& s, LzmaMatchFinder& finder, const uint8_t* data, uint32_t limit, const uint32_t* repLengths,
              unsigned bestRep) {
  unsigned m = s.matchCount;
  while (m > 1 && s.matches[m - 1].length == s.matches[m - 2].length + 1 &&
         FarBeyond(s.matches[m - 2].distance, s.matches[m - 1].distance))
    --m;
  LzmaMatch main = m ? s.matches[m - 1] : LzmaMatch{0, 0};
  if (main.length == 2 && main.distance > 128) main.length = 0;
  const uint32_t repLength = repLengths[bestRep];
  if (repLength >= 2 && (repLength + 1 >= main.length || (repLength + 2 >= main.length && main.distance > 512) ||
                         (repLength + 3 >= main.length && main.distance > 32768))) {
    EncodeRep(s, bestRep, repLength);
    finder.Skip(repLength - 1);
    return;
  }
  if (main.length < 2) {
    EncodeByte(s, data);
    return;
  }
  s.matchCount = finder.Find(s.matches);
  s.matchesCached = 1;
  const LzmaMatch next = s.matchCount ? s.matches[s.matchCount - 1] : LzmaMatch{0, 0};
  bool later = next.length >= 2 && ((next.length >= main.length && next.distance < main.distance) ||
                                    (next.length == main.length + 1 && !FarBeyond(main.distance, next.distance)) ||
                                    next.length > main.length + 1 ||
                                    (next.length + 1 >= main.length && main.length >= 3 &&
                                     FarBeyond(next.distance, main.distance)));
  uint32_t nextReps[4];
  RepLengths(s.reps, data + 1, limit - 1, Reachable(s, 1), nextReps);
  for (unsigned i = 0; i < 4; ++i) later |= nextReps[i] >= 2 && nextReps[i] + 1 >= main.length;
  if (later) {
    EncodeByte(s, data);
    return;
  }
  EncodeMatch(s, main.distance - 1, main.length);
  s.matchesCached = 0;
  finder.Skip(main.length - 2);
}

void EncodeStep(State& s, LzmaMatchFinder& finder) {
  if (!s.matchesCached) s.matchCount = finder.Find(s.matches);
  s.matchesCached = 0;
  const uint8_t* data = finder.current() - 1;
  const uint32_t limit = Shorter(static_cast<uint32_t>(finder.available()) + 1, kLzmaMatchMax);
  uint32_t repLengths[4];
  RepLengths(s.reps, data, limit, Reachable(s, 0), repLengths);
  unsigned bestRep = 0;
  for (unsigned i = 1; i < 4; ++i)
    if (repLengths[i] > repLengths[bestRep]) bestRep = i;
  if (repLengths[bestRep] >= kNiceLength) {
    EncodeRep(s, bestRep, repLengths[bestRep]);
    finder.Skip(repLengths[bestRep] - 1);
    return;
  }
  const LzmaMatch longest = s.matchCount ? s.matches[s.matchCount - 1] : LzmaMatch{0, 0};
  if (longest.length >= kNiceLength) {
    EncodeMatch(s, longest.distance - 1, longest.length);
    finder.Skip(longest.length - 1);
    return;
  }
  if (longest.length < 2 && repLengths[bestRep] < 2) {
    EncodeByte(s, data);
    return;
  }
  LazyStep(s, finder, data, limit, repLengths, bestRep);
}

}  // namespace

LzmaEncoder::LzmaEncoder() : consumed_(0) {}

LzmaEncoder::~LzmaEncoder() {}

uint64_t LzmaEncoder::MemoryFor(uint32_t dictionary) {
  return LzmaMatchFinder::MemoryFor(dictionary) + sizeof(LzmaEncoderState);
}

int LzmaEncoder::Start(uint8_t properties, uint32_t dictionary, LzmaSink sink, void* context, int* noMemory) {
  *noMemory = 0;
  const unsigned lc = properties % 9, lp = properties / 9 % 5, pb = properties / 45;
  if (properties >= 9 * 5 * 5 || lc + lp > kMaxContextBits || dictionary == 0) return 0;
  state_.Reset();
  if (!state_.Make() || !finder_.Start(dictionary, kNiceLength)) {
    *noMemory = 1;
    return 0;
  }
  State& s = *state_;
  s.rc.Start(sink, context);
  for (unsigned i = 0; i < kProbabilityCount; ++i) s.probabilities[i] = kLzmaProbabilityHalf;
  s.lc = lc;
  s.lpMask = (1u << lp) - 1;
  s.pbMask = (1u << pb) - 1;
  s.dictionary = dictionary;
  MakeBitPrices(s);
  consumed_ = 0;
  return 1;
}

// Codes while more than `keep` bytes wait after the position.
int LzmaEncoder::Encode(size_t keep) {
  State& s = *state_;
  while (finder_.available() + (s.matchesCached ? 1 : 0) > keep && !s.rc.failed) EncodeStep(s, finder_);
  return !s.rc.failed;
}

int LzmaEncoder::Write(const uint8_t* bytes, size_t length) {
  while (length != 0) {
    const size_t room = finder_.Room();
    const size_t taken = room < length ? room : length;
    memcpy(finder_.end(), bytes, taken);
    finder_.Take(taken);
    consumed_ += taken;
    bytes += taken;
    length -= taken;
    if (!Encode(kLookAhead)) return 0;
  }
  return 1;
}

int LzmaEncoder::Finish() {
  if (!Encode(0)) return 0;
  State& s = *state_;
  EncodeMatch(s, kEndMarkerDistance, kLzmaMatchMin);
  s.rc.Flush();
  return !s.rc.failed;
}
