// Dialogs built from a template in the program's resources. The template's controls
// are attached to members in DoDataExchange; messages go through the class's table,
// and what no table claims gets the dialog manager's default processing.
#pragma once
#include "framework/wnd.h"

// What DoDataExchange is handed: the dialog whose controls are attached. No values are
// exchanged.
class CDataExchange {
 public:
  explicit CDataExchange(CWnd* dialog) : m_pDlgWnd(dialog) {}
  CWnd* m_pDlgWnd;
};

// Attaches a control of the dialog to its member object.
void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control);

class CDialog : public CWnd {
 public:
  typedef CDialog ThisClass;
  CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}
  ~CDialog() override {}

  // Runs the dialog in its own modal loop; returns what EndDialog was given.
  virtual INT_PTR DoModal();
  // The procedure of every dialog of this class and its descendants: the WM_INITDIALOG
  // parameter is the object.
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* exchange) {}
  // Enter (IDOK): validate, then end the dialog with IDOK.
  virtual void OnOK();
  // Escape and the close command (IDCANCEL): end the dialog with IDCANCEL.
  virtual void OnCancel();

  // Attaches the controls again; nothing is exchanged, so nothing can fail.
  void UpdateData();
  void EndDialog(int result);
  BOOL SetDlgItemText(int controlId, const char* text) {
    return ::SetDlgItemTextA(m_hWnd, controlId, text);
  }

 private:
  UINT m_templateId;
  CWnd* m_pParentWnd;

  DECLARE_MESSAGE_MAP()
};
