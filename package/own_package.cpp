#include "package/own_package.h"

#include <string.h>

#include "core/path_join.h"
#include "core/path_limits.h"
#include "win32/system_code_page.h"

OwnPackageState ClassifyOwnPackage(DWORD pathLength, DWORD bufferSize, int opened, PackageStatus status) {
  if (pathLength == 0) return kOwnPlainProgram;
  // A cut path names another file: it is never opened.
  if (pathLength >= bufferSize) return kOwnPathTooLong;
  if (opened) return kOwnPackageReady;
  // A plain program, or a file that cannot be opened at all, opens the window as it
  // always did; a file that carries the trailer is a package, and a refused directory
  // makes it a damaged one (a damaged copy), as does a file that goes on past its
  // program without one (a truncated download).
  if (status == kPackageCannotOpen || status == kPackageNoTrailer) return kOwnPlainProgram;
  return status == kPackageNoMemory ? kOwnNoMemory : kOwnPackageDamaged;
}

OwnPackageState OpenOwnPackage(PackageReader& package, char* path, DWORD size) {
  memset(path, 0, size);
  const DWORD length = GetModuleFileNameA(NULL, path, size);
  // A cut path comes back with or without a terminator depending on the system.
  path[size - 1] = 0;
  const int fits = length > 0 && length < size;
  package.SetHostCodePage(SystemNameCodePage());
  const int opened = fits && package.Open(path);
  return ClassifyOwnPackage(length, size, opened, package.status());
}

int FindMemberPathPastLimit(const PackageReader& package, const char* folder, char (&path)[kMemberPathSize]) {
  const size_t folderLength = strlen(folder);
  for (int i = 0; i < package.count(); ++i) {
    // Both parts are under 260 characters: the join always fits the buffer.
    JoinPath(path, folder, package.entry(i).name);
    if (PathPastLimit(path, folderLength, kPathSeparator, package.nameCodePage()) > 0) return 1;
  }
  return 0;
}
