#include "core/folder_walk.h"

#include <stdlib.h>
#include <string.h>

FolderListing::FolderListing()
    : pool_(nullptr), poolLength_(0), poolCapacity_(0), items_(nullptr), count_(0), capacity_(0) {}

FolderListing::~FolderListing() {
  free(pool_);
  free(items_);
}

int FolderListing::Add(const char* name, FolderItemKind kind) {
  const size_t length = strlen(name) + 1;
  if (poolLength_ + length > poolCapacity_) {
    size_t capacity = poolCapacity_ > 0 ? poolCapacity_ * 2 : 4096;
    while (capacity < poolLength_ + length) capacity *= 2;
    char* grown = static_cast<char*>(realloc(pool_, capacity));
    if (grown == nullptr) return 0;
    pool_ = grown;
    poolCapacity_ = capacity;
  }
  if (count_ == capacity_) {
    const int capacity = capacity_ > 0 ? capacity_ * 2 : 64;
    Item* grown = static_cast<Item*>(realloc(items_, static_cast<size_t>(capacity) * sizeof(Item)));
    if (grown == nullptr) return 0;
    items_ = grown;
    capacity_ = capacity;
  }
  memcpy(pool_ + poolLength_, name, length);
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
