#include "core/lzma_encoder.h"

#include <string.h>

// The model's layout is the decoder's (lzma_decoder.cpp): one array of probabilities.
namespace {
const unsigned kStates = 12;
const unsigned kPosStatesMax = 16;
const unsigned kIsMatch = 0;
const unsigned kIsRep = kIsMatch + kStates * kPosStatesMax;
const unsigned kIsRepG0 = kIsRep + kStates;
const unsigned kIsRepG1 = kIsRepG0 + kStates;
const unsigned kIsRepG2 = kIsRepG1 + kStates;
const unsigned kIsRep0Long = kIsRepG2 + kStates;
const unsigned kDistanceSlot = kIsRep0Long + kStates * kPosStatesMax;
const unsigned kDistanceSpecial = kDistanceSlot + (4 << 6);
const unsigned kAlign = kDistanceSpecial + 114;
const unsigned kLengthChoice = 0, kLengthChoice2 = 1, kLengthLow = 2;
const unsigned kLengthMid = kLengthLow + (kPosStatesMax << 3);
const unsigned kLengthHigh = kLengthMid + (kPosStatesMax << 3);
const unsigned kLengthCoderSize = kLengthHigh + 256;
const unsigned kMatchLength = kAlign + 16;
const unsigned kRepLength = kMatchLength + kLengthCoderSize;
const unsigned kLiterals = kRepLength + kLengthCoderSize;
const unsigned kLiteralCoderSize = 0x300;
const unsigned kMaxContextBits = 4;
const unsigned kProbabilityCount = kLiterals + (kLiteralCoderSize << kMaxContextBits);
const uint32_t kEndMarkerDistance = 0xFFFFFFFF;
const unsigned kLiteralStatesEnd = 7;
const uint8_t kAfterLiteral[kStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

// The parser's reach: how far ahead it prices paths, and the match length it takes at
// once without looking further.
const unsigned kOptimumSize = 1024;
const unsigned kNiceLength = 48;
const bool kLazy = true;
// Input held after the coded position while more may come: the parser never looks past
// it, so the pieces' sizes cannot change a decision.
const size_t kLookAhead = kOptimumSize + kLzmaMatchMax + 8;

// Prices are in sixteenths of a bit. A table is refreshed after this many uses of its model.
const unsigned kPriceBits = 4;
const uint32_t kInfinity = 1u << 30;
const unsigned kLengthRefresh = 64, kDistanceRefresh = 64, kAlignRefresh = 16;
const unsigned kFullDistances = 128;
const unsigned kLengthSymbols = 8 + 8 + 256;
const uint32_t kLiteralBack = 0xFFFFFFFF;  // a node reached by a literal
const unsigned kRepBacks = 4;              // backs below are repeated distances, above distance + 4

}  // namespace

// One node of the parser's stretch: the cheapest known way to reach it.
struct LzmaOptimum {
  uint32_t price;
  uint32_t from;  // the node the last symbol starts at
  uint32_t back;  // kLiteralBack, a rep index, or distance - 1 + kRepBacks
  uint32_t reps[4];
  uint32_t state;
  uint32_t next;  // on the chosen path, the node after this one
};

struct LzmaEncoderState {
  RangeEncoder rc;
  LzmaProbability probabilities[kProbabilityCount];
  unsigned lc, lpMask, pbMask;
  unsigned state;
  uint32_t reps[4];
  uint32_t position;  // of the next byte to code, modulo 2^32
  uint64_t coded;     // bytes coded: distances reach no further back
  uint32_t dictionary;
  uint32_t bitPrices[1 << (kLzmaProbabilityBits - kPriceBits)];
  uint32_t lengthPrices[2][kPosStatesMax][kLengthSymbols];
  uint32_t slotPrices[4][64];
  uint32_t distancePrices[4][kFullDistances];
  uint32_t alignPrices[16];
  unsigned lengthUses[2], distanceUses, alignUses;
  LzmaMatch matches[kLzmaMatchMax];
  unsigned matchCount;
  int matchesCached;  // matches[] are those of the next position, already found
  LzmaOptimum optimum[kOptimumSize];
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

uint32_t TreePrice(const State& s, const LzmaProbability* probs, unsigned bits, unsigned value) {
  uint32_t price = 0;
  unsigned node = 1;
  while (bits--) {
    const unsigned bit = (value >> bits) & 1;
    price += PriceBit(s, probs[node], bit);
    node = (node << 1) | bit;
  }
  return price;
}

uint32_t ReverseTreePrice(const State& s, const LzmaProbability* probs, unsigned bits, unsigned value) {
  uint32_t price = 0;
  unsigned node = 1;
  while (bits--) {
    const unsigned bit = value & 1;
    value >>= 1;
    price += PriceBit(s, probs[node], bit);
    node = (node << 1) | bit;
  }
  return price;
}

unsigned DistanceSlot(uint32_t distance) {
  if (distance < 4) return distance;
  const unsigned top = 31 - __builtin_clz(distance);
  return (top << 1) | ((distance >> (top - 1)) & 1);
}

void MakeLengthPrices(State& s, unsigned coder) {
  const LzmaProbability* probs = s.probabilities + (coder ? kRepLength : kMatchLength);
  const uint32_t low = Price0(s, probs[kLengthChoice]);
  const uint32_t mid = Price1(s, probs[kLengthChoice]) + Price0(s, probs[kLengthChoice2]);
  const uint32_t high = Price1(s, probs[kLengthChoice]) + Price1(s, probs[kLengthChoice2]);
  for (unsigned posState = 0; posState <= s.pbMask; ++posState) {
    uint32_t* prices = s.lengthPrices[coder][posState];
    for (unsigned i = 0; i < 8; ++i) {
      prices[i] = low + TreePrice(s, probs + kLengthLow + (posState << 3), 3, i);
      prices[8 + i] = mid + TreePrice(s, probs + kLengthMid + (posState << 3), 3, i);
    }
    for (unsigned i = 0; i < 256; ++i) prices[16 + i] = high + TreePrice(s, probs + kLengthHigh, 8, i);
  }
  s.lengthUses[coder] = 0;
}

void MakeDistancePrices(State& s) {
  for (unsigned lengthState = 0; lengthState < 4; ++lengthState) {
    uint32_t* slots = s.slotPrices[lengthState];
    for (unsigned slot = 0; slot < 64; ++slot) {
      slots[slot] = TreePrice(s, s.probabilities + kDistanceSlot + (lengthState << 6), 6, slot);
      if (slot >= 14) slots[slot] += ((slot >> 1) - 1 - 4) << kPriceBits;
    }
    for (uint32_t distance = 0; distance < kFullDistances; ++distance) {
      const unsigned slot = DistanceSlot(distance);
      uint32_t price = slots[slot];
      if (slot >= 4) {
        const unsigned footerBits = (slot >> 1) - 1;
        const uint32_t base = (2 | (slot & 1)) << footerBits;
        price += ReverseTreePrice(s, s.probabilities + kDistanceSpecial + base - slot - 1, footerBits, distance - base);
      }
      s.distancePrices[lengthState][distance] = price;
    }
  }
  s.distanceUses = 0;
}

void MakeAlignPrices(State& s) {
  for (unsigned i = 0; i < 16; ++i) s.alignPrices[i] = ReverseTreePrice(s, s.probabilities + kAlign, 4, i);
  s.alignUses = 0;
}

inline unsigned PosState(const State& s, uint32_t offset) { return (s.position + offset) & s.pbMask; }

LzmaProbability* LiteralCoder(State& s, uint32_t offset, const uint8_t* data) {
  const unsigned previous = (s.coded + offset) ? data[-1] : 0;
  return s.probabilities + kLiterals +
         kLiteralCoderSize * ((((s.position + offset) & s.lpMask) << s.lc) + (previous >> (8 - s.lc)));
}

// After a match the byte at the last distance predicts the literal, bit by bit, until
// the first bit that differs: `matched` says whether that coder is in use.
uint32_t LiteralPrice(State& s, uint32_t offset, const uint8_t* data, unsigned state, uint32_t rep0) {
  const LzmaProbability* probs = LiteralCoder(s, offset, data);
  unsigned symbol = 1, matched = state >= kLiteralStatesEnd;
  const unsigned byte = data[0], matchByte = matched ? data[-1 - static_cast<ptrdiff_t>(rep0)] : 0;
  uint32_t price = 0;
  for (int i = 7; i >= 0; --i) {
    const unsigned bit = (byte >> i) & 1, matchBit = (matchByte >> i) & 1;
    price += PriceBit(s, probs[matched ? ((1 + matchBit) << 8) + symbol : symbol], bit);
    matched &= bit == matchBit;
    symbol = (symbol << 1) | bit;
  }
  return price;
}

}  // namespace

// The symbols, coded at the state's position; each moves the position on.
namespace {

void EncodeLiteral(State& s, const uint8_t* data) {
  LzmaProbability* probs = LiteralCoder(s, 0, data);
  s.rc.Bit(s.probabilities + kIsMatch + (s.state << 4) + PosState(s, 0), 0);
  unsigned symbol = 1, matched = s.state >= kLiteralStatesEnd;
  const unsigned byte = data[0], matchByte = matched ? data[-1 - static_cast<ptrdiff_t>(s.reps[0])] : 0;
  for (int i = 7; i >= 0; --i) {
    const unsigned bit = (byte >> i) & 1, matchBit = (matchByte >> i) & 1;
    s.rc.Bit(probs + (matched ? ((1 + matchBit) << 8) + symbol : symbol), bit);
    matched &= bit == matchBit;
    symbol = (symbol << 1) | bit;
  }
  s.state = kAfterLiteral[s.state];
  ++s.position;
  ++s.coded;
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
  if (++s.lengthUses[coder] >= kLengthRefresh) MakeLengthPrices(s, coder);
}

void Advance(State& s, uint32_t length) {
  s.position += length;
  s.coded += length;
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
      if (++s.alignUses >= kAlignRefresh) MakeAlignPrices(s);
    }
  }
  if (++s.distanceUses >= kDistanceRefresh) MakeDistancePrices(s);
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

// The price of the symbol head of a rep at index `index` (length 2 or more).
uint32_t RepPrice(const State& s, unsigned index, unsigned state, unsigned posState) {
  const LzmaProbability* probs = s.probabilities;
  uint32_t price = Price1(s, probs[kIsMatch + (state << 4) + posState]) + Price1(s, probs[kIsRep + state]);
  if (index == 0) return price + Price0(s, probs[kIsRepG0 + state]) + Price1(s, probs[kIsRep0Long + (state << 4) + posState]);
  price += Price1(s, probs[kIsRepG0 + state]);
  if (index == 1) return price + Price0(s, probs[kIsRepG1 + state]);
  return price + Price1(s, probs[kIsRepG1 + state]) + PriceBit(s, probs[kIsRepG2 + state], index - 2);
}

uint32_t ShortRepPrice(const State& s, unsigned state, unsigned posState) {
  const LzmaProbability* probs = s.probabilities;
  return Price1(s, probs[kIsMatch + (state << 4) + posState]) + Price1(s, probs[kIsRep + state]) +
         Price0(s, probs[kIsRepG0 + state]) + Price0(s, probs[kIsRep0Long + (state << 4) + posState]);
}

// The price of a distance (one less than how far back it reaches) after a length of
// each of the four length states.
void DistancePrices(const State& s, uint32_t distance, uint32_t* prices) {
  for (unsigned lengthState = 0; lengthState < 4; ++lengthState) {
    prices[lengthState] = distance < kFullDistances
                              ? s.distancePrices[lengthState][distance]
                              : s.slotPrices[lengthState][DistanceSlot(distance)] + s.alignPrices[distance & 15];
  }
}

}  // namespace

// The parser.
namespace {

inline uint32_t Shorter(uint32_t a, uint32_t b) { return a < b ? a : b; }

// How many bytes each of `reps` repeats at `data` (0 for fewer than two, or a distance
// that reaches before the stream), up to `limit`.
void RepLengths(const uint32_t* reps, const uint8_t* data, uint32_t limit, uint64_t reachable, uint32_t* lengths) {
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

uint64_t Reachable(const State& s, uint32_t offset) {
  return s.coded + offset < s.dictionary ? s.coded + offset : s.dictionary;
}

// The node's state and distances from the node its last symbol starts at.
void EnterNode(LzmaOptimum* opt, unsigned at) {
  LzmaOptimum& node = opt[at];
  const LzmaOptimum& from = opt[node.from];
  const unsigned before = from.state < kLiteralStatesEnd;
  memcpy(node.reps, from.reps, sizeof node.reps);
  if (node.back == kLiteralBack) {
    node.state = kAfterLiteral[from.state];
  } else if (node.back >= kRepBacks) {
    node.state = before ? 7 : 10;
    memmove(node.reps + 1, from.reps, 3 * sizeof(uint32_t));
    node.reps[0] = node.back - kRepBacks;
  } else if (at - node.from == 1 && node.back == 0) {
    node.state = before ? 9 : 11;
  } else {
    node.state = before ? 8 : 11;
    for (unsigned k = node.back; k > 0; --k) node.reps[k] = from.reps[k - 1];
    node.reps[0] = from.reps[node.back];
  }
}

inline void Relax(LzmaOptimum* opt, unsigned& end, unsigned from, unsigned to, uint32_t price, uint32_t back) {
  while (end < to) opt[++end].price = kInfinity;
  if (price < opt[to].price) {
    opt[to].price = price;
    opt[to].from = from;
    opt[to].back = back;
  }
}

// Every symbol that may start at node `at`: a literal, a short rep, the reps and the
// matches found there, each lengthening the path to the node where it ends.
void RelaxFrom(State& s, LzmaOptimum* opt, unsigned& end, unsigned at, const uint8_t* data, uint32_t limit) {
  const LzmaOptimum& node = opt[at];
  const unsigned state = node.state, posState = PosState(s, at);
  const LzmaProbability* isMatch = s.probabilities + kIsMatch + (state << 4) + posState;
  const uint64_t reachable = Reachable(s, at);
  Relax(opt, end, at, at + 1, node.price + Price0(s, *isMatch) + LiteralPrice(s, at, data, state, node.reps[0]),
        kLiteralBack);
  if (node.reps[0] < reachable && data[0] == data[-1 - static_cast<ptrdiff_t>(node.reps[0])])
    Relax(opt, end, at, at + 1, node.price + ShortRepPrice(s, state, posState), 0);
  uint32_t repLengths[4];
  RepLengths(node.reps, data, limit, reachable, repLengths);
  for (unsigned i = 0; i < 4; ++i) {
    const uint32_t base = node.price + RepPrice(s, i, state, posState);
    for (uint32_t length = 2; length <= repLengths[i]; ++length)
      Relax(opt, end, at, at + length, base + s.lengthPrices[1][posState][length - kLzmaMatchMin], i);
  }
  const uint32_t base = node.price + Price1(s, *isMatch) + Price0(s, s.probabilities[kIsRep + state]);
  uint32_t length = 2;
  for (unsigned m = 0; m < s.matchCount; ++m) {
    const uint32_t longest = Shorter(s.matches[m].length, limit);
    const uint32_t distance = s.matches[m].distance - 1;
    uint32_t distancePrices[4];
    DistancePrices(s, distance, distancePrices);
    for (; length <= longest; ++length) {
      const uint32_t price = base + s.lengthPrices[0][posState][length - kLzmaMatchMin] +
                             distancePrices[length - kLzmaMatchMin < 3 ? length - kLzmaMatchMin : 3];
      Relax(opt, end, at, at + length, price, distance + kRepBacks);
    }
  }
}

void EmitPath(State& s, LzmaOptimum* opt, unsigned end, const uint8_t* data) {
  for (unsigned at = end; at != 0; at = opt[at].from) opt[opt[at].from].next = at;
  for (unsigned at = 0; at != end; at = opt[at].next) {
    const unsigned to = opt[at].next;
    const uint32_t back = opt[to].back;
    if (back == kLiteralBack)
      EncodeLiteral(s, data + at);
    else if (back < kRepBacks)
      EncodeRep(s, back, to - at);
    else
      EncodeMatch(s, back - kRepBacks, to - at);
  }
}

// Prices the paths from the position over the stretch that its matches reach (and the
// matches found on the way reach), then codes the cheapest. A match of the nice length
// found on the way ends the stretch where it starts: the next step takes it at once.
void Optimize(State& s, LzmaMatchFinder& finder, const uint8_t* data, unsigned end) {
  LzmaOptimum* opt = s.optimum;
  opt[0].price = 0;
  opt[0].state = s.state;
  memcpy(opt[0].reps, s.reps, sizeof s.reps);
  for (unsigned i = 1; i <= end; ++i) opt[i].price = kInfinity;
  RelaxFrom(s, opt, end, 0, data, Shorter(static_cast<uint32_t>(finder.available()) + 1, kLzmaMatchMax));
  for (unsigned at = 1; at < end; ++at) {
    s.matchCount = finder.Find(s.matches);
    if (s.matchCount && s.matches[s.matchCount - 1].length >= kNiceLength) {
      s.matchesCached = 1;
      end = at;
      break;
    }
    EnterNode(opt, at);
    const uint32_t room = kOptimumSize - 1 - at;
    RelaxFrom(s, opt, end, at, data + at,
              Shorter(Shorter(static_cast<uint32_t>(finder.available()) + 1, kLzmaMatchMax), room));
  }
  EmitPath(s, opt, end, data);
}

// A literal, or a short rep when it is cheaper.
void EncodeByte(State& s, const uint8_t* data) {
  if (s.reps[0] < Reachable(s, 0) && data[0] == data[-1 - static_cast<ptrdiff_t>(s.reps[0])]) {
    const unsigned posState = PosState(s, 0);
    const uint32_t literal = Price0(s, s.probabilities[kIsMatch + (s.state << 4) + posState]) +
                             LiteralPrice(s, 0, data, s.state, s.reps[0]);
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
  if (kLazy)
    LazyStep(s, finder, data, limit, repLengths, bestRep);
  else
    Optimize(s, finder, data, longest.length > repLengths[bestRep] ? longest.length : repLengths[bestRep]);
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
  MakeLengthPrices(s, 0);
  MakeLengthPrices(s, 1);
  MakeDistancePrices(s);
  MakeAlignPrices(s);
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
