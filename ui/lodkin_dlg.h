// The packaging window: the file list, the "Compress" box, the Pack and Delete buttons and
// the status line. It closes only through the system's close command; Enter and Escape do
// nothing. A compressed pack runs off the window's thread; until it ends, the list, the box
// and the buttons take no input, and closing the window stops it.
#pragma once
#include "framework/controls.h"
#include "core/heap_object.h"
#include "framework/dialog.h"
#include "ui/drop_list.h"
#include "ui/window_pack.h"

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
  void OnProgressTimer();
  void OnPackEnded();

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
  CButton m_compressBox;
  HICON m_hIcon;

 private:
  void StartCompressedPack();
  void EnableInput(BOOL enable);
  HeapObject<WindowPack> m_pack;  // while a compressed pack runs

  DECLARE_MESSAGE_MAP()
};

extern const char kDropFilesPrompt[];
// The status line while a compressed pack reads its files: "Compressing 37 %".
extern const char kCompressingFormat[];
// Posted by the pack's thread when it has ended.
const UINT WM_PACK_ENDED = WM_APP + 1;
