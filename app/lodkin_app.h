// The application object: runs exactly one mode from InitInstance, then lets the
// process end.
#pragma once
#include "framework/win_app.h"

class CLodkinApp : public CWinApp {
 public:
  typedef CLodkinApp ThisClass;
  CLodkinApp() {}
  ~CLodkinApp() override {}
  BOOL InitInstance() override;
};
