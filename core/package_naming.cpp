#include "core/package_naming.h"

#include <string.h>

#include "core/path_join.h"

namespace {

#ifdef _WIN32
int BuildPackagePathForPlatform(const char* topEntry, int last, char (&folderName)[kCorePathSize],
                                int* folderLength) {
  if (last > 3) {
    int before = last - 1;
    while (before >= 0 && topEntry[before] != '\\') --before;
    if (before < 0) return 0;
    memcpy(folderName, topEntry + before + 1, last - before - 1);
    *folderLength = last + 1;
    return 1;
  }
  if (last == 2 && topEntry[1] == ':') {
    // A drive root: the package is named after the drive letter.
    folderName[0] = topEntry[0];
    *folderLength = 3;
    return 1;
  }
  return 0;
}
#else
int BuildPackagePathForPlatform(const char* topEntry, int last, char (&folderName)[kCorePathSize],
                                int* folderLength) {
  // The root folder has no name to give the package.
  if (last <= 0) return 0;
  int before = last - 1;
  while (before >= 0 && topEntry[before] != '/') --before;
  if (before < 0 || last - before - 1 == 0) return 0;
  memcpy(folderName, topEntry + before + 1, last - before - 1);
  *folderLength = last + 1;
  return 1;
}
#endif

}  // namespace

int BuildPackagePath(const char* topEntry, char (&packagePath)[kCorePathSize]) {
  memset(packagePath, 0, sizeof(packagePath));
  const int length = static_cast<int>(strlen(topEntry));
  int last = length - 1;
  while (last >= 0 && topEntry[last] != kPathSeparator) --last;
  if (last < 0) return 0;

  char folderName[kCorePathSize];
  memset(folderName, 0, sizeof(folderName));
  int folderLength = 0;  // characters of the top entry's path kept, closing separator included
  if (!BuildPackagePathForPlatform(topEntry, last, folderName, &folderLength)) return 0;
  char fileName[kCorePathSize];
  char folder[kCorePathSize];
  memcpy(folder, topEntry, folderLength);
  folder[folderLength] = 0;
  return ConcatPath(fileName, "KVPACK_", folderName) && ConcatPath(fileName, fileName, ".exe") &&
         ConcatPath(packagePath, folder, fileName);
}
