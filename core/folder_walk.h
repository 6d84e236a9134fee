// What packing a folder needs from the platform: the entries of one folder, each with
// its kind. The core does the walking, the order and the names; the platform only
// reads folders (opendir and lstat on the host, FindFirstFile on Windows).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/growable_block.h"

enum FolderItemKind {
  kFolderItemFile,
  kFolderItemFolder,
  kFolderItemLink,   // a symbolic link or junction (any reparse point): never followed
  kFolderItemOther,  // a pipe, a device, a socket: nothing to pack
};

// The entries of one folder: names as the platform gives them (without "." and "..").
class FolderListing {
 public:
  FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  // 0 when there is no memory for it.
  int Add(const char* name, FolderItemKind kind);
  int count() const { return count_; }
  const char* name(int index) const { return pool_.get() + items_[index].name; }
  FolderItemKind kind(int index) const { return items_[index].kind; }

 private:
  struct Item {
    size_t name;  // offset in the pool
    FolderItemKind kind;
  };
  GrowableBlock<char> pool_;  // the names, each with its terminator
  size_t poolLength_;
  GrowableBlock<Item> items_;
  int count_;
};

// The kind of an entry as a Windows folder search describes it (its attribute bits, the
// values the file system defines). Any reparse point is a link, whatever else it is: a
// junction or a link to a folder also carries the folder bit, and following it could pack
// what lies elsewhere, or the same folder again without end.
FolderItemKind FolderItemKindOfAttributes(uint32_t attributes);

class FolderWalker {
 public:
  // Adds every entry of the folder to `listing`; 0 when the folder cannot be read.
  virtual int ListFolder(const char* path, FolderListing* listing) = 0;

 protected:
  ~FolderWalker() {}
};
