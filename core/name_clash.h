// The rules across a directory's names, with names compared as Windows compares file
// names (ASCII letters without their case, and in code page 1252 its accented letters
// too; the second byte of a double-byte character as it is):
// - no file may lie where a folder of the same name lies, whether that folder has an
//   entry of its own ("a\") or appears in the paths of other members ("a\b");
// - no two entries may have the same name ("setup.exe" and "SETUP.EXE").
// Written out, one of the two would fail, land in the other or be written over.
#pragma once
#include <stdint.h>

#include "core/name_code_page.h"

struct MemberNameRef {
  const char* name;  // a safe member name, terminated
  int32_t index;     // whatever the caller counts entries by
};

enum NameClash {
  kNoNameClash = 0,
  kNameClashFileBesideFolder,  // *entry: the file
  kNameClashEqualNames,        // *entry: the later of two equal names, by index
  kNameClashNoMemory,          // no room to compare the names
};

// Compares the names of `count` entries, all in `codePage`.
NameClash FindNameClash(const MemberNameRef* names, int count, const NameCodePage& codePage, int32_t* entry);

// The names of a directory as the rules read them, one at a time.
class MemberNameSource {
 public:
  virtual int count() const = 0;
  virtual MemberNameRef at(int position) const = 0;

 protected:
  ~MemberNameSource() {}
};

// FindNameClash over all the names of `names`, in a block of its own.
NameClash CheckNameClash(const MemberNameSource& names, const NameCodePage& codePage, int32_t* entry);
