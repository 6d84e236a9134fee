// The packaging window: the file list, the Pack and Delete buttons and the status line.
// It closes only through the system's close command; Enter and Escape do nothing.
#pragma once
#include "framework/controls.h"
#include "framework/dialog.h"
#include "ui/drop_list.h"

class CLodkinDlg : public CDialog {
 public:
  typedef CLodkinDlg ThisClass;
  explicit CLodkinDlg(CWnd* parent = nullptr);
  ~CLodkinDlg() override {}

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnPack();
  void OnDelete();
  void OnSize(UINT nType, int cx, int cy);
  void OnGetMinMaxInfo(MINMAXINFO* info);

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}

 public:
  CStatic m_statusText;
  CButton m_packButton;
  CButton m_deleteButton;
  CDropList m_fileList;
  HICON m_hIcon;

  DECLARE_MESSAGE_MAP()
};

extern const char kDropFilesPrompt[];
