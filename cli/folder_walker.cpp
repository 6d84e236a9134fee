#include "cli/folder_walker.h"

#include <errno.h>
#include <string.h>

#include "core/binary_file.h"
#include "core/path_join.h"

#ifdef _WIN32
#include "win32/folder_search.h"
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

#ifndef _WIN32
int IsDotName(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

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
  return SearchFolder(path, [listing](const WIN32_FIND_DATAA& found) {
           return listing->Add(found.cFileName, FolderItemKindOfAttributes(found.dwFileAttributes));
         }) == kFolderSearchComplete;
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
