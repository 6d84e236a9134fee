#include "framework/win_app.h"

static CWinApp* g_application = nullptr;

CWinApp::CWinApp() : m_lpCmdLine(nullptr), m_nExitCode(0) { g_application = this; }

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

CWinApp* AfxGetApp() { return g_application; }

int AfxWinMain(HINSTANCE /*instance*/, LPSTR commandLine) {
  CWinApp* application = AfxGetApp();
  if (application == nullptr) return 1;
  application->m_lpCmdLine = commandLine;
  application->InitInstance();
  return application->ExitInstance();
}
