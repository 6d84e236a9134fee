// A dialog of the program created without a modal loop, from the templates linked into
// the test program, so that a test (or a benchmark) drives it with its own messages.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/dialog.h"

// 1 when the window was made; it is the object's m_hWnd from then on.
inline int CreateModelessDialog(CDialog& dialog, UINT templateId) {
  InitCommonControls();
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr,
                            &CDialog::DialogProc, reinterpret_cast<LPARAM>(&dialog)) != nullptr;
}
