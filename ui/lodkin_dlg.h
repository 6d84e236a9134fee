// The packaging window. Not built yet: a placeholder that shows nothing.
#pragma once
#include "framework/wnd.h"

class CLodkinDlg : public CWnd {
 public:
  explicit CLodkinDlg(CWnd* parent = nullptr) {}
  INT_PTR DoModal() { return IDOK; }
};
