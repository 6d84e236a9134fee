// pack [-o OUTPUT] [--stub PROGRAM] FILE...: the window's Pack command on a list given
// on the command line, with the window's checks and words.
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/paths.h"
#include "cli/progress_display.h"
#include "core/pack_job.h"
#ifndef _WIN32
#include "cli/lzma_member_compressor.h"
#endif

namespace {

// The FILE operands as full paths, first operand first: the window's top row is member 0.
class ArgumentFileList : public PackFileList {
 public:
  explicit ArgumentFileList(int count)
      : paths_(static_cast<char(*)[kCorePathSize]>(calloc(static_cast<size_t>(count), kCorePathSize))),
        count_(paths_ != nullptr ? count : 0) {}
  ~ArgumentFileList() { free(paths_); }
  ArgumentFileList(const ArgumentFileList&) = delete;
  ArgumentFileList& operator=(const ArgumentFileList&) = delete;

  int isReady() const { return paths_ != nullptr; }
  char (&path(int row))[kCorePathSize] { return paths_[row]; }
  int GetCount() const override { return count_; }
  void GetRowText(int row, char (&text)[260]) const override { memcpy(text, paths_[row], sizeof(text)); }

 private:
  char (*paths_)[kCorePathSize];
  int count_;
};

uint64_t FileLength(const char* path) {
  BinaryFile file;
  uint64_t length = 0;
  if (!file.OpenForReading(path) || !file.GetLength(&length)) return 0;
  return length;
}

// The window's box text as an error line: without its trailing blank and without the
// "Error: " that the already-packed box starts with.
void PrintOutcome(const PackResult& result, const char* stubPath, const char* packagePath) {
  char text[300];
  FormatPackMessage(result, text);
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

}  // namespace

int RunPackTool(const ToolArguments& arguments) {
#ifdef _WIN32
  // The compressor is liblzma, which exists for the native build only; every build
  // reads compressed packages.
  if (arguments.compress()) {
    PrintError("--compress is not available in this build: pack with the native lodkin-cli");
    return kExitFailure;
  }
#endif
  const int count = arguments.operandCount();
  ArgumentFileList list(count);
  if (!list.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  uint64_t total = 0;
  for (int row = 0; row < count; ++row) {
    if (!MakeFullPath(arguments.operand(row), list.path(row))) {
      PrintError("path too long: %s", arguments.operand(row));
      return kExitFailure;
    }
    total += FileLength(list.path(row));
  }

  char stubPath[kCorePathSize];
  const int haveStub = arguments.stub() != nullptr ? MakeFullPath(arguments.stub(), stubPath)
                                                   : GetDefaultStubPath(stubPath);
  if (!haveStub) {
    PrintError("path too long: %s", arguments.stub() != nullptr ? arguments.stub() : "(the tool's folder)");
    return kExitFailure;
  }
  total += FileLength(stubPath);

  char packagePath[kCorePathSize];
  memset(packagePath, 0, sizeof(packagePath));
  if (arguments.output() != nullptr) {
    if (!MakeFullPath(arguments.output(), packagePath)) {
      PrintError("path too long: %s", arguments.output());
      return kExitFailure;
    }
    // Moving the new package over a file that is being packed would lose that file.
    for (int row = 0; row < count; ++row) {
      if (IsSameFile(packagePath, list.path(row))) {
        PrintError("the output \"%s\" is one of the files to pack", arguments.output());
        return kExitFailure;
      }
    }
  } else {
    // The path the package rules give; PackFiles derives the same and reports a failure.
    BuildPackagePath(list.path(0), packagePath);
  }

  ProgressDisplay progress("packed", total, StderrIsTerminal() ? stderr : nullptr);
  PackOptions options = DefaultPackOptions();
  options.packagePath = arguments.output() != nullptr ? packagePath : nullptr;
  options.observer = &progress;
#ifndef _WIN32
  LzmaMemberCompressor compressor;
  if (arguments.compress()) options.compressor = &compressor;
#endif
  PackResult result;
  const PackOutcome outcome = PackFiles(list, stubPath, options, &result);
  progress.Finish();
  if (outcome != kPackCompleted) {
    PrintOutcome(result, stubPath, packagePath);
    return kExitFailure;
  }
  printf("%s\n", packagePath);
  return kExitSuccess;
}
