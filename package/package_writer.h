// Writing a package: the module image, then each member in list order at the running
// offset, then the directory and the trailer. Every write is checked, and nothing is
// let past the 4 GiB that the 32-bit offsets and sizes can describe.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "package/package_format.h"

enum PackageWriteStatus {
  kPackageWriteOk = 1,
  kPackageWriteFailed,     // the package took fewer bytes than it was given, or would not close
  kPackageReadFailed,      // a source file reported a read error
  kPackageTooLarge,        // the package would reach 4 GiB
  kPackageOutOfMemory,     // the directory buffer could not be had
};

class PackageWriter {
 public:
  // The writer does not own the stream; the caller closes it after Finish.
  // `maxLength` is the first length the package may not reach; tests lower it to reach
  // the limit without writing gigabytes.
  PackageWriter(FILE* package, uint32_t memberCount, uint64_t maxLength = kMaxPackageLength);
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Copies the whole program file from its current position to its end.
  PackageWriteStatus AppendModuleImage(FILE* source);
  // Copies the whole member file and records `name` (a base name) with its offset and size.
  PackageWriteStatus AppendMember(FILE* source, const char* name);
  // Writes the directory and the trailer and flushes the stream.
  PackageWriteStatus Finish();

  uint64_t runningOffset() const { return offset_; }

 private:
  PackageWriteStatus AppendWholeFile(FILE* source);

  FILE* package_;
  PackageDirEntry* entries_;
  uint32_t capacity_;
  uint32_t written_;
  uint64_t offset_;
  uint64_t maxLength_;
};
