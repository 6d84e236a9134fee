// The members of a directory as the package's users see them: group entries are left
// out, each compressed member is tied to its group and each copy to the member whose
// bytes it repeats. Stored members may stand among a
// group's members (their bytes follow the group's stream); they belong to no group. A record that does not check
// out never makes the directory unreadable: the members it concerns are marked damaged,
// so that a run reports them as it reports any damaged member, before it starts anything.
#pragma once
#include <stdint.h>

#include "core/package_format.h"

struct MemberSlot {
  int32_t entry;          // the member's index in the directory
  int32_t group;          // the group's entry in the directory, or -1 for a stored member
  int32_t firstInGroup;   // the member index of the group's first member
  int32_t nextInGroup;    // the member index of the group's next member, or -1 after its last
  uint32_t originalSize;  // compressed members: the size once decoded
  uint32_t checksum;      // compressed members: the checksum of the original bytes
  int32_t damaged;        // 1 when a record of the member or of its group is not as written
  int32_t copyOf;         // a copy: the member index of the earlier member whose bytes it has; else -1
  int32_t checked;        // 1 once its bytes were decoded and matched their checksum
};

// Fills `slots` (room for `count`) and returns the number of members. Copies count only
// in a directory read from a table (`copiesAllowed`): anywhere else a reader that knows no
// copies would see an empty file, so no writer puts one there.
int MapMembers(const PackageDirEntry* entries, int count, MemberSlot* slots, int copiesAllowed);

// The first group entry whose record checks out but counts more members than there are
// entries after it, or than there are before the next group's entry; -1 when none does.
// Mapped, such a count would take a record for a member.
int FindOverrunningGroup(const PackageDirEntry* entries, int count);
