#include "ui/pack_command.h"

#include "win32/module_path.h"

static void ShowOutcome(PackReport& report, const PackResult& result) {
  // Where both are used, the status line is set before the box is shown.
  const char* status = PackStatusText(result.outcome);
  if (status != nullptr) report.SetStatusText(status);
  char text[300];
  FormatPackMessage(result, text);
  report.ShowMessage(text, PackCaption(result.outcome));
}

void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath) {
  RunPackCommandWith(list, report, modulePath, DefaultPackOptions());
}

void RunPackCommandOfThisProgram(const PackFileList& list, PackReport& report, unsigned pathCapacity) {
  char modulePath[260];
  GetModulePath(modulePath, pathCapacity < sizeof(modulePath) ? pathCapacity : sizeof(modulePath));
  RunPackCommand(list, report, modulePath);
}

void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options) {
  PackResult result;
  PackFiles(list, modulePath, options, &result);
  ShowOutcome(report, result);
}
