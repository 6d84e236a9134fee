#include "core/member_map.h"

#include "core/compression_record.h"

namespace {

// The entries after a group's entry that belong to it: as many as its record says, or,
// when that record is damaged, those whose own records name the group.
int GroupLength(const PackageDirEntry* entries, int count, int group, const GroupRecord* record) {
  if (record != nullptr) return static_cast<int>(record->memberCount);
  int length = 0;
  CompressedMemberRecord member;
  while (group + 1 + length < count && ReadCompressedMemberRecord(entries[group + 1 + length], &member) &&
         member.group == static_cast<uint32_t>(group)) {
    ++length;
  }
  return length;
}

// Maps the group at entry `group`; returns the number of its members.
int MapGroup(const PackageDirEntry* entries, int count, int group, MemberSlot* slots, int first) {
  GroupRecord record;
  const int valid = ReadGroupRecord(entries[group], &record) && record.codec == kCodecLzma &&
                    record.memberCount >= 1 && record.memberCount <= static_cast<uint32_t>(count - 1 - group);
  const int length = GroupLength(entries, count, group, valid ? &record : nullptr);
  const uint64_t streamEnd = static_cast<uint64_t>(entries[group].offset) + entries[group].size;
  uint64_t sum = 0;
  int damaged = !valid;
  // Past a member whose record is damaged, the members' places in the stream are unknown.
  int broken = 0;
  for (int k = 0; k < length; ++k) {
    const PackageDirEntry& entry = entries[group + 1 + k];
    MemberSlot& slot = slots[first + k];
    slot.entry = group + 1 + k;
    slot.group = group;
    slot.firstInGroup = first;
    CompressedMemberRecord member;
    const int ok = ReadCompressedMemberRecord(entry, &member) && member.group == static_cast<uint32_t>(group) &&
                   entry.offset == streamEnd && entry.size == 0;
    slot.originalSize = ok ? member.originalSize : 0;
    slot.checksum = ok ? member.checksum : 0;
    broken = broken || !ok;
    slot.damaged = broken;
    sum += slot.originalSize;
  }
  if (valid && !broken && sum != record.originalSize) damaged = 1;
  for (int k = 0; k < length && damaged; ++k) slots[first + k].damaged = 1;
  return length;
}

}  // namespace

int MapMembers(const PackageDirEntry* entries, int count, MemberSlot* slots) {
  int members = 0;
  int i = 0;
  while (i < count) {
    if (IsGroupEntry(entries[i])) {
      const int length = MapGroup(entries, count, i, slots, members);
      members += length;
      i += 1 + length;
      continue;
    }
    MemberSlot& slot = slots[members++];
    slot.entry = i;
    slot.group = -1;
    slot.firstInGroup = -1;
    slot.originalSize = entries[i].size;
    slot.checksum = 0;
    // A compressed member's record outside its group: its bytes are not here.
    CompressedMemberRecord stray;
    slot.damaged = ReadCompressedMemberRecord(entries[i], &stray);
    ++i;
  }
  return members;
}
