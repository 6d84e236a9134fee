// Reading a package: the trailer lookup at the end of the file and the directory before it.
// A directory that the writer could not have produced is refused whole, so that a
// damaged package is treated as no package and nothing of it is ever extracted.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "core/member_name.h"
#include "package/package_format.h"

struct PackageTrailerInfo {
  unsigned slack;  // bytes after the trailer, 0..127
  int32_t count;   // entry count as stored
};

// Looks for the magic at the 128 positions from 20 to 147 bytes before the end of a
// stream opened with "rb". Returns 1 and fills *info when found.
int LocatePackageTrailer(FILE* file, PackageTrailerInfo* info);

// An open package: its stream, its validated directory, and where the regions begin.
class PackageReader {
 public:
  PackageReader();
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Opens the file and reads its directory. Returns 1 for a well-formed package; 0 for
  // a file that cannot be opened, is not a package, or carries a malformed directory.
  int Open(const char* path);

  FILE* file() const { return file_; }
  int count() const { return count_; }
  const PackageDirEntry& entry(int index) const { return entries_[index]; }
  // Position of the first directory byte (end of file - 20 - slack - 268 x count).
  uint64_t directoryStart() const { return directoryStart_; }
  // Length of the module image: the offset of member 0, or with no members everything
  // before the directory.
  uint64_t moduleImageLength() const;

  // Copies member `index` to the destination through the 4096-byte block. A member
  // that the file holds fewer bytes of is written short.
  int CopyMember(int index, FILE* destination) const;

 private:
  void Close();

  FILE* file_;
  PackageDirEntry* entries_;
  int count_;
  uint64_t directoryStart_;
};
