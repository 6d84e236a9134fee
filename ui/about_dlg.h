// The About box, opened from the system menu. Its OK button and Escape close it
// through the dialog's own handling.
#pragma once
#include "framework/dialog.h"

class CAboutDlg : public CDialog {
 public:
  typedef CAboutDlg ThisClass;
  CAboutDlg();
  ~CAboutDlg() override {}

  DECLARE_MESSAGE_MAP()
};
