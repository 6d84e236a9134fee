// verify PACKAGE: the validation the program applies before it extracts anything.
#include <stdio.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "core/package_reader.h"

int RunVerifyTool(const ToolArguments& arguments) {
  PackageReader reader;
  char path[260];
  if (!OpenPackageOrReport(arguments.operand(0), reader, path)) return kExitFailure;
  printf("%s: well formed, %d member%s\n", arguments.operand(0), reader.count(),
         reader.count() == 1 ? "" : "s");
  return kExitSuccess;
}
