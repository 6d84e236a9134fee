// Fixed-seed content for test files, the same on Windows and on the host, so that a
// package written on one side can be compared with one written on the other.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

// A fixed-seed stream of 32-bit numbers (xorshift); `offset` starts another stream from
// the same seed.
class SeededNumbers {
 public:
  explicit SeededNumbers(uint32_t seed, uint32_t offset = 1) : state_(seed * 2654435761u + offset) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t bound) { return Next() % bound; }

 private:
  uint32_t state_;
};

// The top byte of each number of the stream.
std::vector<char> PseudoRandomBytes(size_t length, uint32_t seed);
