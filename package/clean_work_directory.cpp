#include "package/clean_work_directory.h"

#include <windows.h>
#include <string.h>

#include "package/exit_code.h"

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
  if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
  return strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0 ? 1 : 0;
}

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);

// The path the system reaches when it opens `path`, links resolved, into a 520-byte
// buffer. Returns 0 where the system cannot say (it then has no file links either).
static int GetFinalPath(const char* path, char (&finalPath)[520]) {
  // Looked up at run time: older systems lack it.
  FinalPathFunction finalPathOf = reinterpret_cast<FinalPathFunction>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA"));
  if (finalPathOf == NULL) return 0;
  HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const DWORD length = finalPathOf(file, finalPath, sizeof(finalPath), 0);
  CloseHandle(file);
  return length > 0 && length < sizeof(finalPath) ? 1 : 0;
}

// Some systems (Wine among them) show a link to a file as a plain file, and deleting it
// there deletes the file it points to: an entry whose resolved path is not the folder's
// own followed by its name is such a link.
static int LeadsElsewhere(const char* folderFinal, const char* entryPath, const char* name) {
  if (folderFinal[0] == 0) return 0;
  char entryFinal[520];
  if (!GetFinalPath(entryPath, entryFinal)) return 1;
  const size_t folderLength = strlen(folderFinal);
  if (_strnicmp(entryFinal, folderFinal, folderLength) != 0) return 1;
  const char* rest = entryFinal + folderLength;
  if (*rest == '\\') ++rest;
  return _stricmp(rest, name) != 0 ? 1 : 0;
}

int DeleteDirectoryAndFiles(const char* directoryPath) {
  // A link or junction by the work directory's name leads to someone else's files, and
  // this process runs elevated: it is not entered. The link itself stays too.
  const DWORD attributes = GetFileAttributesA(directoryPath);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return 0;
  }
  char folderFinal[520];
  if (!GetFinalPath(directoryPath, folderFinal)) folderFinal[0] = 0;
  char searchPath[260];
  memset(searchPath, 0, sizeof(searchPath));
  int formed = _snprintf(searchPath, sizeof(searchPath) - 1, "%s\\*.*", directoryPath);
  if (formed >= 0) {
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    HANDLE search = FindFirstFileA(searchPath, &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!IsDeletableEntry(found)) continue;
        memset(searchPath, 0, sizeof(searchPath));
        formed = _snprintf(searchPath, sizeof(searchPath) - 1, "%s\\%s", directoryPath, found.cFileName);
        // A path that does not fit would name some other file: leave that entry alone.
        if (formed < 0 || LeadsElsewhere(folderFinal, searchPath, found.cFileName)) continue;
        DeleteFileA(searchPath);
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
  }
  return RemoveDirectoryA(directoryPath) ? 1 : 0;
}

long DeleteRunValue() {
  HKEY runKey = NULL;
  long status = RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", &runKey);
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteValueA(runKey, "KVLodkin");
  RegCloseKey(runKey);
  return status;
}

int CleanWorkDirectory(char* commandLine, DWORD* exitCode) {
  SetExitCode(exitCode, kExitNotDone);
  if (commandLine[0] != '-' || commandLine[1] != 'd') return 0;
  char name[256];
  char tempFolder[256];
  char target[256];
  memset(name, 0, sizeof(name));
  memset(tempFolder, 0, sizeof(tempFolder));
  memset(target, 0, sizeof(target));
  // The third character (normally the blank after "-d") is skipped unseen, unless the line ends there.
  const char* rest = commandLine[2] != '\0' ? commandLine + 3 : commandLine + 2;
  if (IsSafeWorkDirectoryName(rest)) {
    strcpy(name, rest);
    // A temporary-folder path that does not fit leaves no folder to work in: an empty
    // one would make the name relative to the current directory.
    const DWORD tempLength = GetTempPathA(255, tempFolder);
    if (tempLength > 0 && tempLength < 255) {
      int formed = _snprintf(target, sizeof(target) - 1, "%s%s", tempFolder, name);
      if (formed >= 0 && DeleteDirectoryAndFiles(target)) SetExitCode(exitCode, kExitDone);
    }
  }
  DeleteRunValue();
  return 1;
}
