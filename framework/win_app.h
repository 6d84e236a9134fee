// The application object: exactly one global instance, constructed before WinMain runs.
// The entry point hands it the instance handle and the command-line tail, calls
// InitInstance once, and ends the process when it returns FALSE, with ExitInstance's code.
#pragma once
#include <windows.h>

#include "framework/message_map.h"
#include "framework/wnd.h"

// The framework's standard Help command.
const UINT ID_HELP = 0xE146;  // 57670

class CWinApp : public CCmdTarget {
 public:
  typedef CWinApp ThisClass;
  CWinApp();
  ~CWinApp() override;

  virtual BOOL InitInstance() { return FALSE; }
  // The process exit code once InitInstance has returned FALSE.
  virtual int ExitInstance() { return static_cast<int>(m_nExitCode); }
  // Runs a message loop for an application whose InitInstance returned TRUE.
  virtual int Run();

  // Dialogs host their controls through the system's dialog manager, so there is
  // nothing to switch on; kept so that start-up reads as it always has.
  void EnableControlContainer() {}

  // There is no help file: the Help command does nothing.
  void OnHelp() {}

  HINSTANCE m_hInstance;
  LPSTR m_lpCmdLine;       // the command line after the program's own name
  CWnd* m_pMainWnd;        // the window that stands for the application, if any
  DWORD m_nExitCode;       // what ExitInstance hands to the process end

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();

// The body of WinMain: called by the entry point of the program.
int AfxWinMain(HINSTANCE instance, LPSTR commandLine);
