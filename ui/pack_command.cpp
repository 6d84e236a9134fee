#include "ui/pack_command.h"

static void ShowOutcome(PackReport& report, const PackResult& result) {
  // Where both are used, the status line is set before the box is shown.
  const char* status = PackStatusText(result.outcome);
  if (status != nullptr) report.SetStatusText(status);
  char text[300];
  FormatPackMessage(result, text);
  report.ShowMessage(text, PackCaption(result.outcome));
}

int IsAnyMemberPacked(const PackFileList& list, PackReport& report) {
  PackResult result;
  if (FindPackedMember(list, result.name) < 0) return 0;
  result.outcome = kPackAlreadyPacked;
  ShowOutcome(report, result);
  return 1;
}

void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath) {
  RunPackCommandWith(list, report, modulePath, DefaultPackOptions());
}

void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options) {
  PackResult result;
  PackFiles(list, modulePath, options, &result);
  ShowOutcome(report, result);
}
