// lodkin-cli: packs, lists, verifies and extracts packages from a build pipeline.
#include <locale.h>
#include <stdio.h>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/console.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  // File names are in the locale's encoding; --codepage converts from and to it.
  setlocale(LC_CTYPE, "");
#endif
  ToolArguments arguments;
  if (!arguments.Parse(argc, argv)) {
    PrintError("%s", arguments.error());
    fprintf(stderr, "Try '%s --help' for more information.\n", kToolName);
    return kExitUsage;
  }
  int status = kExitSuccess;
  switch (arguments.command()) {
    case kCommandHelp: fputs(kUsageText, stdout); break;
    case kCommandVersion: printf("%s %s\n", kToolName, kToolVersion); break;
    case kCommandPack: status = RunPackTool(arguments); break;
    case kCommandList: status = RunListTool(arguments); break;
    case kCommandVerify: status = RunVerifyTool(arguments); break;
    case kCommandExtract: status = RunExtractTool(arguments); break;
  }
  // Output that cannot be written (a closed pipe, a full disk) is a failure too.
  if (fflush(stdout) != 0 || ferror(stdout)) {
    PrintError("cannot write the output");
    return kExitFailure;
  }
  return status;
}
