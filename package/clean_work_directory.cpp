#include "package/clean_work_directory.h"

#include <windows.h>
#include <string.h>

#include "core/path_join.h"
#include "core/path_limits.h"
#include "package/exit_code.h"
#include "package/unfollowed_file.h"
#include "package/work_directory.h"
#include "win32/folder_search.h"
#include "win32/unique_resource.h"

// The name comes from the command line of an elevated process: anything that could point outside
// the temporary folder, or at the folder itself, is refused before a file is touched.
int IsSafeWorkDirectoryName(const char* name) {
  size_t length = strlen(name);
  if (length == 0 || length >= 256) return 0;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  if (strpbrk(name, "\\/:") != NULL) return 0;
  return 1;
}

int IsDeletableEntry(const WIN32_FIND_DATAA& entry) {
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return 0;
  return strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0 ? 1 : 0;
}

// Some systems (Wine among them) show a link to a file as a plain file, and deleting it
// there deletes the file it points to: an entry whose resolved path is not the folder's
// own followed by its name is such a link. *entryFinal receives the entry's resolved path.
static int LeadsElsewhere(const char* folderFinal, const char* entryPath, const char* name,
                          char (&entryFinal)[kFinalPathSize]) {
  entryFinal[0] = 0;
  if (folderFinal[0] == 0) return 0;
  return !GetFinalPath(entryPath, entryFinal) || !IsAtItsName(folderFinal, entryFinal, name);
}

// Deletes the files and folders inside the directory whose resolved path is
// `folderFinal`, each folder after what it holds. Links of every kind stay where they
// are, and so do the folders that hold them: the only calls that would remove a link
// remove its target instead on the systems that do not show links as links, and a link
// in a work directory was never put there by a run. Paths that do not fit stay too.
static void DeleteTreeInside(const char* directoryPath, const char* folderFinal) {
  SearchFolder(directoryPath, [directoryPath, folderFinal](const WIN32_FIND_DATAA& found) {
    char path[kPathBufferSize];
    // A path that does not fit would name some other file: leave that entry alone.
    if (!IsDeletableEntry(found) || !JoinPath(path, directoryPath, found.cFileName)) return 1;
    char entryFinal[kFinalPathSize];
    if (LeadsElsewhere(folderFinal, path, found.cFileName, entryFinal)) return 1;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTreeInside(path, entryFinal);
      RemoveDirectoryA(path);
    } else {
      // Through a handle that was checked: a link put there since the check stays.
      DeleteUnfollowed(path, folderFinal, found.cFileName);
    }
    return 1;
  });
}

int DeleteDirectoryAndFiles(const char* directoryPath) {
  // A link or junction by the work directory's name leads to someone else's files, and
  // this process runs elevated: it is not entered. The link itself stays too.
  const DWORD attributes = GetFileAttributesA(directoryPath);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return 0;
  }
  char folderFinal[kFinalPathSize];
  if (!GetFinalPath(directoryPath, folderFinal)) folderFinal[0] = 0;
  DeleteTreeInside(directoryPath, folderFinal);
  return RemoveDirectoryA(directoryPath) ? 1 : 0;
}

long DeleteRunValue() {
  UniqueKey runKey;
  const long status =
      RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", runKey.put());
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteValueA(runKey.get(), "KVLodkin");
}

int CleanWorkDirectory(const StartOptions& options, DWORD* exitCode) {
  *exitCode = kExitNotDone;
  if (options.mode != kStartCleanUp) return 0;
  const char* name = options.CleanName();
  if (IsSafeWorkDirectoryName(name)) {
    char tempFolder[kPathBufferSize];
    char target[256];
    if (GetTemporaryFolder(tempFolder) && JoinPath(target, tempFolder, name) && DeleteDirectoryAndFiles(target)) {
      *exitCode = kExitDone;
    }
  }
  DeleteRunValue();
  return 1;
}
