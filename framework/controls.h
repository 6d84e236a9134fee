// Control wrappers: a handle and one-line calls of the control's messages.
#pragma once
#include "framework/wnd.h"

#include <commctrl.h>

class CStatic : public CWnd {};
class CButton : public CWnd {};

// A list view whose own message table sees its messages once attached; what the table
// does not claim goes on to the list view's own window procedure.
class CListCtrl : public CWnd {
 public:
  typedef CListCtrl ThisClass;
  CListCtrl() : m_previousProc(nullptr) {}
  ~CListCtrl() override;
  void Attach(HWND window) override;

  // Copies the row's text, cut to fit and always terminated; returns the characters copied.
  int GetItemText(int row, int column, char* text, int capacity) const;
  int GetItemCount() const {
    return static_cast<int>(SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
  }

 protected:
  // The list view's own handling of a message.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(m_previousProc, m_hWnd, message, wParam, lParam);
  }
  WNDPROC previousProc() const { return m_previousProc; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  WNDPROC m_previousProc;

  DECLARE_MESSAGE_MAP()
};
