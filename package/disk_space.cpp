#include "package/disk_space.h"

#include <windows.h>

// Below this many free bytes a write that stopped short found the disk full.
static const uint64_t kNearlyFullBytes = 65536;

uint64_t MemberBytes(const PackageReader& package) {
  uint64_t total = 0;
  for (int i = 0; i < package.count(); ++i) total += package.originalSize(i);
  return total;
}

int FitsFreeSpace(int haveFreeSpace, uint64_t available, uint64_t needed) {
  return !haveFreeSpace || needed <= available;
}

int HasRoomFor(const char* folder, uint64_t needed) {
  ULARGE_INTEGER available, total, free;
  const int known = GetDiskFreeSpaceExA(folder, &available, &total, &free) != 0;
  return FitsFreeSpace(known, known ? available.QuadPart : 0, needed);
}

int IsNearlyFull(const char* folder) { return !HasRoomFor(folder, kNearlyFullBytes); }
