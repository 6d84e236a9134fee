#include "package/package_writer.h"

#include <stdlib.h>
#include <string.h>

#include "package/stream_file.h"

PackageWriter::PackageWriter(FILE* package, uint32_t memberCount, uint64_t maxLength)
    : package_(package), entries_(nullptr), capacity_(memberCount), written_(0), offset_(0),
      maxLength_(maxLength) {
  if (memberCount > 0) {
    entries_ = static_cast<PackageDirEntry*>(calloc(memberCount, sizeof(PackageDirEntry)));
  }
}

PackageWriter::~PackageWriter() { free(entries_); }

PackageWriteStatus PackageWriter::AppendWholeFile(FILE* source) {
  // One byte more than may still fit, so that a file that would cross the limit is seen.
  const uint64_t room = offset_ < maxLength_ ? maxLength_ - offset_ : 0;
  uint64_t copied = 0;
  CopyResult result = CopyStreamBlocks(source, package_, room + 1, &copied);
  offset_ += copied;
  if (result == kCopyWriteFailed) return kPackageWriteFailed;
  if (result == kCopyReadFailed) return kPackageReadFailed;
  if (copied > room) return kPackageTooLarge;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendModuleImage(FILE* source) { return AppendWholeFile(source); }

PackageWriteStatus PackageWriter::AppendMember(FILE* source, const char* name) {
  if (entries_ == nullptr || written_ >= capacity_) return kPackageOutOfMemory;
  PackageDirEntry& entry = entries_[written_];
  size_t nameLength = strlen(name);
  if (nameLength >= sizeof(entry.name)) nameLength = sizeof(entry.name) - 1;
  memcpy(entry.name, name, nameLength);
  entry.name[nameLength] = 0;
  entry.offset = static_cast<uint32_t>(offset_);
  PackageWriteStatus status = AppendWholeFile(source);
  entry.size = static_cast<uint32_t>(offset_ - entry.offset);
  ++written_;
  return status;
}

PackageWriteStatus PackageWriter::Finish() {
  if (capacity_ > 0 && entries_ == nullptr) return kPackageOutOfMemory;
  const uint64_t directoryBytes = static_cast<uint64_t>(written_) * sizeof(PackageDirEntry);
  if (offset_ + directoryBytes + sizeof(PackageTrailer) > maxLength_) return kPackageTooLarge;

  PackageTrailer trailer;
  memcpy(trailer.magic, kPackageMagic, kPackageMagicLength);
  trailer.count = static_cast<int32_t>(written_);
  if (directoryBytes > 0 &&
      fwrite(entries_, 1, static_cast<size_t>(directoryBytes), package_) != directoryBytes) {
    return kPackageWriteFailed;
  }
  if (fwrite(&trailer, 1, sizeof(trailer), package_) != sizeof(trailer)) return kPackageWriteFailed;
  if (fflush(package_) != 0) return kPackageWriteFailed;
  offset_ += directoryBytes + sizeof(trailer);
  return kPackageWriteOk;
}
