#include "ui/windows_folder_walker.h"

#include "win32/folder_search.h"

int WindowsFolderWalker::ListFolder(const char* path, FolderListing* listing) {
  return SearchFolder(path, [listing](const WIN32_FIND_DATAA& found) {
           return listing->Add(found.cFileName, FolderItemKindOfAttributes(found.dwFileAttributes));
         }) == kFolderSearchComplete;
}
