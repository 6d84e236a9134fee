#include "cli/paths.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "core/path_join.h"

#ifdef _WIN32
#include "win32/folder_search.h"
#include "win32/system_code_page.h"
#include "win32/unique_resource.h"
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// The last name of an absolute path without trailing separators: "." and ".." name
// folders that only the file system can find, so the whole path is resolved then.
int ResolveFolderPart(char (&joined)[kCorePathSize], char (&full)[kCorePathSize]) {
  size_t length = strlen(joined);
  while (length > 1 && joined[length - 1] == '/') joined[--length] = 0;
  char* last = strrchr(joined, '/');
  const char* name = last + 1;
  if (name[0] == 0 || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
    if (realpath(joined, full) != nullptr) return 1;
    return ConcatPath(full, joined, "");
  }
  char folder[kCorePathSize];
  if (last == joined) {
    strcpy(folder, "/");
  } else {
    *last = 0;
    char* resolved = realpath(joined, folder);
    *last = '/';
    // A folder that does not exist is kept as written: the system refuses it when the
    // file is opened, with the words of that step.
    if (resolved == nullptr) return ConcatPath(full, joined, "");
  }
  return JoinPath(full, folder, name);
}
#endif

}  // namespace

int MakeFullPath(const char* argument, char (&full)[kCorePathSize]) {
  memset(full, 0, sizeof(full));
  if (argument[0] == 0) return 0;
#ifdef _WIN32
  char native[kCorePathSize];
  if (!ConcatPath(native, argument, "")) return 0;
  for (char* p = native; *p != 0; ++p) {
    if (*p == '/') *p = '\\';
  }
  return _fullpath(full, native, kCorePathSize) != nullptr ? 1 : 0;
#else
  char joined[kCorePathSize];
  if (argument[0] == '/') {
    if (!ConcatPath(joined, argument, "")) return 0;
  } else {
    char folder[kCorePathSize];
    if (getcwd(folder, sizeof(folder)) == nullptr || !JoinPath(joined, folder, argument)) return 0;
  }
  return ResolveFolderPart(joined, full);
#endif
}

int GetDefaultStubPath(char (&path)[kCorePathSize]) {
  char program[kCorePathSize];
  memset(program, 0, sizeof(program));
#ifdef _WIN32
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program));
  if (length == 0 || length >= sizeof(program)) return 0;
#else
  const ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
  if (length <= 0) return 0;
  program[length] = 0;
#endif
  char* separator = strrchr(program, kPathSeparator);
  if (separator == nullptr) return 0;
  separator[1] = 0;
  return ConcatPath(path, program, "Lodkin.exe");
}

int GetFileIdentity(const char* path, FileIdentity* identity) {
#ifdef _WIN32
  const UniqueFile file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &information)) return 0;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return 1;
#else
  struct stat information;
  if (stat(path, &information) != 0) return 0;
  identity->volume = static_cast<uint64_t>(information.st_dev);
  identity->index = static_cast<uint64_t>(information.st_ino);
  return 1;
#endif
}

int IsSameFile(const char* first, const char* second) {
#ifdef _WIN32
  if (_stricmp(first, second) == 0) return 1;
#else
  if (strcmp(first, second) == 0) return 1;
#endif
  FileIdentity a, b;
  if (!GetFileIdentity(first, &a) || !GetFileIdentity(second, &b)) return 0;
  return a.volume == b.volume && a.index == b.index ? 1 : 0;
}

int IsEmptyDirectory(const char* path) {
#ifdef _WIN32
  // The first entry found ends the search: the folder is not empty.
  return SearchFolder(path, [](const WIN32_FIND_DATAA&) { return 0; }) == kFolderSearchComplete;
#else
  DIR* folder = opendir(path);
  if (folder == nullptr) return 0;
  int empty = 1;
  while (struct dirent* entry = readdir(folder)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
      empty = 0;
      break;
    }
  }
  closedir(folder);
  return empty;
#endif
}

int BuildExtractFolderPath(const char* packagePath, char (&folder)[kCorePathSize]) {
  memset(folder, 0, sizeof(folder));
  if (!ExtractionFolderPath(folder, sizeof(folder), packagePath, 0)) return 0;
  // Without an extension the first name is the package itself, which no folder can take.
  if (strcmp(folder, packagePath) != 0) return 1;
  return ExtractionFolderPath(folder, sizeof(folder), packagePath, 1);
}

const char* DescribeFileError(int number) {
  switch (number) {
    case 0: return nullptr;
    case ENOSPC: return "no space left on the device";
    case EFBIG: return "the file is larger than the system allows";
#ifdef EDQUOT
    case EDQUOT: return "the disk quota is used up";
#endif
    case EACCES: return "permission denied";
    case EROFS: return "the file system is read-only";
    case ENAMETOOLONG: return "the path is too long for the system";
  }
  return strerror(number);
}

NameCodePage HostNameCodePage() {
#ifdef _WIN32
  return SystemNameCodePage();
#else
  return ByteNameCodePage();
#endif
}
