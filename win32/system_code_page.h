// The system's ANSI code page as the name rules need it: its number, and its lead bytes
// as the system itself reports them.
#pragma once
#include <windows.h>

#include "core/name_code_page.h"

inline NameCodePage SystemNameCodePage() {
  const UINT id = GetACP();
  NameCodePage codePage = ByteNameCodePage();
  codePage.id = id;
  for (unsigned byte = 0x80; byte < 0x100; ++byte) {
    if (IsDBCSLeadByteEx(id, static_cast<BYTE>(byte))) SetLeadByte(&codePage, static_cast<unsigned char>(byte));
  }
  return codePage;
}
