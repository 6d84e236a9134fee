// extract PACKAGE [-C DIR]: the members into a folder of their own, without the bare
// program. The package is validated whole before anything is created.
#include <stdio.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/paths.h"
#include "cli/progress_display.h"
#include "core/package_reader.h"

namespace {

int MemberPath(const char* folder, const char* name, char (&path)[kCorePathSize]) {
  const size_t folderLength = strlen(folder);
  const size_t nameLength = strlen(name);
  if (folderLength + 1 + nameLength >= sizeof(path)) return 0;
  memcpy(path, folder, folderLength);
  path[folderLength] = kPathSeparator;
  memcpy(path + folderLength + 1, name, nameLength + 1);
  return 1;
}

// The folder is made here, or taken when it exists and is empty.
int PrepareFolder(const char* folder) {
  if (!PathExists(folder)) {
    if (MakeDirectory(folder)) return 1;
    PrintError("cannot create the folder \"%s\"", folder);
    return 0;
  }
  if (!IsDirectory(folder)) {
    PrintError("\"%s\" is not a folder", folder);
    return 0;
  }
  if (!IsEmptyDirectory(folder)) {
    PrintError("the folder \"%s\" already holds files", folder);
    return 0;
  }
  return 1;
}

}  // namespace

int RunExtractTool(const ToolArguments& arguments) {
  PackageReader reader;
  char packagePath[kCorePathSize];
  if (!OpenPackageOrReport(arguments.operand(0), reader, packagePath)) return kExitFailure;

  char folder[kCorePathSize];
  const int haveFolder = arguments.directory() != nullptr ? MakeFullPath(arguments.directory(), folder)
                                                          : BuildExtractFolderPath(packagePath, folder);
  if (!haveFolder) {
    PrintError("path too long: %s", arguments.directory() != nullptr ? arguments.directory() : packagePath);
    return kExitFailure;
  }
  // Every member's path must fit before the first one is written.
  char path[kCorePathSize];
  uint64_t total = 0;
  for (int i = 0; i < reader.count(); ++i) {
    if (!MemberPath(folder, reader.entry(i).name, path)) {
      PrintError("member path too long: %s%c%s", folder, kPathSeparator, reader.entry(i).name);
      return kExitFailure;
    }
    total += reader.originalSize(i);
  }
  if (!PrepareFolder(folder)) return kExitFailure;

  CopyBuffer buffer;
  if (!buffer.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  ProgressDisplay progress("extracted", total, StderrIsTerminal() ? stderr : nullptr);
  for (int i = 0; i < reader.count(); ++i) {
    MemberPath(folder, reader.entry(i).name, path);
    BinaryFile output;
    // Replacing is for two members of one name: the folder was empty, so any file
    // there was written by this same run, and the later member wins as with "-e".
    MemberCopyResult copied = kMemberCopyFailed;
    if (CreateOutputFile(output, path)) copied = reader.CopyMember(i, output, buffer, &progress);
    if (!output.Close() && copied == kMemberIntact) copied = kMemberCopyFailed;
    if (copied != kMemberIntact) {
      progress.Finish();
      RemoveFile(path);
      if (copied == kMemberDamaged) {
        PrintError("member \"%s\" is damaged", reader.entry(i).name);
      } else {
        PrintError("cannot write \"%s\"", path);
      }
      return kExitFailure;
    }
  }
  progress.Finish();
  printf("%s\n", folder);
  return kExitSuccess;
}
