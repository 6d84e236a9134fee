#include "core/member_layout.h"

#include <stdlib.h>

#include "core/member_name.h"

namespace {

// The order in which everything under a name follows right after the name itself: the
// separator sorts before every byte a safe name can hold, and ASCII letters compare
// without their case.
unsigned SortKey(char c) {
  if (c == kMemberSeparator) return 1;
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  return static_cast<unsigned char>(c);
}

int CompareNames(const void* first, const void* second) {
  const char* a = static_cast<const MemberNameRef*>(first)->name;
  const char* b = static_cast<const MemberNameRef*>(second)->name;
  while (*a != 0 && SortKey(*a) == SortKey(*b)) {
    ++a;
    ++b;
  }
  return static_cast<int>(SortKey(*a)) - static_cast<int>(SortKey(*b));
}

// 1 when `path` lies under the file `name`: it starts with the name, then a separator.
int LiesUnder(const char* path, const char* name) {
  while (*name != 0 && SortKey(*name) == SortKey(*path)) {
    ++name;
    ++path;
  }
  return *name == 0 && *path == kMemberSeparator;
}

}  // namespace

int FindFileBesideFolder(MemberNameRef* names, int count, int32_t* file) {
  if (count < 2) return 0;
  qsort(names, static_cast<size_t>(count), sizeof(MemberNameRef), CompareNames);
  // Names equal to a file's (but for case) come right after it, and then every name
  // under it: the next name is enough to look at.
  for (int i = 0; i + 1 < count; ++i) {
    if (IsFolderMemberName(names[i].name) || !LiesUnder(names[i + 1].name, names[i].name)) continue;
    *file = names[i].index;
    return 1;
  }
  return 0;
}

FileBesideFolderCheck CheckFileBesideFolder(const MemberNameSource& names, int32_t* file) {
  const int count = names.count();
  if (count < 2) return kNoFileBesideFolder;
  MemberNameRef* sorted = static_cast<MemberNameRef*>(malloc(static_cast<size_t>(count) * sizeof(MemberNameRef)));
  if (sorted == nullptr) return kFileBesideFolderNoMemory;
  for (int i = 0; i < count; ++i) sorted[i] = names.at(i);
  const int clash = FindFileBesideFolder(sorted, count, file);
  free(sorted);
  return clash ? kFileBesideFolderFound : kNoFileBesideFolder;
}
