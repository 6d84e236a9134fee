#include "cli/folder_walker.h"

#include <errno.h>
#include <string.h>

#include "cli/paths.h"
#include "core/binary_file.h"
#include "core/path_join.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

int IsDotName(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

#ifndef _WIN32
// lstat, so that a link is seen as itself and not as what it points to.
FolderItemKind KindOf(const char* path) {
  struct stat information;
  if (lstat(path, &information) != 0) return kFolderItemOther;
  if (S_ISLNK(information.st_mode)) return kFolderItemLink;
  if (S_ISDIR(information.st_mode)) return kFolderItemFolder;
  if (S_ISREG(information.st_mode)) return kFolderItemFile;
  return kFolderItemOther;
}
#endif

}  // namespace

int SystemFolderWalker::ListFolder(const char* path, FolderListing* listing) {
#ifdef _WIN32
  char pattern[kCorePathSize];
  if (!JoinPathIn(pattern, path, "*", HostNameCodePage())) return 0;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int listed = 1;
  do {
    if (!IsDotName(found.cFileName)) listed = listing->Add(found.cFileName, FolderItemKindOfAttributes(found.dwFileAttributes));
  } while (listed && FindNextFileA(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  return listed && error == ERROR_NO_MORE_FILES;
#else
  DIR* folder = opendir(path);
  if (folder == nullptr) return 0;
  int listed = 1;
  char child[kCorePathSize];
  for (;;) {
    // readdir tells the end from a failure only by errno.
    errno = 0;
    const struct dirent* entry = readdir(folder);
    if (entry == nullptr) {
      listed = errno == 0;
      break;
    }
    if (IsDotName(entry->d_name)) continue;
    listed = JoinPath(child, path, entry->d_name) && listing->Add(entry->d_name, KindOf(child));
    if (!listed) break;
  }
  closedir(folder);
  return listed;
#endif
}
