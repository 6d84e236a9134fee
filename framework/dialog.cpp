#include "framework/dialog.h"

#include <commctrl.h>

#include "framework/dll_search.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control) {
  control.Attach(GetDlgItem(exchange->m_pDlgWnd->m_hWnd, controlId));
}

static HWND ParentHandle(CWnd* parent) { return parent != nullptr ? parent->m_hWnd : nullptr; }

// Templates may name common controls (the list view): their classes must be registered
// before the dialog manager creates them. The library is loaded here, not imported: its
// start-up makes Wine bring up the desktop, which costs a package run, which never shows
// a window, more than a tenth of a second. It stays loaded for the controls' sake. It is
// not one of the system's known DLLs: by its bare name it could come from the program's
// folder.
static void RegisterControlClasses() {
  HMODULE controls = LoadSystemLibrary("comctl32.dll");
  if (controls == nullptr) return;
  typedef void(WINAPI * InitProc)();
  InitProc init = reinterpret_cast<InitProc>(GetProcAddress(controls, "InitCommonControls"));
  if (init != nullptr) init();
}

INT_PTR CDialog::DoModal() {
  RegisterControlClasses();
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                         ParentHandle(m_pParentWnd), &DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  UpdateData();
  return TRUE;
}

void CDialog::UpdateData() {
  CDataExchange exchange(this);
  DoDataExchange(&exchange);
}

void CDialog::OnOK() {
  UpdateData();
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

// These messages return their value from the dialog procedure itself; every other one
// returns it through DWLP_MSGRESULT.
static bool ReturnsValueDirectly(UINT message) {
  return message == WM_QUERYDRAGICON || message == WM_CTLCOLORSTATIC ||
         message == WM_CTLCOLORDLG || message == WM_CTLCOLORBTN || message == WM_CTLCOLOREDIT ||
         message == WM_CTLCOLORLISTBOX || message == WM_COMPAREITEM ||
         message == WM_VKEYTOITEM || message == WM_CHARTOITEM;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->m_hWnd = window;
    return dialog->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (font, sizes, creation) belong to no object yet.
  CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  // FALSE hands a message back to the dialog manager, which does the default processing
  // itself: a dialog procedure never calls DefWindowProc.
  LRESULT result = 0;
  if (dialog->DispatchToHandler(message, wParam, lParam, &result) == kMessageNotHandled) return FALSE;
  if (ReturnsValueDirectly(message)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}
