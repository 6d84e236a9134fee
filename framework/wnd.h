// A window known to the framework: the handle plus the message table of its class.
#pragma once
#include <windows.h>

#include "framework/message_map.h"

class CWnd : public CCmdTarget {
 public:
  typedef CWnd ThisClass;
  CWnd() : m_hWnd(nullptr) {}
  ~CWnd() override {}
  HWND GetSafeHwnd() const { return m_hWnd; }

  HWND m_hWnd;
};
