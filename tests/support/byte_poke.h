// Little-endian 32-bit fields written into and read from bytes in memory: how the tests build and damage
// packages and program headers by hand. Shared by the Windows tests and the native ones.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <stdexcept>
#include <vector>

// Throws std::out_of_range when the field would reach past the bytes: a test that aims at
// the wrong place fails instead of writing nothing.
inline void PutU32(std::vector<char>& bytes, size_t at, uint32_t value) {
  if (at > bytes.size() || bytes.size() - at < 4) throw std::out_of_range("PutU32 past the end of the bytes");
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline uint32_t GetU32(const std::vector<char>& bytes, size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) throw std::out_of_range("GetU32 past the end of the bytes");
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}
