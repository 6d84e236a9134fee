#include "ui/drop_list.h"

#include <string.h>

BEGIN_MESSAGE_MAP(CDropList, CListCtrl)
  ON_WM_DROPFILES()
END_MESSAGE_MAP()

static const int kPathSize = 260;

static bool IsListed(const CDropList& list, const char* path) {
  char entry[kPathSize];
  memset(entry, 0, sizeof(entry));
  int count = list.GetItemCount();
  for (int row = 0; row < count; ++row) {
    list.GetItemText(row, 0, entry, kPathSize);
    // Byte for byte: paths that differ in letter case are different entries.
    if (strcmp(entry, path) == 0) return true;
  }
  return false;
}

static bool IsReadableFile(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

void CDropList::OnDropFiles(HDROP hDropInfo) {
  char path[kPathSize];
  memset(path, 0, sizeof(path));
  UINT count = DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // A longer path would be cut by the buffer and could then name another file.
    if (DragQueryFileA(hDropInfo, i, nullptr, 0) >= static_cast<UINT>(kPathSize)) continue;
    DragQueryFileA(hDropInfo, i, path, kPathSize);
    if (IsListed(*this, path) || !IsReadableFile(path)) continue;
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = 0;
    item.pszText = path;
    SendMessageA(m_hWnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  DefaultProc(WM_DROPFILES, reinterpret_cast<WPARAM>(hDropInfo), 0);
  DragFinish(hDropInfo);
}
