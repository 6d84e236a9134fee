// Files for the compressed-package tests: bytes that compress (few distinct values) or do
// not (fixed-seed noise), and a package's entries read back from its bytes.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "core/compress_memory.h"
#include "core/group_plan.h"
#include "core/pack_outcome.h"
#include "core/package_format.h"

// `length` bytes drawn from 8 values: LZMA makes them at least half smaller.
std::vector<char> CompressibleBytes(size_t length, uint32_t seed);

// The directory of a package written without slack, decoded from its table where it
// keeps one.
std::vector<PackageDirEntry> DirectoryOf(const std::vector<char>& package);
// The one entry of a package that keeps its directory in a table.
bool TableHolderOf(const std::vector<char>& package, PackageDirEntry* holder);
// The same package with its table's entries written out before the trailer instead, as
// packages were before tables: every record still in place, so that damage to one can be
// placed byte by byte.
std::vector<char> WithDirectoryOnDisk(const std::vector<char>& package);
// Where entry `index` of the directory before the trailer lies in the package's bytes.
size_t EntryPosition(const std::vector<char>& package, size_t index);

// Packs the files at `paths` (a setup program among them) with `stub` in front into
// `package`, compressed in-process with groups cut by `rule`, so that a few small files
// make several groups. The result names the file a failed pack stopped at.
PackResult PackCompressed(const std::vector<std::string>& paths, const std::string& stub,
                          const std::string& package, const GroupRule& rule, unsigned threads = 1,
                          uint64_t memoryLimit = kCompressMemoryLimit);
