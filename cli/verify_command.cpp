// verify PACKAGE: the validation the program applies before it extracts anything, then
// every checksum the package carries.
#include <stdio.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/posix_threads.h"
#include "core/package_reader.h"

int RunVerifyTool(const ToolArguments& arguments) {
  PosixThreads threads;  // outlives the reader, which joins its threads
  PackageReader reader;
  reader.SetWorkerThreads(&threads);
  char path[kCorePathSize];
  if (!OpenPackageOrReport(arguments.operand(0), reader, path)) return kExitFailure;
  CopyBuffer buffer;
  if (!buffer.isReady()) {
    PrintError("out of memory");
    return kExitFailure;
  }
  // Every damaged part is named, not only the first.
  int damaged = 0;
  const MemberCopyResult image = reader.CheckModuleImage(buffer);
  if (image != kMemberIntact) {
    PrintError("%s: %s", arguments.operand(0),
               image == kMemberDamaged ? "module image is damaged" : "cannot read the module image");
    ++damaged;
  }
  int checked = 0;
  for (int i = 0; i < reader.count(); ++i) {
    const MemberCopyResult member = reader.CheckMember(i, buffer);
    // A shortage says nothing about the package: the check ends there.
    if (member == kMemberNoMemory) {
      PrintError("out of memory");
      return kExitFailure;
    }
    if (member != kMemberIntact) {
      PrintError("%s: member \"%s\" (entry %d) %s", arguments.operand(0), reader.entry(i).name, i,
                 member == kMemberDamaged ? "is damaged" : "cannot be read");
      ++damaged;
    }
    checked += reader.HasChecksum(i);
  }
  if (damaged > 0) return kExitFailure;
  printf("%s: well formed, %d member%s, %d with checksums\n", arguments.operand(0), reader.count(),
         reader.count() == 1 ? "" : "s", checked);
  return kExitSuccess;
}
