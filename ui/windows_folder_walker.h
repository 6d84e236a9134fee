// The window's way of reading a folder for the Pack command: the system's own folder
// search, names in the system's ANSI code page, every reparse point reported as a link
// and never entered.
#pragma once
#include "core/folder_walk.h"

class WindowsFolderWalker : public FolderWalker {
 public:
  int ListFolder(const char* path, FolderListing* listing) override;
};
