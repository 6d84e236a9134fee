#include "package/member_folders.h"

#include <string.h>

#include "core/path_join.h"

int MemberFolders::MakeFor(const char* path, size_t rootLength, DWORD* error) {
  char folder[kMemberPathSize];
  for (size_t at = rootLength + 1; path[at] != 0; ++at) {
    // The second byte of a double-byte character may be the separator's byte.
    if (IsDBCSLeadByte(static_cast<BYTE>(path[at])) && path[at + 1] != 0) {
      ++at;
      continue;
    }
    if (path[at] != kPathSeparator || strncmp(path, lastPath_, at + 1) == 0) continue;
    memcpy(folder, path, at);
    folder[at] = 0;
    // A folder that exists was made for an earlier member whose name differs in letter
    // case only: the directory has no file where a folder goes.
    if (!CreateDirectoryA(folder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = GetLastError();
      lastPath_[0] = 0;
      return 0;
    }
  }
  lstrcpynA(lastPath_, path, sizeof(lastPath_));
  return 1;
}
