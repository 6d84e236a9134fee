#include "support/seeded_bytes.h"

std::vector<char> PseudoRandomBytes(size_t length, uint32_t seed) {
  std::vector<char> bytes(length);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < length; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}
