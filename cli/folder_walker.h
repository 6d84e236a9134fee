// The platform's side of packing a folder: one folder's entries with their kinds, links
// (and on Windows every reparse point, junctions included) reported as links, never
// followed.
#pragma once
#include "core/folder_walk.h"

class SystemFolderWalker : public FolderWalker {
 public:
  int ListFolder(const char* path, FolderListing* listing) override;
};
