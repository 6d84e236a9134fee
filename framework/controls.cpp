#include "framework/controls.h"

// The object of a subclassed window is kept in a window property, which the list view
// does not use itself (its user data is the application's).
static const char kObjectProperty[] = "LodkinObject";

BEGIN_MESSAGE_MAP(CListCtrl, CWnd)
END_MESSAGE_MAP()

CListCtrl::~CListCtrl() {
  if (m_previousProc != nullptr && IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    RemovePropA(m_hWnd, kObjectProperty);
  }
}

void CListCtrl::Attach(HWND window) {
  // Data exchange attaches again on every validation: subclass only once.
  if (window == m_hWnd && m_previousProc != nullptr) return;
  m_hWnd = window;
  if (window == nullptr) return;
  SetPropA(window, kObjectProperty, this);
  m_previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

LRESULT CALLBACK CListCtrl::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  CListCtrl* control = static_cast<CListCtrl*>(GetPropA(window, kObjectProperty));
  LRESULT result = 0;
  if (control->DispatchToHandler(message, wParam, lParam, &result) == kMessageHandled) return result;
  return control->DefaultProc(message, wParam, lParam);
}

int CListCtrl::GetItemText(int row, int column, char* text, int capacity) const {
  LVITEMA item;
  ZeroMemory(&item, sizeof(item));
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = capacity;
  return static_cast<int>(
      SendMessageA(m_hWnd, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
}
