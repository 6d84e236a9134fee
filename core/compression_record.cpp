#include "core/compression_record.h"

#include <string.h>

#include "core/checksum_record.h"

namespace {

const char kGroupTag[4] = {'K', 'V', 'G', '1'};
const char kMemberTag[4] = {'K', 'V', 'Z', '1'};
const unsigned kSelfCheckOffset = 240;

uint32_t SelfCheck(const PackageDirEntry& entry) { return EntrySelfCheck(entry, kSelfCheckOffset); }

int NameLeavesRoom(const PackageDirEntry& entry) { return NameEndsBefore(entry, kCompressionRecordOffset); }

// The 16 bytes after the tag, tagged and sealed.
int Seal(PackageDirEntry& entry, const char (&tag)[4], const char (&body)[16]) {
  if (!NameLeavesRoom(entry)) return 0;
  memcpy(entry.name + kCompressionRecordOffset, tag, 4);
  memcpy(entry.name + kCompressionRecordOffset + 4, body, 16);
  const uint32_t check = SelfCheck(entry);
  memcpy(entry.name + kSelfCheckOffset, &check, 4);
  return 1;
}

int Unseal(const PackageDirEntry& entry, const char (&tag)[4], char (&body)[16]) {
  if (!NameLeavesRoom(entry)) return 0;
  if (memcmp(entry.name + kCompressionRecordOffset, tag, 4) != 0) return 0;
  uint32_t check;
  memcpy(&check, entry.name + kSelfCheckOffset, 4);
  if (check != SelfCheck(entry)) return 0;
  memcpy(body, entry.name + kCompressionRecordOffset + 4, 16);
  return 1;
}

}  // namespace

int WriteGroupRecord(PackageDirEntry& entry, const GroupRecord& record) {
  char body[16];
  memcpy(body, &record.codec, 4);
  memcpy(body + 4, &record.memberCount, 4);
  memcpy(body + 8, &record.originalSize, 8);
  return Seal(entry, kGroupTag, body);
}

int ReadGroupRecord(const PackageDirEntry& entry, GroupRecord* record) {
  char body[16];
  if (!Unseal(entry, kGroupTag, body)) return 0;
  memcpy(&record->codec, body, 4);
  memcpy(&record->memberCount, body + 4, 4);
  memcpy(&record->originalSize, body + 8, 8);
  return 1;
}

int WriteCompressedMemberRecord(PackageDirEntry& entry, const CompressedMemberRecord& record) {
  char body[16];
  memset(body, 0, sizeof(body));
  memcpy(body, &record.group, 4);
  memcpy(body + 4, &record.originalSize, 4);
  memcpy(body + 8, &record.checksum, 4);
  return Seal(entry, kMemberTag, body);
}

int ReadCompressedMemberRecord(const PackageDirEntry& entry, CompressedMemberRecord* record) {
  char body[16];
  if (!Unseal(entry, kMemberTag, body)) return 0;
  static const char kZero[4] = {0, 0, 0, 0};
  if (memcmp(body + 12, kZero, 4) != 0) return 0;
  memcpy(&record->group, body, 4);
  memcpy(&record->originalSize, body + 4, 4);
  memcpy(&record->checksum, body + 8, 4);
  return 1;
}

int IsGroupEntry(const PackageDirEntry& entry) {
  return memcmp(entry.name, kGroupEntryName, sizeof(kGroupEntryName)) == 0;
}
