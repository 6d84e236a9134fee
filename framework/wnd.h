// A window known to the framework: the handle plus the message table of its class.
#pragma once
#include <windows.h>

#include "framework/message_map.h"

class CWnd : public CCmdTarget {
 public:
  typedef CWnd ThisClass;
  CWnd() : m_hWnd(nullptr) {}
  ~CWnd() override {}

  // Binds the object to an existing window. Controls whose own table must see their
  // messages replace this and subclass the window.
  virtual void Attach(HWND window) { m_hWnd = window; }

  HWND m_hWnd;
};
