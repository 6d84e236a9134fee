#include "core/folder_walk.h"

#include <string.h>

FolderListing::FolderListing() : poolLength_(0), count_(0) {}

int FolderListing::Add(const char* name, FolderItemKind kind) {
  const size_t length = strlen(name) + 1;
  if (!pool_.Reserve(poolLength_ + length, 4096) || !items_.Reserve(static_cast<size_t>(count_) + 1)) return 0;
  memcpy(pool_.get() + poolLength_, name, length);
  items_[count_].name = poolLength_;
  items_[count_].kind = kind;
  ++count_;
  poolLength_ += length;
  return 1;
}

FolderItemKind FolderItemKindOfAttributes(uint32_t attributes) {
  const uint32_t kDirectory = 0x10, kDevice = 0x40, kReparsePoint = 0x400;
  if (attributes & kReparsePoint) return kFolderItemLink;
  if (attributes & kDirectory) return kFolderItemFolder;
  if (attributes & kDevice) return kFolderItemOther;
  return kFolderItemFile;
}
