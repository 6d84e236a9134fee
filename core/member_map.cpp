#include "core/member_map.h"

#include "core/name_field_records.h"

namespace {

// A stored member: its own bytes at its own offset.
void MapStored(const PackageDirEntry* entries, int entry, MemberSlot& slot) {
  slot.entry = entry;
  slot.group = -1;
  slot.firstInGroup = -1;
  slot.nextInGroup = -1;
  slot.originalSize = entries[entry].size;
  slot.checksum = 0;
  slot.copyOf = -1;
  slot.checked = 0;
  // A compressed member's record outside its group: its bytes are not here.
  CompressedMemberRecord stray;
  slot.damaged = ReadRecord(entries[entry], &stray);
}

// 1 when the entry is one of the group's compressed members.
int NamesGroup(const PackageDirEntry& entry, int group) {
  CompressedMemberRecord member;
  return ReadRecord(entry, &member) && member.group == static_cast<uint32_t>(group);
}

// The entries after a group's entry that it spans: up to its last compressed member, stored
// members among them included. Its record says how many compressed members it has; when
// that record is damaged, the span ends before the first entry that is neither one of its
// members nor a stored member followed by one.
int GroupSpan(const PackageDirEntry* entries, int count, int group, const GroupRecord* record) {
  int span = 0, members = 0;
  for (int i = group + 1; i < count && !IsGroupEntry(entries[i]); ++i) {
    if (record != nullptr && members == static_cast<int>(record->memberCount)) break;
    if (NamesGroup(entries[i], group)) {
      ++members;
      span = i - group;
    } else if (record == nullptr && (i + 1 >= count || !NamesGroup(entries[i + 1], group))) {
      break;
    }
  }
  return span;
}

// Ties the compressed member at `slot` into its group's chain.
void MapCompressed(const PackageDirEntry& entry, int entryIndex, int group, MemberSlot& slot, int ok) {
  CompressedMemberRecord member;
  ok = ok && ReadRecord(entry, &member);
  slot.entry = entryIndex;
  slot.group = group;
  slot.nextInGroup = -1;
  slot.originalSize = ok ? member.originalSize : 0;
  slot.checksum = ok ? member.checksum : 0;
  slot.damaged = !ok;
  slot.copyOf = -1;
  slot.checked = 0;
}

// Maps the group at entry `group` and the stored members inside its span, writing slots
// from `first`; returns the number of slots written. Each entry of the span starts where
// the one before it ends, the first where the stream ends, as the writer lays them out.
int MapGroup(const PackageDirEntry* entries, int count, int group, MemberSlot* slots, int first) {
  GroupRecord record;
  const int valid = ReadRecord(entries[group], &record) && record.codec == kCodecLzma &&
                    record.memberCount >= 1 && record.memberCount <= static_cast<uint32_t>(count - 1 - group);
  int span = GroupSpan(entries, count, group, valid ? &record : nullptr);
  uint32_t members = 0;
  for (int k = 0; k < span; ++k) members += NamesGroup(entries[group + 1 + k], group);
  // Fewer members than the record counts: a member's own record is damaged. The entries
  // the record counts are then all taken as the group's, as a group without stored members
  // always was: the first that does not check out and every one after it are damaged, never
  // stored files.
  const int lost = valid && members != record.memberCount;
  if (lost) span = static_cast<int>(record.memberCount);
  uint64_t running = static_cast<uint64_t>(entries[group].offset) + entries[group].size;
  uint64_t sum = 0;
  int previous = -1;
  // Past a member whose record is damaged, the members' places in the stream are unknown.
  int broken = !valid;
  for (int k = 0; k < span; ++k) {
    const PackageDirEntry& entry = entries[group + 1 + k];
    MemberSlot& slot = slots[first + k];
    if (!lost && !NamesGroup(entry, group)) {
      MapStored(entries, group + 1 + k, slot);
      broken = broken || entry.offset != running;
      running += entry.size;
      continue;
    }
    MapCompressed(entry, group + 1 + k, group, slot,
                  NamesGroup(entry, group) && entry.offset == running && entry.size == 0);
    slot.firstInGroup = previous >= 0 ? slots[previous].firstInGroup : first + k;
    if (previous >= 0) slots[previous].nextInGroup = first + k;
    previous = first + k;
    broken = broken || slot.damaged;
    slot.damaged = broken;
    sum += slot.originalSize;
  }
  // A group whose members are sound but do not add up to it: all of them are suspect.
  const int damaged = !valid || (!broken && sum != record.originalSize);
  for (int k = 0; k < span && damaged; ++k) slots[first + k].damaged |= slots[first + k].group >= 0;
  return span;
}

// The member index of directory entry `entry` among the first `members` slots, or -1.
int MemberOfEntry(const MemberSlot* slots, int members, uint32_t entry) {
  int low = 0, high = members;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (static_cast<uint32_t>(slots[middle].entry) < entry) low = middle + 1;
    else high = middle;
  }
  return low < members && static_cast<uint32_t>(slots[low].entry) == entry ? low : -1;
}

// Ties each copy to the earlier member whose bytes it repeats: one that is no copy itself,
// of the same size and, when compressed, of the same checksum (its bytes are decoded again
// for the copy and checked against its own).
void MapCopies(const PackageDirEntry* entries, MemberSlot* slots, int members, int copiesAllowed) {
  for (int i = 0; i < members; ++i) {
    MemberSlot& slot = slots[i];
    CopyRecord copy;
    if (slot.group >= 0 || !ReadRecord(entries[slot.entry], &copy)) continue;
    const int original = MemberOfEntry(slots, i, copy.original);
    slot.copyOf = original;
    slot.originalSize = copy.originalSize;
    slot.checksum = copy.checksum;
    slot.damaged = !copiesAllowed || entries[slot.entry].size != 0 || original < 0 || slots[original].copyOf >= 0 ||
                   slots[original].originalSize != copy.originalSize ||
                   (slots[original].group >= 0 && slots[original].checksum != copy.checksum);
  }
}

}  // namespace

int MapMembers(const PackageDirEntry* entries, int count, MemberSlot* slots, int copiesAllowed) {
  int members = 0;
  int i = 0;
  while (i < count) {
    if (IsGroupEntry(entries[i])) {
      const int span = MapGroup(entries, count, i, slots, members);
      members += span;
      i += 1 + span;
      continue;
    }
    MapStored(entries, i, slots[members++]);
    ++i;
  }
  MapCopies(entries, slots, members, copiesAllowed);
  return members;
}

int FindOverrunningGroup(const PackageDirEntry* entries, int count) {
  for (int group = 0; group < count; ++group) {
    GroupRecord record;
    if (!IsGroupEntry(entries[group]) || !ReadRecord(entries[group], &record)) continue;
    if (record.memberCount > static_cast<uint32_t>(count - 1 - group)) return group;
    // Groups that pass do not overlap, so every entry is looked at about once.
    for (uint32_t k = 1; k <= record.memberCount; ++k) {
      if (IsGroupEntry(entries[group + k])) return group;
    }
  }
  return -1;
}
