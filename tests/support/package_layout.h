// Where a package's regions lie, computed from what the reader found at its end: the
// tests' own arithmetic, held against the reader's decisions.
#pragma once
#include <stdint.h>

#include "core/package_format.h"
#include "core/package_reader.h"

// The first directory byte: logical end - 20 - slack - 268 x the stored entry count.
inline uint64_t DirectoryStartOf(const PackageReader& reader) {
  const PackageTrailerInfo& trailer = reader.trailer();
  return trailer.logicalEnd - sizeof(PackageTrailer) - trailer.slack -
         static_cast<uint64_t>(sizeof(PackageDirEntry)) * static_cast<uint32_t>(trailer.count);
}
