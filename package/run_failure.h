// How a package run that fails says so: the same text in the debugger output, in the
// failure log and, when somebody can see it, in the run's one box. A silent run shows
// nothing and never waits for a click; it ends with the same exit code.
#pragma once
#include <windows.h>

struct RunFailureReporter {
  const char* packagePath;  // as far as it was read
  int silentOption;         // the command line starts with "-s"
};

// Where a failure's text goes besides the debugger output.
enum FailureReport {
  kBoxAndLog,
  // The temporary folder, where the log lives, is itself what failed.
  kBoxOnly,
  // A failure that has no box of the run (the shell shows its own).
  kLogOnly,
};

// Formats the text (format filled with subject and code), sends it to the debugger
// output, logs it, shows it in a box with no owner window and the caption "error"
// unless the run is silent, and returns the code: the process exit code of the failure.
DWORD ReportRunFailure(const RunFailureReporter& reporter, const char* format, const char* subject, DWORD code,
                       FailureReport report = kBoxAndLog);
