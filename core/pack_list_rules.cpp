#include "core/pack_list_rules.h"

#include <string.h>

#include "core/bounded_format.h"
#include "core/member_name.h"
#include "core/name_clash.h"
#include "core/pack_members.h"

namespace {

const char* const kSetupProgramNames[] = {"setup.exe", "kvsetup.exe", "kvset.exe"};
const char kPackageMarker[] = "kvpack";

// Only A to Z change, whatever the locale.
void LowerAscii(char* text) {
  for (; *text != 0; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
}

// The lower-cased own name of a row's member (the last part of its name); 1 when the
// member lies at the top of the package.
int GetLowerFileName(const PackFileList& list, int row, char (&name)[kMemberNameSize]) {
  char member[kMemberNameSize];
  list.GetMemberName(row, member);
  const char* last = strrchr(member, kMemberSeparator);
  memset(name, 0, sizeof(name));
  const char* own = last != nullptr ? last + 1 : member;
  memcpy(name, own, strlen(own));
  LowerAscii(name);
  return last == nullptr;
}

// The members' names, each counted by its row.
class ListMemberNames : public MemberNameSource {
 public:
  explicit ListMemberNames(const PackMemberList& list) : list_(list) {}
  int count() const override { return list_.GetCount(); }
  MemberNameRef at(int position) const override {
    const MemberNameRef ref = {list_.memberName(position), position};
    return ref;
  }

 private:
  const PackMemberList& list_;
};

}  // namespace

int IsSetupProgramName(const char* fileName) {
  char lower[kMemberNameSize];
  memset(lower, 0, sizeof(lower));
  memcpy(lower, fileName, BoundedLength(fileName, sizeof(lower) - 1));
  LowerAscii(lower);
  for (const char* name : kSetupProgramNames) {
    if (strcmp(lower, name) == 0) return 1;
  }
  return 0;
}

unsigned CountSetupPrograms(const PackFileList& list) {
  unsigned count = 0;
  char name[kMemberNameSize];
  for (int row = 0; row < list.GetCount(); ++row) {
    if (list.IsFolderRow(row) || !GetLowerFileName(list, row, name)) continue;
    for (unsigned k = 0; k < sizeof(kSetupProgramNames) / sizeof(kSetupProgramNames[0]); ++k) {
      if (strcmp(name, kSetupProgramNames[k]) == 0) ++count;
    }
  }
  return count;
}

int FindPackedMember(const PackFileList& list, char (&lowerName)[kMemberNameSize]) {
  for (int row = 0; row < list.GetCount(); ++row) {
    if (list.IsFolderRow(row)) continue;
    GetLowerFileName(list, row, lowerName);
    if (strstr(lowerName, kPackageMarker) != nullptr) return row;
  }
  memset(lowerName, 0, sizeof(lowerName));
  return -1;
}

PackOutcome CheckMemberNames(const PackMemberList& list, PackResult* result) {
  const int count = list.GetCount();
  for (int row = 0; row < count; ++row) {
    const char* name = list.memberName(row);
    if (list.nameFault(row) == kMemberNameNotEncoded) return SetPackOutcome(result, kPackNameNotEncoded, name);
    // A name too long for a directory entry is refused as unsafe, never cut.
    char field[kMemberNameSize];
    list.GetMemberName(row, field);
    if (list.nameFault(row) != kMemberNameFits || CheckMemberName(field, list.nameCodePage()) != kNameSafe) {
      return SetPackOutcome(result, kPackUnsafeMemberName, name);
    }
  }
  int32_t row = -1;
  switch (CheckNameClash(ListMemberNames(list), list.nameCodePage(), &row)) {
    case kNoNameClash: return kPackCompleted;
    case kNameClashFileBesideFolder: return SetPackOutcome(result, kPackFileBesideFolder, list.memberName(row));
    case kNameClashEqualNames: return SetPackOutcome(result, kPackEqualNames, list.memberName(row));
    case kNameClashNoMemory: break;
  }
  return SetPackOutcome(result, kPackCannotWrite);
}
