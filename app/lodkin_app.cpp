#include "app/lodkin_app.h"

#include "app/command_line.h"
#include "app/startup_dispatch.h"
#include "package/silent_run.h"
#include "ui/lodkin_dlg.h"

static void ShowPackagingWindow() {
  CLodkinDlg dialog(nullptr);
  dialog.DoModal();
}

BOOL CLodkinApp::InitInstance() {
  // The line is parsed once here; every mode reads its options from this one structure.
  StartOptions options;
  ParseCommandLine(m_lpCmdLine, &options);
  // First, so that a crash anywhere after it cannot leave a silent process waiting on a box.
  QuietSystemBoxesWhenSilent(options.silentSwitches);
  m_nExitCode = DispatchStartup(options, ProductStartupActions(ShowPackagingWindow));
  // Every mode has run to its end: the application ends here.
  return FALSE;
}
