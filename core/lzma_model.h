// The LZMA model's layout, shared by the decoder and the encoder so that both read and
// write the same stream: one array of adaptive probabilities, the model's fixed part first,
// then the literal coders.
#pragma once
#include <stdint.h>

const unsigned kStates = 12;
const unsigned kPosStatesMax = 16;
const unsigned kIsMatch = 0;
const unsigned kIsRep = kIsMatch + kStates * kPosStatesMax;
const unsigned kIsRepG0 = kIsRep + kStates;
const unsigned kIsRepG1 = kIsRepG0 + kStates;
const unsigned kIsRepG2 = kIsRepG1 + kStates;
const unsigned kIsRep0Long = kIsRepG2 + kStates;
const unsigned kDistanceSlot = kIsRep0Long + kStates * kPosStatesMax;  // 4 trees of 6 bits
const unsigned kDistanceSpecial = kDistanceSlot + (4 << 6);           // slots 4..13
const unsigned kAlign = kDistanceSpecial + 114;
// A length coder: two choice bits, then 3-bit trees per position state for lengths
// 2..9 and 10..17, and one 8-bit tree for 18..273.
const unsigned kLengthChoice = 0, kLengthChoice2 = 1, kLengthLow = 2;
const unsigned kLengthMid = kLengthLow + (kPosStatesMax << 3);
const unsigned kLengthHigh = kLengthMid + (kPosStatesMax << 3);
const unsigned kLengthCoderSize = kLengthHigh + 256;
const unsigned kMatchLength = kAlign + 16;
const unsigned kRepLength = kMatchLength + kLengthCoderSize;
const unsigned kLiterals = kRepLength + kLengthCoderSize;
const unsigned kLiteralCoderSize = 0x300;
const unsigned kMinMatch = 2;
const unsigned kMaxContextBits = 4;
const unsigned kProbabilityCount = kLiterals + (kLiteralCoderSize << kMaxContextBits);
const uint32_t kEndMarkerDistance = 0xFFFFFFFF;

// States 0..6 follow a literal, 7..11 a match, a rep match or a short rep.
const unsigned kLiteralStatesEnd = 7;
const uint8_t kAfterLiteral[kStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};
