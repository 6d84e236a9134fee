#include "support/directory_deletions.h"

#include "core/path_join.h"
#include "core/path_limits.h"
#include "win32/folder_search.h"

int ForEachPathToDelete(const char* directory, DeletionRecorder& record) {
  const FolderSearchEnd end = SearchFolder(directory, [directory, &record](const WIN32_FIND_DATAA& found) {
    // Links are neither entered nor recorded: a run makes none.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return 1;
    char path[kMemberPathSize];
    // A run writes every one of its files under a path that fits.
    if (!JoinPath(path, directory, found.cFileName)) return 1;
    // A folder after all that it holds: at restart it is empty by the time its turn comes.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ForEachPathToDelete(path, record)
                                                               : record.Record(path);
  });
  return end != kFolderSearchStopped && record.Record(directory);
}
