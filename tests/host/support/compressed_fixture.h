// Files for the compressed-package tests: bytes that compress (few distinct values) or do
// not (fixed-seed noise), and a package's entries read back from its bytes.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "core/package_format.h"

// `length` bytes drawn from 8 values: LZMA makes them at least half smaller.
std::vector<char> CompressibleBytes(size_t length, uint32_t seed);

// The directory of a package written without slack.
std::vector<PackageDirEntry> DirectoryOf(const std::vector<char>& package);
// Where entry `index` lies in the package's bytes.
size_t EntryPosition(const std::vector<char>& package, size_t index);
