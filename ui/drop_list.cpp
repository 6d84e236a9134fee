#include "ui/drop_list.h"

#include <shlobj.h>
#include <string.h>

#include "core/pack_list.h"
#include "core/path_limits.h"
#include "core/text_set.h"
#include "win32/unique_resource.h"

BEGIN_MESSAGE_MAP(CDropList, CListCtrl)
  ON_WM_DROPFILES()
END_MESSAGE_MAP()

static const int kPathSize = kPathBufferSize;
// How long a drop may go on without the window being painted.
static const DWORD kPaintInterval = 200;

namespace {

// The list view's own procedure, called directly for the drop's many messages: the way
// through the control's table looks the object up in a window property, which is a
// round trip to the Wine server for every message.
struct ListView {
  HWND window;
  WNDPROC procedure;
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return CallWindowProcA(procedure, window, message, wParam, lParam);
  }
};

// Inserting a row into a visible list view makes it redraw at once, which under Wine
// costs more than everything else a dropped file needs. Redrawing is switched off for
// the drop and the window is painted every so often instead, so that it never looks
// frozen; only paint work is done then, no input and no other message is taken.
class PaintedNowAndThen {
 public:
  explicit PaintedNowAndThen(const ListView& list) : list_(list), lastPaint_(GetTickCount()) {
    list_.Send(WM_SETREDRAW, FALSE, 0);
  }
  ~PaintedNowAndThen() {
    list_.Send(WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list_.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  PaintedNowAndThen(const PaintedNowAndThen&) = delete;
  PaintedNowAndThen& operator=(const PaintedNowAndThen&) = delete;

  void PaintWhenDue() {
    if (GetTickCount() - lastPaint_ < kPaintInterval) return;
    list_.Send(WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list_.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    // Takes in what the display asks to have painted again (another window moved away)
    // without removing or dispatching any message, then paints it.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_PAINT);
    RedrawWindow(GetAncestor(list_.window, GA_ROOT), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    list_.Send(WM_SETREDRAW, FALSE, 0);
    lastPaint_ = GetTickCount();
  }

 private:
  ListView list_;
  DWORD lastPaint_;
};

// The shell's list of dropped paths, walked once from the start. DragQueryFile walks it
// from its start again for every index, which makes a drop of thousands of files cost
// time in the square of their number. Each path comes out as DragQueryFileA gives it.
class DroppedPaths {
 public:
  DroppedPaths(HDROP drop, UINT count)
      : drop_(drop), count_(count), index_(0), header_(static_cast<const DROPFILES*>(GlobalLock(drop))),
        next_(header_ != nullptr ? reinterpret_cast<const char*>(header_) + header_->pFiles : nullptr) {}
  ~DroppedPaths() {
    if (header_ != nullptr) GlobalUnlock(drop_);
  }
  DroppedPaths(const DroppedPaths&) = delete;
  DroppedPaths& operator=(const DroppedPaths&) = delete;

  // Fills `path` with the next dropped path; *fits is false for a path that the buffer
  // cannot hold whole. Returns 0 after the last one.
  int Next(char (&path)[kPathSize], bool* fits) {
    if (index_ >= count_) return 0;
    if (next_ == nullptr) {
      // A block that cannot be read directly: the shell's own way, one index at a time.
      *fits = DragQueryFileA(drop_, index_, nullptr, 0) < static_cast<UINT>(kPathSize);
      if (*fits) DragQueryFileA(drop_, index_, path, kPathSize);
    } else if (header_->fWide) {
      const wchar_t* text = reinterpret_cast<const wchar_t*>(next_);
      const size_t length = wcslen(text);
      next_ += (length + 1) * sizeof(wchar_t);
      *fits = length < static_cast<size_t>(kPathSize) &&
              WideCharToMultiByte(CP_ACP, 0, text, -1, path, kPathSize, nullptr, nullptr) > 0;
    } else {
      const size_t length = strlen(next_);
      *fits = length < static_cast<size_t>(kPathSize);
      if (*fits) memcpy(path, next_, length + 1);
      next_ += length + 1;
    }
    ++index_;
    return 1;
  }

 private:
  HDROP drop_;
  UINT count_;
  UINT index_;
  const DROPFILES* header_;
  const char* next_;
};

bool IsReadableFile(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

// A file that can be read, or a folder, whose tree the Pack command adds under the
// folder's name. A drive root has no name to give its tree and is left out. Files are
// tried first, so that a drop of files costs what it always did.
bool CanBeListed(const char* path) {
  if (IsReadableFile(path)) return true;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         path[GetFileNameOffset(path)] != 0;
}

// The row's text, cut to fit and always terminated.
void GetRowText(const ListView& list, int row, char (&entry)[kPathSize]) {
  memset(entry, 0, sizeof(entry));
  LVITEMA item;
  ZeroMemory(&item, sizeof(item));
  item.pszText = entry;
  item.cchTextMax = kPathSize;
  list.Send(LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

// Without the memory for an index: each dropped path against every row.
bool IsListed(const ListView& list, const char* path) {
  char entry[kPathSize];
  const int count = static_cast<int>(list.Send(LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    GetRowText(list, row, entry);
    // Byte for byte: paths that differ in letter case are different entries.
    if (strcmp(entry, path) == 0) return true;
  }
  return false;
}

// The index of one drop, from the rows as they stand. 0 when there is no memory for it.
int IndexRows(const ListView& list, unsigned dropped, TextSet& index) {
  const int rows = static_cast<int>(list.Send(LVM_GETITEMCOUNT, 0, 0));
  if (!index.Reserve(static_cast<unsigned>(rows) + dropped)) return 0;
  char entry[kPathSize];
  for (int row = 0; row < rows; ++row) {
    GetRowText(list, row, entry);
    if (!index.Add(entry)) return 0;
  }
  return 1;
}

}  // namespace

void CDropList::OnDropFiles(HDROP hDropInfo) {
  // The shell's block is released once the list view has seen the drop too.
  const UniqueDrop drop(hDropInfo);
  // A list disabled while a pack runs takes no rows: the pack reads the rows it was given.
  if (!IsWindowEnabled(m_hWnd)) return;
  char path[kPathSize];
  memset(path, 0, sizeof(path));
  const UINT count = DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0);
  {
    const ListView list = {m_hWnd, previousProc()};
    TextSet index;
    bool indexed = IndexRows(list, count, index) != 0;
    PaintedNowAndThen painting(list);
    DroppedPaths dropped(hDropInfo, count);
    bool fits = false;
    while (dropped.Next(path, &fits)) {
      painting.PaintWhenDue();
      // A longer path would be cut by the buffer and could then name another file.
      if (!fits) continue;
      if ((indexed ? index.Contains(path) : IsListed(list, path)) || !CanBeListed(path)) continue;
      LVITEMA item;
      ZeroMemory(&item, sizeof(item));
      item.mask = LVIF_TEXT | LVIF_STATE;
      item.iItem = 0;
      item.pszText = path;
      if (list.Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0) continue;
      if (indexed && !index.Add(path)) indexed = false;
    }
  }
  DefaultProc(WM_DROPFILES, reinterpret_cast<WPARAM>(hDropInfo), 0);
}
