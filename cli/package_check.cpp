// The package operand of list, verify and extract, opened and validated.
#include <stdio.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/paths.h"
#include "core/package_reader.h"

void EscapeName(const char* name, char (&shown)[4 * kMemberNameSize]) {
  size_t at = 0;
  for (const char* p = name; *p != 0 && at + 5 < sizeof(shown); ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 32 || c >= 127 || c == '"') {
      at += static_cast<size_t>(snprintf(shown + at, sizeof(shown) - at, "\\x%02X", c));
    } else {
      shown[at++] = static_cast<char>(c);
    }
  }
  shown[at] = 0;
}

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
    char name[kMemberNameSize];
    reader.GetBadName(name);
    char shown[4 * sizeof(name)];
    EscapeName(name, shown);
    const int unsafe = reader.status() == kPackageUnsafeName;
    PrintError("%s: %s (entry %d \"%s\")%s%s", argument, DescribePackageStatus(reader.status()), reader.badEntry(),
               shown, unsafe ? ": " : "", unsafe ? DescribeMemberNameProblem(reader.nameProblem()) : "");
  } else {
    PrintError("%s: %s", argument, DescribePackageStatus(reader.status()));
  }
  return 0;
}
