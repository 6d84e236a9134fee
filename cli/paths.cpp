#include "cli/paths.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

int CopyPath(const char* text, char (&path)[kCorePathSize]) {
  const size_t length = strlen(text);
  if (length >= kCorePathSize) return 0;
  memcpy(path, text, length + 1);
  return 1;
}

#ifndef _WIN32
// Rebuilds an absolute path from its names, leaving out empty names and ".", and
// taking a name off for each "..".
int NormalizeAbsolute(const char* joined, char (&full)[kCorePathSize]) {
  char result[kCorePathSize * 2];
  size_t length = 0;
  const char* next = joined;
  while (*next != 0) {
    while (*next == '/') ++next;
    const char* end = next;
    while (*end != 0 && *end != '/') ++end;
    const size_t nameLength = static_cast<size_t>(end - next);
    if (nameLength == 0 || (nameLength == 1 && next[0] == '.')) {
      // nothing to add
    } else if (nameLength == 2 && next[0] == '.' && next[1] == '.') {
      while (length > 0 && result[length - 1] != '/') --length;
      if (length > 0) --length;
    } else {
      if (length + 1 + nameLength >= sizeof(result)) return 0;
      result[length++] = '/';
      memcpy(result + length, next, nameLength);
      length += nameLength;
    }
    next = end;
  }
  if (length == 0) result[length++] = '/';
  result[length] = 0;
  return CopyPath(result, full);
}
#endif

}  // namespace

int MakeFullPath(const char* argument, char (&full)[kCorePathSize]) {
  memset(full, 0, sizeof(full));
  if (argument[0] == 0) return 0;
#ifdef _WIN32
  char native[kCorePathSize];
  if (!CopyPath(argument, native)) return 0;
  for (char* p = native; *p != 0; ++p) {
    if (*p == '/') *p = '\\';
  }
  return _fullpath(full, native, kCorePathSize) != nullptr ? 1 : 0;
#else
  char joined[kCorePathSize * 2];
  if (argument[0] == '/') {
    if (snprintf(joined, sizeof(joined), "%s", argument) >= static_cast<int>(sizeof(joined))) return 0;
  } else {
    char folder[kCorePathSize * 2];
    if (getcwd(folder, sizeof(folder)) == nullptr) return 0;
    if (snprintf(joined, sizeof(joined), "%s/%s", folder, argument) >= static_cast<int>(sizeof(joined))) {
      return 0;
    }
  }
  return NormalizeAbsolute(joined, full);
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
  return snprintf(path, sizeof(path), "%sLodkin.exe", program) < static_cast<int>(sizeof(path)) ? 1 : 0;
}

int IsSameFile(const char* first, const char* second) {
#ifdef _WIN32
  return _stricmp(first, second) == 0 ? 1 : 0;
#else
  if (strcmp(first, second) == 0) return 1;
  struct stat a, b;
  if (stat(first, &a) != 0 || stat(second, &b) != 0) return 0;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? 1 : 0;
#endif
}

int IsEmptyDirectory(const char* path) {
#ifdef _WIN32
  char pattern[kCorePathSize + 4];
  if (snprintf(pattern, sizeof(pattern), "%s\\*", path) >= static_cast<int>(sizeof(pattern))) return 0;
  struct _finddata_t found;
  const intptr_t search = _findfirst(pattern, &found);
  if (search == -1) return 0;
  int empty = 1;
  do {
    if (strcmp(found.name, ".") != 0 && strcmp(found.name, "..") != 0) empty = 0;
  } while (empty && _findnext(search, &found) == 0);
  _findclose(search);
  return empty;
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
  if (!CopyPath(packagePath, folder)) return 0;
  const char* separator = strrchr(folder, kPathSeparator);
  const int nameStart = separator != nullptr ? static_cast<int>(separator - folder) + 1 : 0;
  // As "-e" cuts it: the rightmost '.' of the file name, never its first character.
  for (int i = static_cast<int>(strlen(folder)) - 1; i > nameStart; --i) {
    if (folder[i] == '.') {
      folder[i] = 0;
      return 1;
    }
  }
  // Without an extension the first name is the package itself; "-e" then takes "(1)".
  return strlen(folder) + 3 < sizeof(folder) ? (strcat(folder, "(1)"), 1) : 0;
}
