// The folders of a package's tree, made as its members are written below a folder that
// the run made itself.
#pragma once
#include <windows.h>

#include "package/work_directory.h"

class MemberFolders {
 public:
  MemberFolders() { lastPath_[0] = 0; }
  MemberFolders(const MemberFolders&) = delete;
  MemberFolders& operator=(const MemberFolders&) = delete;

  // Makes the folders on `path` below its first `rootLength` characters that are not there
  // yet, the member itself too when its name ends with the separator (an empty folder).
  // Returns 1 when they all exist; 0 with the system error code in *error.
  int MakeFor(const char* path, size_t rootLength, DWORD* error);

 private:
  // The path whose folders were all made last. Members come depth-first, so most of a
  // path's folders were made for the member before it and need no call at all.
  char lastPath_[kMemberPathSize];
};
