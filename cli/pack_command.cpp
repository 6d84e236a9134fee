// pack [-o OUTPUT] [--stub PROGRAM] [--compress[=fast]] [--codepage N] [--icon ...] FILE...: the window's
// Pack command on a list given on the command line, with the window's checks and words;
// a folder operand packs its tree.
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/folder_walker.h"
#include "cli/interrupt_cleanup.h"
#include "cli/name_encoding.h"
#include "cli/pack_brand.h"
#include "cli/pack_operands.h"
#include "cli/paths.h"
#include "cli/progress_display.h"
#include "cli/lzma_member_compressor.h"
#include "core/growable_block.h"
#include "core/compressed_pack.h"
#include "core/pack_job.h"
#include "core/pack_outcome_text.h"
#include "core/package_naming.h"

namespace {

// The FILE operands as full paths, first operand first: the window's top row is member 0.
class ArgumentFileList : public PackFileList {
 public:
  explicit ArgumentFileList(int count) : count_(paths_.Allocate(static_cast<size_t>(count)) ? count : 0) {}
  ArgumentFileList(const ArgumentFileList&) = delete;
  ArgumentFileList& operator=(const ArgumentFileList&) = delete;

  int isReady() const { return paths_.valid(); }
  char (&path(int row))[kCorePathSize] { return paths_[row]; }
  int GetCount() const override { return count_; }
  void GetRowText(int row, char (&text)[kCorePathSize]) const override {
    memcpy(text, paths_[row], sizeof(text));
  }

 private:
  typedef char PathBuffer[kCorePathSize];
  GrowableBlock<PathBuffer> paths_;
  int count_;
};

// A file to be read whole must be a plain file (a folder to pack is walked instead): a
// pipe or a device never ends or ends elsewhere than its length says. A file that does
// not exist passes here and is refused with the window's words when it is opened.
int CheckPlainFile(const char* argument, const char* path, const char* role, int folderTaken = 0) {
  if (!PathExists(path) || IsRegularFile(path) || (folderTaken && IsDirectory(path))) return 1;
  if (IsDirectory(path)) {
    PrintError("\"%s\" is a folder, not %s", argument, role);
  } else {
    PrintError("\"%s\" is not a regular file", argument);
  }
  return 0;
}

// 1 when `path` lies inside the folder `folder` (letter case ignored where the file
// system ignores it).
int LiesInside(const char* path, const char* folder) {
  const size_t length = strlen(folder);
#ifdef _WIN32
  const int samePrefix = _strnicmp(path, folder, length) == 0;
#else
  const int samePrefix = strncmp(path, folder, length) == 0;
#endif
  return samePrefix && path[length] == kPathSeparator;
}

struct RowIdentity {
  FileIdentity identity;
  int row;
};

int CompareRowIdentities(const void* first, const void* second) {
  const RowIdentity& a = *static_cast<const RowIdentity*>(first);
  const RowIdentity& b = *static_cast<const RowIdentity*>(second);
  if (a.identity.volume != b.identity.volume) return a.identity.volume < b.identity.volume ? -1 : 1;
  if (a.identity.index != b.identity.index) return a.identity.index < b.identity.index ? -1 : 1;
  return a.row - b.row;
}

// The window lists a file once; a file named twice, by whatever path, is a mistake in
// the command line. Sorted by identity, so that long lists cost no more than their
// sorting. 1 with the two rows of the first such file (in list order) found.
int FindFileNamedTwice(ArgumentFileList& list, int* first, int* second) {
  const int count = list.GetCount();
  GrowableBlock<RowIdentity> rows;
  if (!rows.Allocate(static_cast<size_t>(count))) return 0;
  int known = 0;
  for (int row = 0; row < count; ++row) {
    if (GetFileIdentity(list.path(row), &rows[known].identity)) rows[known++].row = row;
  }
  qsort(rows.get(), static_cast<size_t>(known), sizeof(RowIdentity), CompareRowIdentities);
  int found = 0;
  for (int i = 1; i < known; ++i) {
    const RowIdentity& a = rows[i - 1];
    const RowIdentity& b = rows[i];
    if (a.identity.volume != b.identity.volume || a.identity.index != b.identity.index) continue;
    if (!found || b.row < *second) {
      *first = a.row;
      *second = b.row;
      found = 1;
    }
  }
  return found;
}

// The FILE operands made full and checked. Returns the exit status to end with, or
// kExitSuccess to go on.
int CollectFiles(const PackOperands& operands, ArgumentFileList& list) {
  for (int row = 0; row < list.GetCount(); ++row) {
    char path[kCorePathSize];
    if (!operands.GetPath(row, path) || !MakeFullPath(path, list.path(row))) {
      PrintError("path too long: %s", operands.text(row));
      return kExitFailure;
    }
    DropClosingSeparators(list.path(row));
    if (!CheckPlainFile(operands.text(row), list.path(row), "a file", 1)) return kExitFailure;
  }
  int first = 0, second = 0;
  if (FindFileNamedTwice(list, &first, &second)) {
    PrintError("\"%s\" and \"%s\" are the same file; name each file once", operands.text(first),
               operands.text(second));
    return kExitUsage;
  }
  return kExitSuccess;
}

int ResolveStub(const ToolArguments& arguments, char (&stubPath)[kCorePathSize]) {
  const int haveStub = arguments.stub() != nullptr ? MakeFullPath(arguments.stub(), stubPath)
                                                   : GetDefaultStubPath(stubPath);
  if (!haveStub) {
    PrintError("path too long: %s", arguments.stub() != nullptr ? arguments.stub() : "(the tool's folder)");
    return 0;
  }
  return CheckPlainFile(arguments.stub() != nullptr ? arguments.stub() : stubPath, stubPath, "a program file");
}

// The package path: -o made full, the folder's package beside DIR with -C, or what the
// package rules give (PackFiles derives the same and reports a failure).
int ResolveOutput(const ToolArguments& arguments, const PackOperands& operands, ArgumentFileList& list,
                  char (&packagePath)[kCorePathSize]) {
  memset(packagePath, 0, sizeof(packagePath));
  const char* directory = operands.directory();
  if (arguments.output() == nullptr && directory[0] == 0) {
    if (list.GetCount() > 0) BuildPackagePath(list.path(0), packagePath);
    return 1;
  }
  const char* output = arguments.output() != nullptr ? arguments.output() : packagePath;
  if (arguments.output() == nullptr && !BuildFolderPackagePath(directory, packagePath)) {
    PrintError("the folder \"%s\" has no name to give the package: name it with -o", arguments.directory());
    return 0;
  }
  if (arguments.output() != nullptr && !MakeFullPath(arguments.output(), packagePath)) {
    PrintError("path too long: %s", arguments.output());
    return 0;
  }
  if (IsDirectory(packagePath)) {
    PrintError("the output \"%s\" is a folder", output);
    return 0;
  }
  // The next pack of the folder would take a package inside it in.
  if (directory[0] != 0 && LiesInside(packagePath, directory)) {
    PrintError("the output \"%s\" lies in the folder \"%s\" that is packed", output, arguments.directory());
    return 0;
  }
  // Moving the new package over a file that is being packed would lose that file.
  for (int row = 0; row < list.GetCount(); ++row) {
    if (IsSameFile(packagePath, list.path(row))) {
      PrintError("the output \"%s\" is one of the files to pack", output);
      return 0;
    }
    if (IsDirectory(list.path(row)) && LiesInside(packagePath, list.path(row))) {
      PrintError("the output \"%s\" lies in the folder \"%s\" that is packed", output, operands.text(row));
      return 0;
    }
  }
  return 1;
}

// The window's box text as an error line: without its trailing blank and without the
// "Error: " that the already-packed box starts with.
void PrintOutcome(const PackResult& result, const char* stubPath, const char* packagePath,
                  NameEncoding& encoding) {
  if (result.outcome == kPackNameNotEncoded) {
    PrintError("\"%s\" %s", result.name, DescribeUnencodedName(encoding));
    return;
  }
  char text[300];
  // These outcomes name a stored member: shown as this system spells it.
  PackResult shownResult = result;
  const int namesMember = result.outcome == kPackUnsafeMemberName || result.outcome == kPackFileBesideFolder ||
                          result.outcome == kPackEqualNames;
  if (namesMember && encoding.converting() &&
      !encoding.DecodeName(result.name, shownResult.name, sizeof(shownResult.name))) {
    shownResult = result;
  }
  FormatPackMessage(shownResult, text);
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = 0;
  const char* shown = strncmp(text, "Error: ", 7) == 0 ? text + 7 : text;
  if (result.outcome == kPackCannotOpenModule) {
    PrintError("%s \"%s\"", shown, stubPath);
  } else if (result.outcome == kPackCannotCreate && packagePath[0] != 0) {
    PrintError("%s \"%s\"", shown, packagePath);
  } else {
    PrintError("%s", shown);
  }
}

// Where the only setup program is, when it sits at the top of a folder given as FILE.
void PrintSetupHint(const PackOperands& operands) {
  char line[2 * kCorePathSize + 100];
  DescribeSetupInFolder(operands, line);
  if (line[0] != 0) fprintf(stderr, "%s\n", line);
}

}  // namespace

int RunPackTool(const ToolArguments& arguments) {
  NameEncoding encoding;
  if (!encoding.Open(arguments.codepage())) {
    PrintError("%s", encoding.error());
    return kExitUsage;
  }
  PackOperands operands(arguments);
  if (!operands.Collect(&encoding)) return kExitFailure;
  ArgumentFileList list(operands.count());
  if (!list.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  const int collected = CollectFiles(operands, list);
  if (collected != kExitSuccess) return collected;
  char stubPath[kCorePathSize];
  if (!ResolveStub(arguments, stubPath)) return kExitFailure;
  char packagePath[kCorePathSize];
  if (!ResolveOutput(arguments, operands, list, packagePath)) return kExitFailure;
  PackBrand brand;
  const int branded = PackBrand::Requested(arguments.brand());
  if (branded && !brand.Prepare(arguments.brand(), stubPath, arguments.stub() != nullptr ? arguments.stub() : stubPath)) {
    return kExitFailure;
  }

  // The total comes from the pack itself, once the folders are walked.
  ProgressDisplay progress("packed", 0, StderrIsTerminal() ? stderr : nullptr);
  InterruptCleanup interruptCleanup;
  PackOptions options = DefaultPackOptions();
  options.packagePath = arguments.output() != nullptr || operands.directory()[0] != 0 ? packagePath : nullptr;
  options.observer = &progress;
  options.temporaryWatch = &interruptCleanup;
  SystemFolderWalker walker;
  options.walker = &walker;
  options.encoder = &encoding;
  options.codePage = &encoding.packageCodePage();
  LzmaMemberCompressor compressor(0, kDefaultGroupRule, kCompressMemoryLimit,
                                  arguments.compress() == kCompressFast ? kToolEncoderFast : kToolEncoderLiblzma);
  CompressedPackWriter compressed(compressor);
  if (arguments.compress()) options.compressor = &compressed;
  if (branded) options.program = brand.program();
  PackResult result;
  const PackOutcome outcome = PackFiles(list, stubPath, options, &result);
  progress.Finish(outcome == kPackCompleted);
  if (outcome != kPackCompleted) {
    PrintOutcome(result, stubPath, packagePath, encoding);
    if (outcome == kPackNoSetupProgram) PrintSetupHint(operands);
    return kExitFailure;
  }
  printf("%s\n", packagePath);
  return kExitSuccess;
}
