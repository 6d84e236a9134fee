#include "package/run_failure.h"

#include <stdio.h>

#include "package/failure_log.h"
#include "package/silent_run.h"
#include "package/work_directory.h"

static const char kErrorCaption[] = "error";

DWORD ReportRunFailure(const RunFailureReporter& reporter, const char* format, const char* subject, DWORD code,
                       FailureReport report) {
  char message[kMemberPathSize + 64];
  _snprintf(message, sizeof(message) - 1, format, subject, static_cast<int>(code));
  message[sizeof(message) - 1] = 0;
  if (report == kBoxOnly) {
    OutputDebugStringA(message);
  } else {
    LogRunFailure(reporter.packagePath, code, message);
  }
  // Asked only now: the question brings up the desktop, which a run that goes well never needs.
  if (report != kLogOnly && !IsSilentProcess(reporter.silentOption)) {
    MessageBoxA(NULL, message, kErrorCaption, MB_OK);
  }
  return code;
}
