// Fixed-seed content for test files, the same on Windows and on the host, so that a
// package written on one side can be compared with one written on the other.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

std::vector<char> PseudoRandomBytes(size_t length, uint32_t seed);
