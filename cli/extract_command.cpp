// extract PACKAGE [-C DIR]: the members into a folder of their own, without the bare
// program. The package is validated whole before anything is created, and an
// extraction that fails part-way takes back what it wrote, so that it can simply be run
// again.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/paths.h"
#include "cli/progress_display.h"
#include "core/package_reader.h"
#include "core/path_join.h"

namespace {

// What this run has put into the folder, and whether it made the folder itself.
class ExtractedFiles {
 public:
  ExtractedFiles(PackageReader& reader, const char* folder) : reader_(reader), folder_(folder) {}

  // The folder is made here, or taken when it exists and is empty.
  int PrepareFolder() {
    if (!PathExists(folder_)) {
      if (MakeDirectory(folder_)) return madeFolder_ = 1;
      PrintError("cannot create the folder \"%s\"%s%s", folder_, errno != 0 ? ": " : "", Reason(errno));
      return 0;
    }
    if (!IsDirectory(folder_)) {
      PrintError("\"%s\" is not a folder", folder_);
      return 0;
    }
    if (!IsEmptyDirectory(folder_)) {
      PrintError("the folder \"%s\" already holds files", folder_);
      return 0;
    }
    return 1;
  }

  void Written(int count) { written_ = count; }

  // Removes the members written so far (the folder was empty, so they are all this
  // run's), and the folder when this run made it.
  void TakeBack() {
    char path[kCorePathSize];
    for (int i = 0; i < written_; ++i) {
      if (JoinPath(path, folder_, reader_.entry(i).name)) RemoveFile(path);
    }
    if (madeFolder_) RemoveEmptyDirectory(folder_);
  }

  static const char* Reason(int number) {
    const char* reason = DescribeFileError(number);
    return reason != nullptr ? reason : "";
  }

 private:
  PackageReader& reader_;
  const char* folder_;
  int madeFolder_ = 0;
  int written_ = 0;
};

// Every member's path must fit before the first one is written; *total receives the
// sum of their sizes.
int CheckMemberPaths(PackageReader& reader, const char* folder, uint64_t* total) {
  char path[kCorePathSize];
  for (int i = 0; i < reader.count(); ++i) {
    if (!JoinPath(path, folder, reader.entry(i).name)) {
      PrintError("member path too long: %s%c%s", folder, kPathSeparator, reader.entry(i).name);
      return 0;
    }
    *total += reader.originalSize(i);
  }
  return 1;
}

// One member into the folder: 1 when it is there whole and as packed.
int ExtractMember(PackageReader& reader, int index, const char* folder, const CopyBuffer& buffer,
                  ProgressDisplay& progress) {
  char path[kCorePathSize];
  JoinPath(path, folder, reader.entry(index).name);
  BinaryFile output;
  // Replacing is for two members of one name: the folder was empty, so any file
  // there was written by this same run, and the later member wins as with "-e".
  errno = 0;
  MemberCopyResult copied = kMemberCopyFailed;
  if (CreateOutputFile(output, path)) copied = reader.CopyMember(index, output, buffer, &progress);
  int cause = errno;
  if (!output.Close() && copied == kMemberIntact) {
    copied = kMemberCopyFailed;
    cause = errno;
  }
  if (copied == kMemberIntact) return 1;
  progress.Finish(0);
  if (copied == kMemberDamaged) {
    PrintError("member \"%s\" is damaged", reader.entry(index).name);
  } else {
    PrintError("cannot write \"%s\"%s%s", path, cause != 0 ? ": " : "", ExtractedFiles::Reason(cause));
  }
  return 0;
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
  uint64_t total = 0;
  if (!CheckMemberPaths(reader, folder, &total)) return kExitFailure;
  CopyBuffer buffer;
  if (!buffer.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  ExtractedFiles extracted(reader, folder);
  errno = 0;
  if (!extracted.PrepareFolder()) return kExitFailure;

  ProgressDisplay progress("extracted", total, StderrIsTerminal() ? stderr : nullptr);
  for (int i = 0; i < reader.count(); ++i) {
    // Counted before the copy: a member that fails half-way is taken back too.
    extracted.Written(i + 1);
    if (!ExtractMember(reader, i, folder, buffer, progress)) {
      extracted.TakeBack();
      return kExitFailure;
    }
  }
  progress.Finish(1);
  printf("%s\n", folder);
  return kExitSuccess;
}
