#include "ui/windows_folder_walker.h"

#include <string.h>

#include "core/path_join.h"
#include "win32/system_code_page.h"
#include "win32/unique_resource.h"

static int IsDotName(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

int WindowsFolderWalker::ListFolder(const char* path, FolderListing* listing) {
  char pattern[kCorePathSize];
  if (!JoinPathIn(pattern, path, "*", SystemNameCodePage())) return 0;
  WIN32_FIND_DATAA found;
  const UniqueFind search(FindFirstFileA(pattern, &found));
  if (!search.valid()) return 0;
  do {
    if (!IsDotName(found.cFileName) &&
        !listing->Add(found.cFileName, FolderItemKindOfAttributes(found.dwFileAttributes))) {
      return 0;
    }
  } while (FindNextFileA(search.get(), &found));
  // A search that ends for any other reason than its last entry has not seen the folder whole.
  return GetLastError() == ERROR_NO_MORE_FILES;
}
