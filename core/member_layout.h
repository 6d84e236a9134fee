// The rule across a directory's names: no file may lie where a folder of the same name
// lies (letter case ignored, as Windows ignores it), whether that folder has an entry of
// its own ("a\") or appears in the paths of other members ("a\b"). Written out, one of
// the two would fail or land in the other.
#pragma once
#include <stdint.h>

struct MemberNameRef {
  const char* name;  // a safe member name, terminated
  int32_t index;     // whatever the caller counts entries by
};

// Sorts `names` in place. 1 when a file's name is also a folder's, with the file's index
// in *file.
int FindFileBesideFolder(MemberNameRef* names, int count, int32_t* file);

// The names of a directory as the rule reads them, one at a time.
class MemberNameSource {
 public:
  virtual int count() const = 0;
  virtual MemberNameRef at(int position) const = 0;

 protected:
  ~MemberNameSource() {}
};

enum FileBesideFolderCheck {
  kNoFileBesideFolder = 0,
  kFileBesideFolderFound,  // *file holds the file's index
  kFileBesideFolderNoMemory,
};

// The rule over all the names, in a block of its own (the source is left as it is).
FileBesideFolderCheck CheckFileBesideFolder(const MemberNameSource& names, int32_t* file);
