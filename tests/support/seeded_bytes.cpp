#include "support/seeded_bytes.h"

std::vector<char> PseudoRandomBytes(size_t length, uint32_t seed) {
  std::vector<char> bytes(length);
  SeededNumbers numbers(seed);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(numbers.Next() >> 24);
  return bytes;
}
