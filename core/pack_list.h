// The list that a package is packed from: its rows, top row (member 0) first, each a full
// path, and the name each row is stored under. The packaging window's list view, the
// command line's operands and the expanded tree of members are all such lists.
#pragma once
#include "core/path_limits.h"

class PackFileList {
 public:
  virtual int GetCount() const = 0;
  // The row's text, cut to fit and always terminated.
  virtual void GetRowText(int row, char (&text)[kCorePathSize]) const = 0;
  // The name the row is stored under: by default its file-name part, cut to fit.
  virtual void GetMemberName(int row, char (&name)[kMemberNameSize]) const;
  // 1 for a row that stands for an empty folder: a member without bytes.
  virtual int IsFolderRow(int row) const;

 protected:
  ~PackFileList() {}
};

// Index of the first character of the file-name part: one past the last separator,
// or 0 when no separator stands after index 0.
int GetFileNameOffset(const char* path);
