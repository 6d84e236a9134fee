// Files dropped onto a window as the shell hands them over: one WM_DROPFILES whose block
// holds the ANSI paths in order, each with its terminator, and an empty one after the
// last. Header-only, so that the benchmark programs share it without the test library.
#pragma once
#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

// The shell's block for the paths; the window that takes the drop releases it.
inline HGLOBAL MakeDropBlock(const std::vector<std::string>& paths) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths) size += path.size() + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  char* text = reinterpret_cast<char*>(header + 1);
  for (const std::string& path : paths) {
    memcpy(text, path.c_str(), path.size() + 1);
    text += path.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

// Sends the drop and returns when the window has taken it.
inline void DropFiles(HWND target, const std::vector<std::string>& paths) {
  SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
}
