#include "host/support/compressed_fixture.h"

#include <string.h>

#include "support/seeded_bytes.h"

std::vector<char> CompressibleBytes(size_t length, uint32_t seed) {
  std::vector<char> bytes = PseudoRandomBytes(length, seed);
  for (char& c : bytes) c = static_cast<char>('a' + (static_cast<unsigned char>(c) & 7));
  return bytes;
}

std::vector<PackageDirEntry> DirectoryOf(const std::vector<char>& package) {
  PackageTrailer trailer;
  memcpy(&trailer, &package[package.size() - sizeof(trailer)], sizeof(trailer));
  std::vector<PackageDirEntry> entries(trailer.count);
  memcpy(entries.data(), &package[EntryPosition(package, 0)], entries.size() * sizeof(PackageDirEntry));
  return entries;
}

size_t EntryPosition(const std::vector<char>& package, size_t index) {
  PackageTrailer trailer;
  memcpy(&trailer, &package[package.size() - sizeof(trailer)], sizeof(trailer));
  return package.size() - sizeof(trailer) - trailer.count * sizeof(PackageDirEntry) + index * sizeof(PackageDirEntry);
}
