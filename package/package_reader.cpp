#include "package/package_reader.h"

#include <stdlib.h>
#include <string.h>

#include "package/stream_file.h"

static int ReadTrailerAt(FILE* file, uint64_t position, PackageTrailer* trailer) {
  if (!SeekFromStart(file, position)) return 0;
  if (fread(trailer, 1, sizeof(*trailer), file) != sizeof(*trailer)) return 0;
  return memcmp(trailer->magic, kPackageMagic, kPackageMagicLength) == 0 ? 1 : 0;
}

int LocatePackageTrailer(FILE* file, PackageTrailerInfo* info) {
  uint64_t length = 0;
  if (!GetStreamLength(file, &length) || length < sizeof(PackageTrailer)) return 0;
  const uint64_t last = length - sizeof(PackageTrailer);  // P: where a slack-free trailer starts
  PackageTrailer trailer;
  for (unsigned slack = 0; slack <= kMaxTrailingSlack; ++slack) {
    // The scan never seeks before the start of the file.
    if (slack > 0 && slack >= last) return 0;
    if (ReadTrailerAt(file, last - slack, &trailer)) {
      info->slack = slack;
      info->count = trailer.count;
      return 1;
    }
  }
  return 0;
}

PackageReader::PackageReader() : file_(nullptr), entries_(nullptr), count_(0), directoryStart_(0) {}

PackageReader::~PackageReader() { Close(); }

void PackageReader::Close() {
  if (file_ != nullptr) fclose(file_);
  free(entries_);
  file_ = nullptr;
  entries_ = nullptr;
  count_ = 0;
  directoryStart_ = 0;
}

int PackageReader::Open(const char* path) {
  Close();
  file_ = OpenStream(path, "rb");
  if (file_ == nullptr) return 0;

  PackageTrailerInfo trailer;
  uint64_t length = 0;
  if (!LocatePackageTrailer(file_, &trailer) || !GetStreamLength(file_, &length) ||
      trailer.count < 0) {
    Close();
    return 0;
  }
  const uint64_t directoryBytes = static_cast<uint64_t>(trailer.count) * sizeof(PackageDirEntry);
  const uint64_t beforeTrailer = length - sizeof(PackageTrailer) - trailer.slack;
  if (directoryBytes > beforeTrailer) {
    Close();
    return 0;
  }
  directoryStart_ = beforeTrailer - directoryBytes;

  if (trailer.count > 0) {
    // The count is bounded by the file's size above, so this allocation is too.
    entries_ = static_cast<PackageDirEntry*>(malloc(static_cast<size_t>(directoryBytes)));
    if (entries_ == nullptr || !SeekFromStart(file_, directoryStart_) ||
        fread(entries_, 1, static_cast<size_t>(directoryBytes), file_) != directoryBytes) {
      Close();
      return 0;
    }
  }
  count_ = trailer.count;

  for (int i = 0; i < count_; ++i) {
    const PackageDirEntry& entry = entries_[i];
    if (!IsSafeMemberName(entry.name) ||
        static_cast<uint64_t>(entry.offset) + entry.size > directoryStart_) {
      Close();
      return 0;
    }
  }
  return 1;
}

uint64_t PackageReader::moduleImageLength() const {
  return count_ > 0 ? entries_[0].offset : directoryStart_;
}

int PackageReader::CopyMember(int index, FILE* destination) const {
  const PackageDirEntry& member = entries_[index];
  if (!SeekFromStart(file_, member.offset)) return 0;
  uint64_t copied = 0;
  return CopyStreamBlocks(file_, destination, member.size, &copied) == kCopyWriteFailed ? 0 : 1;
}
