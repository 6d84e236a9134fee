#include "ui/about_dlg.h"

#include "ui/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()
