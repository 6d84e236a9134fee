// Damaged copies of a valid package, from a fixed seed: the kinds of damage that the
// readers must refuse or read strictly within the file. Plain C++, shared by the
// Windows tests and the native ones.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct PackageDamage {
  std::string what;
  std::vector<char> bytes;
};

// `valid` is a package without slack whose directory holds `count` entries.
// Truncations, flipped bytes in the directory and the trailer, counts, offsets and sizes
// at the 32-bit edges, unsafe and unterminated names, and slack past what is tolerated.
std::vector<PackageDamage> DamagePackage(const std::vector<char>& valid, int count, uint32_t seed);
