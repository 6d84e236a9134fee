// The system's folder search as one loop: every entry of a folder but "." and "..", with
// the search handle in its owner, and an answer that tells a folder read to its end from
// a search that broke off.
#pragma once
#include <windows.h>

#include <string.h>

#include "win32/unique_resource.h"

enum FolderSearchEnd {
  kFolderSearchFailed = 0,  // the folder could not be opened, or the search broke off
  kFolderSearchComplete,    // every entry was seen
  kFolderSearchStopped,     // the visitor asked to stop
};

// The search itself: calls `visit(context, entry)` for each entry of `folder` in the
// order the system gives; `visit` returns 0 to stop. A folder path too long for a search
// pattern is a failure. One copy serves every caller in a program: neither inlined nor
// specialised for one of them.
typedef int (*FolderVisit)(void* context, const WIN32_FIND_DATAA& found);
inline __attribute__((noinline, noclone)) FolderSearchEnd SearchFolderWith(const char* folder, FolderVisit visit,
                                                                           void* context) {
  char pattern[MAX_PATH];
  const size_t length = strlen(folder);
  // Walked by characters of the system's code page: the second byte of a double-byte
  // character may be the separator's byte, and it ends no folder name.
  int endsWithSeparator = 0;
  for (const char* at = folder; *at != 0; ++at) {
    const int doubleByte = IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != 0;
    endsWithSeparator = !doubleByte && *at == '\\';
    at += doubleByte;
  }
  const int needsSeparator = length > 0 && !endsWithSeparator;
  if (length + needsSeparator + 2 > sizeof(pattern)) return kFolderSearchFailed;
  memcpy(pattern, folder, length);
  if (needsSeparator) pattern[length] = '\\';
  memcpy(pattern + length + needsSeparator, "*", 2);
  WIN32_FIND_DATAA found;
  const UniqueFind search(FindFirstFileA(pattern, &found));
  if (!search.valid()) return kFolderSearchFailed;
  do {
    // "." and ".." by name, whatever their attributes say.
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    if (!visit(context, static_cast<const WIN32_FIND_DATAA&>(found))) return kFolderSearchStopped;
  } while (FindNextFileA(search.get(), &found));
  // A search that ends for any other reason than its last entry has not seen the folder whole.
  return GetLastError() == ERROR_NO_MORE_FILES ? kFolderSearchComplete : kFolderSearchFailed;
}

// Calls `visit(const WIN32_FIND_DATAA&)` for each entry of `folder`, as SearchFolderWith.
template <typename Visit>
FolderSearchEnd SearchFolder(const char* folder, Visit visit) {
  return SearchFolderWith(
      folder, [](void* context, const WIN32_FIND_DATAA& found) -> int { return (*static_cast<Visit*>(context))(found); },
      &visit);
}
