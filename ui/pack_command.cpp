#include "ui/pack_command.h"

#include "ui/windows_folder_walker.h"
#include "win32/module_path.h"
#include "win32/system_code_page.h"

void ShowPackOutcome(PackReport& report, const PackResult& result) {
  // Where both are used, the status line is set before the box is shown.
  const char* status = PackStatusText(result.outcome);
  if (status != nullptr) report.SetStatusText(status);
  char text[300];
  FormatPackMessage(result, text);
  report.ShowMessage(text, PackCaption(result.outcome));
}

void RunPackCommand(const PackFileList& list, PackReport& report, const char* modulePath) {
  // Folder rows pack their trees; names stay the system's own bytes (no encoder).
  WindowsFolderWalker walker;
  const NameCodePage codePage = SystemNameCodePage();
  PackOptions options = DefaultPackOptions();
  options.walker = &walker;
  options.codePage = &codePage;
  RunPackCommandWith(list, report, modulePath, options);
}

void RunPackCommandOfThisProgram(const PackFileList& list, PackReport& report) {
  char modulePath[260];
  GetModulePath(modulePath, sizeof(modulePath));
  RunPackCommand(list, report, modulePath);
}

void RunPackCommandWith(const PackFileList& list, PackReport& report, const char* modulePath,
                        const PackOptions& options) {
  PackResult result;
  PackFiles(list, modulePath, options, &result);
  ShowPackOutcome(report, result);
}
