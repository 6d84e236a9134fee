#include "core/name_field_records.h"

#include <stddef.h>
#include <string.h>

#include "core/member_checksum.h"

namespace {

const unsigned kTagLength = 4;
const unsigned kSelfCheckLength = 4;

unsigned SelfCheckAt(const RecordLayout& kind) { return kind.offset + kind.length - kSelfCheckLength; }

// The checksum of the entry's first `at` bytes followed by its offset and size fields.
uint32_t SelfCheck(const PackageDirEntry& entry, unsigned at) {
  const unsigned kFieldsLength = sizeof(entry.offset) + sizeof(entry.size);
  char covered[sizeof(entry.name) + kFieldsLength];
  memcpy(covered, entry.name, at);
  memcpy(covered + at, reinterpret_cast<const char*>(&entry) + offsetof(PackageDirEntry, offset), kFieldsLength);
  return ChecksumOf(covered, at + kFieldsLength);
}

void PutSelfCheck(PackageDirEntry& entry, const RecordLayout& kind) {
  const uint32_t check = SelfCheck(entry, SelfCheckAt(kind));
  memcpy(entry.name + SelfCheckAt(kind), &check, kSelfCheckLength);
}

// 1 when the name's terminating zero stands before the record.
int NameLeavesRoom(const PackageDirEntry& entry, const RecordLayout& kind) {
  return memchr(entry.name, 0, kind.offset) != nullptr;
}

int Counts(const PackageDirEntry& entry, const RecordLayout& kind) {
  if (!NameLeavesRoom(entry, kind)) return 0;
  const char* at = entry.name + kind.offset;
  if (memcmp(at, kind.tag, kTagLength) != 0) return 0;
  for (unsigned k = kTagLength + kind.content; k < SelfCheckAt(kind) - kind.offset; ++k) {
    if (at[k] != 0) return 0;
  }
  uint32_t check;
  memcpy(&check, entry.name + SelfCheckAt(kind), kSelfCheckLength);
  return check == SelfCheck(entry, SelfCheckAt(kind));
}

}  // namespace

int SealRecordContent(PackageDirEntry& entry, RecordKind kind, const void* content) {
  const RecordLayout& layout = kRecordLayouts[kind];
  if (!NameLeavesRoom(entry, layout)) return 0;
  // The records after this one cover its bytes: those that count now must still count.
  unsigned later = 0;
  for (int k = kind + 1; k < kRecordKindCount; ++k) {
    if (kRecordLayouts[k].offset > layout.offset && Counts(entry, kRecordLayouts[k])) later |= 1u << k;
  }
  char* at = entry.name + layout.offset;
  memcpy(at, layout.tag, kTagLength);
  memset(at + kTagLength, 0, layout.length - kTagLength - kSelfCheckLength);
  memcpy(at + kTagLength, content, layout.content);
  PutSelfCheck(entry, layout);
  for (int k = kind + 1; k < kRecordKindCount; ++k) {
    if (later & (1u << k)) PutSelfCheck(entry, kRecordLayouts[k]);
  }
  return 1;
}

int ReadRecordContent(const PackageDirEntry& entry, RecordKind kind, void* content) {
  const RecordLayout& layout = kRecordLayouts[kind];
  if (!Counts(entry, layout)) return 0;
  memcpy(content, entry.name + layout.offset + kTagLength, layout.content);
  return 1;
}

uint32_t FindRecordedCodePage(const PackageDirEntry* entries, int count) {
  CodePageRecord record;
  for (int i = 0; i < count; ++i) {
    if (ReadRecord(entries[i], &record)) return record.codePage;
  }
  return 0;
}

int IsGroupEntry(const PackageDirEntry& entry) {
  return memcmp(entry.name, kGroupEntryName, sizeof(kGroupEntryName)) == 0;
}

int IsTableEntry(const PackageDirEntry& entry) {
  return memcmp(entry.name, kTableEntryName, sizeof(kTableEntryName)) == 0;
}
