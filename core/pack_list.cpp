#include "core/pack_list.h"

#include <string.h>

void PackFileList::GetMemberName(int row, char (&name)[kMemberNameSize]) const {
  char path[kCorePathSize];
  memset(path, 0, sizeof(path));
  GetRowText(row, path);
  memset(name, 0, sizeof(name));
  const char* fileName = path + GetFileNameOffset(path);
  memcpy(name, fileName, strnlen(fileName, sizeof(name) - 1));
}

int PackFileList::IsFolderRow(int) const { return 0; }

int GetFileNameOffset(const char* path) {
  for (int i = static_cast<int>(strlen(path)) - 1; i >= 1; --i) {
    if (path[i] == kPathSeparator) return i + 1;
  }
  return 0;
}
