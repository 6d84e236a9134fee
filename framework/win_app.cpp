#include "framework/win_app.h"

static CWinApp* g_application = nullptr;

CWinApp::CWinApp() : m_hInstance(nullptr), m_lpCmdLine(nullptr), m_pMainWnd(nullptr), m_nExitCode(0) {
  g_application = this;
}

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

int CWinApp::Run() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp* AfxGetApp() { return g_application; }

int AfxWinMain(HINSTANCE instance, LPSTR commandLine) {
  CWinApp* application = AfxGetApp();
  if (application == nullptr) return 1;
  application->m_hInstance = instance;
  application->m_lpCmdLine = commandLine;
  if (!application->InitInstance()) return application->ExitInstance();
  return application->Run();
}
