#include "core/name_clash.h"

#include <stdlib.h>
#include <string.h>

#include "core/growable_block.h"
#include "core/member_name.h"

namespace {

// A name as it is compared: letters folded, and the separator made the lowest byte, so
// that in byte order everything under a name follows right after the name itself.
struct FoldedName {
  unsigned char key[261];
  int32_t index;
  int folder;
};

const unsigned char kFoldedSeparator = 1;  // below every byte a safe name can hold

void Fold(const char* name, const NameCodePage& codePage, FoldedName* folded) {
  size_t at = 0;
  for (const char* p = name; *p != 0 && at + 2 < sizeof(folded->key);) {
    const int length = CharacterLength(codePage, p);
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (length == 2) {
      folded->key[at++] = byte;
      folded->key[at++] = static_cast<unsigned char>(p[1]);
    } else {
      folded->key[at++] = byte == kMemberSeparator ? kFoldedSeparator : FoldNameByte(codePage, byte);
    }
    p += length;
  }
  folded->key[at] = 0;
  folded->folder = at > 0 && folded->key[at - 1] == kFoldedSeparator;
}

int CompareFolded(const void* first, const void* second) {
  const FoldedName* a = static_cast<const FoldedName*>(first);
  const FoldedName* b = static_cast<const FoldedName*>(second);
  const int order = strcmp(reinterpret_cast<const char*>(a->key), reinterpret_cast<const char*>(b->key));
  return order != 0 ? order : (a->index > b->index) - (a->index < b->index);
}

// 1 when `path` lies under `name`: it starts with the name, then a separator.
int LiesUnder(const unsigned char* path, const unsigned char* name) {
  const size_t length = strlen(reinterpret_cast<const char*>(name));
  return memcmp(path, name, length) == 0 && path[length] == kFoldedSeparator;
}

NameClash FindInSorted(const FoldedName* names, int count, int32_t* entry) {
  // Equal names lie side by side, and every name under a file's comes right after it
  // (and after the names equal to it): the next name is enough to look at.
  for (int i = 0; i + 1 < count; ++i) {
    if (strcmp(reinterpret_cast<const char*>(names[i].key), reinterpret_cast<const char*>(names[i + 1].key)) == 0) {
      *entry = names[i + 1].index;
      return kNameClashEqualNames;
    }
    if (!names[i].folder && LiesUnder(names[i + 1].key, names[i].key)) {
      *entry = names[i].index;
      return kNameClashFileBesideFolder;
    }
  }
  return kNoNameClash;
}

}  // namespace

NameClash FindNameClash(const MemberNameRef* names, int count, const NameCodePage& codePage, int32_t* entry) {
  if (count < 2) return kNoNameClash;
  GrowableBlock<FoldedName> folded;
  if (!folded.Allocate(static_cast<size_t>(count))) return kNameClashNoMemory;
  for (int i = 0; i < count; ++i) {
    Fold(names[i].name, codePage, &folded[i]);
    folded[i].index = names[i].index;
  }
  qsort(folded.get(), static_cast<size_t>(count), sizeof(FoldedName), CompareFolded);
  return FindInSorted(folded.get(), count, entry);
}

NameClash CheckNameClash(const MemberNameSource& names, const NameCodePage& codePage, int32_t* entry) {
  const int count = names.count();
  if (count < 2) return kNoNameClash;
  GrowableBlock<MemberNameRef> refs;
  if (!refs.Allocate(static_cast<size_t>(count))) return kNameClashNoMemory;
  for (int i = 0; i < count; ++i) refs[i] = names.at(i);
  return FindNameClash(refs.get(), count, codePage, entry);
}
