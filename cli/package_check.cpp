// The package operand of list, verify and extract, opened and validated.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/paths.h"
#include "core/package_reader.h"

int OpenPackageOrReport(const char* argument, PackageReader& reader, char (&path)[kCorePathSize]) {
  if (!MakeFullPath(argument, path)) {
    PrintError("path too long: %s", argument);
    return 0;
  }
  // A folder or a pipe is no file to look for a trailer in; saying so beats "no
  // package trailer".
  if (IsDirectory(path)) {
    PrintError("\"%s\" is a folder, not a package", argument);
    return 0;
  }
  if (PathExists(path) && !IsRegularFile(path)) {
    PrintError("\"%s\" is not a regular file", argument);
    return 0;
  }
  if (reader.Open(path)) return 1;
  if (reader.badEntry() >= 0) {
    PrintError("%s: %s (entry %d)", argument, DescribePackageStatus(reader.status()), reader.badEntry());
  } else {
    PrintError("%s: %s", argument, DescribePackageStatus(reader.status()));
  }
  return 0;
}
