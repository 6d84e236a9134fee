// The package file layout: module image, member data, directory, trailer, optional slack.
// These records are the one contract between the writer and the readers; every field
// is little-endian and the sizes are fixed.
#pragma once
#include <stddef.h>
#include <stdint.h>

#pragma pack(push, 1)
struct PackageDirEntry {
  char name[260];   // base name, zero-terminated inside the field
  uint32_t offset;  // absolute position of the member's first byte in the package
  uint32_t size;    // member length in bytes; 0 is allowed
};

struct PackageTrailer {
  char magic[16];   // kPackageMagic, no terminator
  int32_t count;    // number of directory entries
};
#pragma pack(pop)

static_assert(sizeof(PackageDirEntry) == 268, "directory entry is 268 bytes on disk");
static_assert(offsetof(PackageDirEntry, name) == 0, "name at 0");
static_assert(offsetof(PackageDirEntry, offset) == 260, "offset at 260");
static_assert(offsetof(PackageDirEntry, size) == 264, "size at 264");
static_assert(sizeof(PackageTrailer) == 20, "trailer is 20 bytes on disk");
static_assert(offsetof(PackageTrailer, magic) == 0, "magic at 0");
static_assert(offsetof(PackageTrailer, count) == 16, "count at 16");

const char kPackageMagic[] = "BRAMTOLEPACKFILE";
const unsigned kPackageMagicLength = 16;
// Slack of 0..127 bytes after the trailer is tolerated: 128 positions are tried.
const unsigned kMaxTrailingSlack = 127;
// Offsets and sizes are 32-bit fields: no byte of a package may lie at or past 4 GiB.
const uint64_t kMaxPackageLength = 0xFFFFFFFFull;
