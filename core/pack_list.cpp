#include "core/pack_list.h"

#include <string.h>

#include "core/bounded_format.h"

void PackFileList::GetMemberName(int row, char (&name)[kMemberNameSize]) const {
  char path[kCorePathSize];
  memset(path, 0, sizeof(path));
  GetRowText(row, path);
  memset(name, 0, sizeof(name));
  const char* fileName = path + GetFileNameOffset(path);
  memcpy(name, fileName, BoundedLength(fileName, sizeof(name) - 1));
}

int PackFileList::IsFolderRow(int) const { return 0; }

int GetFileNameOffset(const char* path) { return GetFileNameOffset(path, ByteNameCodePage()); }

int GetFileNameOffset(const char* path, const NameCodePage& codePage) {
  int offset = 0;
  for (int i = 0; path[i] != 0; i += CharacterLength(codePage, path + i)) {
    if (i >= 1 && path[i] == kPathSeparator) offset = i + 1;
  }
  return offset;
}
