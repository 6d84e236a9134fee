// The running program's own path, read so that a cut is never handed on.
#pragma once
#include <windows.h>

#include <string.h>

// The running program's full path into a buffer of `size` bytes. Returns 0, with the
// buffer zero-filled, when the path does not fit: the system would cut it, and a cut
// path names another file.
inline int GetModulePath(char* path, DWORD size) {
  memset(path, 0, size);
  const DWORD length = GetModuleFileNameA(NULL, path, size);
  // A path that does not fit comes back cut to the buffer, with or without a
  // terminator depending on the system: either way its length reaches the size.
  if (length == 0 || length >= size) {
    memset(path, 0, size);
    return 0;
  }
  return 1;
}
