// The members of a directory as the package's users see them: group entries are left
// out, and each compressed member is tied to its group. Stored members may stand among a
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
};

// Fills `slots` (room for `count`) and returns the number of members.
int MapMembers(const PackageDirEntry* entries, int count, MemberSlot* slots);
