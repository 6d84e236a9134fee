#include "app/lodkin_app.h"

#include "app/command_line.h"
#include "app/startup_dispatch.h"
#include "ui/lodkin_dlg.h"

BEGIN_MESSAGE_MAP(CLodkinApp, CWinApp)
  ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

static void ShowPackagingWindow() {
  CLodkinDlg dialog(nullptr);
  AfxGetApp()->m_pMainWnd = &dialog;
  dialog.DoModal();
  AfxGetApp()->m_pMainWnd = nullptr;
}

BOOL CLodkinApp::InitInstance() {
  EnableControlContainer();
  char commandLine[kCommandLineSize];
  CopyCommandLine(commandLine, m_lpCmdLine);
  m_nExitCode = DispatchStartup(commandLine, ProductStartupActions(ShowPackagingWindow));
  // Every mode has run to its end: the application ends here.
  return FALSE;
}
