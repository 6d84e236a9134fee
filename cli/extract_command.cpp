// extract PACKAGE [-C DIR]: the members into a folder of their own, without the bare
// program. The package is validated whole before anything is created, and an
// extraction that fails part-way takes back what it wrote, so that it can simply be run
// again.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/name_encoding.h"
#include "cli/paths.h"
#include "cli/posix_threads.h"
#include "cli/progress_display.h"
#include "core/growable_block.h"
#include "core/member_name.h"
#include "core/package_reader.h"
#include "core/path_join.h"

namespace {

// The member's path in the folder as this system spells it; 0 when it cannot be spelled
// here or does not fit.
int MemberPath(PackageReader& reader, NameEncoding& encoding, int index, const char* folder,
               char (&path)[kCorePathSize]) {
  char name[kCorePathSize];
  return encoding.DecodeName(reader.entry(index).name, name, sizeof(name)) && JoinPath(path, folder, name);
}

// What this run has put into the folder, and whether it made the folder itself.
class ExtractedFiles : public WrittenMembers {
 public:
  ExtractedFiles(PackageReader& reader, NameEncoding& encoding, const char* folder)
      : reader_(reader), encoding_(encoding), folder_(folder), madeCount_(0) {}
  ExtractedFiles(const ExtractedFiles&) = delete;
  ExtractedFiles& operator=(const ExtractedFiles&) = delete;

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

  // Makes the folders on the member's path that are not there yet (the member itself
  // too when it is a folder), remembering each, so that a failure takes them back.
  int MakeFoldersFor(int index, char (&path)[kCorePathSize]) {
    const size_t base = strlen(folder_) + 1;
    const NameCodePage host = HostNameCodePage();
    for (size_t at = base; path[at] != 0; at += static_cast<size_t>(CharacterLength(host, path + at))) {
      if (path[at] != kPathSeparator) continue;
      path[at] = 0;
      const int made = MakeFolder(index, path, at);
      path[at] = kPathSeparator;
      if (!made) return 0;
    }
    return 1;
  }

  void Written(int count) { written_ = count; }

  int OpenWritten(int index, BinaryFile& file) override {
    char path[kCorePathSize];
    return MemberPath(reader_, encoding_, index, folder_, path) && file.OpenForReading(path);
  }

  // Removes the files written so far (the folder was empty, so they are all this run's),
  // then the folders this run made, deepest first, and the folder when this run made it.
  void TakeBack() {
    char path[kCorePathSize];
    for (int i = 0; i < written_; ++i) {
      if (!IsFolderMemberName(reader_.entry(i).name, reader_.nameCodePage()) &&
          MemberPath(reader_, encoding_, i, folder_, path)) {
        RemoveFile(path);
      }
    }
    for (int k = madeCount_ - 1; k >= 0; --k) {
      if (!MemberPath(reader_, encoding_, made_[k].member, folder_, path)) continue;
      path[made_[k].length] = 0;
      RemoveEmptyDirectory(path);
    }
    if (madeFolder_) RemoveEmptyDirectory(folder_);
  }

  static const char* Reason(int number) {
    const char* reason = DescribeFileError(number);
    return reason != nullptr ? reason : "";
  }

 private:
  struct MadeFolder {
    int member;     // the member whose path named it
    size_t length;  // the length of its path, a prefix of that member's path
  };

  int MakeFolder(int index, const char* path, size_t length) {
    if (IsDirectory(path)) return 1;
    errno = 0;
    if (!MakeDirectory(path)) {
      PrintError("cannot create the folder \"%s\"%s%s", path, errno != 0 ? ": " : "", Reason(errno));
      return 0;
    }
    if (!made_.Reserve(static_cast<size_t>(madeCount_) + 1)) {
      RemoveEmptyDirectory(path);
      PrintError("out of memory");
      return 0;
    }
    made_[madeCount_].member = index;
    made_[madeCount_].length = length;
    ++madeCount_;
    return 1;
  }

  PackageReader& reader_;
  NameEncoding& encoding_;
  const char* folder_;
  int madeFolder_ = 0;
  int written_ = 0;
  GrowableBlock<MadeFolder> made_;
  int madeCount_;
};

// Every member's path must be spelled here and fit before the first one is written;
// *total receives the sum of their sizes.
int CheckMemberPaths(PackageReader& reader, NameEncoding& encoding, const char* folder, uint64_t* total) {
  char path[kCorePathSize];
  char name[kCorePathSize];
  for (int i = 0; i < reader.count(); ++i) {
    if (!encoding.DecodeName(reader.entry(i).name, name, sizeof(name))) {
      char shown[4 * kMemberNameSize];
      EscapeName(reader.entry(i).name, shown);
      PrintError("member \"%s\" (entry %d) %s", shown, i, DescribeUndecodedName(encoding));
      return 0;
    }
    if (!JoinPath(path, folder, name)) {
      PrintError("member path too long: %s%c%s", folder, kPathSeparator, name);
      return 0;
    }
    *total += reader.originalSize(i);
  }
  return 1;
}

// Says why member `index` was not copied to `path`, each cause as what it is.
void ReportCopyFailure(PackageReader& reader, int index, MemberCopyResult copied, const char* path, int cause) {
  char shown[4 * kMemberNameSize];
  EscapeName(reader.entry(index).name, shown);
  switch (copied) {
    case kMemberDamaged: PrintError("member \"%s\" is damaged", shown); break;
    case kMemberNoMemory: PrintError("out of memory"); break;
    case kMemberReadFailed: PrintError("cannot read member \"%s\" from the package", shown); break;
    default:
      PrintError("cannot write \"%s\"%s%s", path, cause != 0 ? ": " : "", ExtractedFiles::Reason(cause));
  }
}

// One member into the folder: 1 when it is there whole and as packed (a folder: made).
int ExtractMember(PackageReader& reader, ExtractedFiles& extracted, NameEncoding& encoding, int index,
                  const char* folder, const CopyBuffer& buffer, ProgressDisplay& progress) {
  char path[kCorePathSize];
  MemberPath(reader, encoding, index, folder, path);
  if (!extracted.MakeFoldersFor(index, path)) {
    progress.Finish(0);
    return 0;
  }
  // A folder entry holds no bytes: its copy writes nothing and checks its record, as
  // the package's own run does.
  const int folderEntry = IsFolderMemberName(reader.entry(index).name, reader.nameCodePage());
  BinaryFile output;
  // The folder was empty and the reader refuses two members of one name (letter case
  // ignored), so every file is new.
  errno = 0;
  MemberCopyResult copied = kMemberWriteFailed;
  if (folderEntry || output.CreateNew(path)) copied = reader.CopyMember(index, output, buffer, &progress);
  int cause = errno;
  if (output.isOpen() && !output.Close() && copied == kMemberIntact) {
    copied = kMemberWriteFailed;
    cause = errno;
  }
  if (copied == kMemberIntact) return 1;
  progress.Finish(0);
  ReportCopyFailure(reader, index, copied, path, cause);
  return 0;
}

}  // namespace

int RunExtractTool(const ToolArguments& arguments) {
  NameEncoding encoding;
  if (!encoding.Open(arguments.codepage())) {
    PrintError("%s", encoding.error());
    return kExitUsage;
  }
  PosixThreads threads;  // outlives the reader, which joins its threads
  PackageReader reader;
  reader.SetWorkerThreads(&threads);
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
  if (!CheckMemberPaths(reader, encoding, folder, &total)) return kExitFailure;
  CopyBuffer buffer;
  if (!buffer.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  ExtractedFiles extracted(reader, encoding, folder);
  errno = 0;
  if (!extracted.PrepareFolder()) return kExitFailure;
  reader.SetWrittenMembers(&extracted);

  ProgressDisplay progress("extracted", total, StderrIsTerminal() ? stderr : nullptr);
  for (int i = 0; i < reader.count(); ++i) {
    // Counted before the copy: a member that fails half-way is taken back too.
    extracted.Written(i + 1);
    if (!ExtractMember(reader, extracted, encoding, i, folder, buffer, progress)) {
      extracted.TakeBack();
      return kExitFailure;
    }
  }
  progress.Finish(1);
  printf("%s\n", folder);
  return kExitSuccess;
}
