#include "app/lodkin_app.h"

#include "app/command_line.h"
#include "app/startup_dispatch.h"
#include "ui/lodkin_dlg.h"

static void ShowPackagingWindow() {
  CLodkinDlg dialog(nullptr);
  dialog.DoModal();
}

BOOL CLodkinApp::InitInstance() {
  // The line is parsed once here; every mode reads its options from this one structure.
  StartOptions options;
  ParseCommandLine(m_lpCmdLine, &options);
  m_nExitCode = DispatchStartup(options, ProductStartupActions(ShowPackagingWindow));
  // Every mode has run to its end: the application ends here.
  return FALSE;
}
