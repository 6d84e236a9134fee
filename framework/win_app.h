// The application object: exactly one instance, made by the program's entry point.
// The entry point hands it the command-line tail, calls InitInstance once, and ends the
// process with ExitInstance's code: every mode, the modal window included, runs to its
// end inside InitInstance, so no message loop is left to run after it.
#pragma once
#include <windows.h>

#include "framework/message_map.h"

class CWinApp : public CCmdTarget {
 public:
  typedef CWinApp ThisClass;
  CWinApp();
  ~CWinApp() override;

  // Runs the program; what it returns is not looked at.
  virtual BOOL InitInstance() { return FALSE; }
  // The process exit code once InitInstance has returned.
  virtual int ExitInstance() { return static_cast<int>(m_nExitCode); }

  LPSTR m_lpCmdLine;  // the command line after the program's own name
  DWORD m_nExitCode;  // what ExitInstance hands to the process end

};

CWinApp* AfxGetApp();

// The body of WinMain: called by the entry point of the program.
int AfxWinMain(HINSTANCE instance, LPSTR commandLine);
