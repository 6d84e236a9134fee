#include "core/compression_record.h"

#include <string.h>

#include "core/checksum_record.h"

namespace {

const char kGroupTag[4] = {'K', 'V', 'G', '1'};
const char kMemberTag[4] = {'K', 'V', 'Z', '1'};
const char kCopyTag[4] = {'K', 'V', 'D', '1'};
const char kTableTag[4] = {'K', 'V', 'T', '1'};
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

// The records of three words and a zero: members, copies and the table.
int SealWords(PackageDirEntry& entry, const char (&tag)[4], const uint32_t (&words)[3]) {
  char body[16];
  memset(body, 0, sizeof(body));
  memcpy(body, words, sizeof(words));
  return Seal(entry, tag, body);
}

int UnsealWords(const PackageDirEntry& entry, const char (&tag)[4], uint32_t (&words)[3]) {
  char body[16];
  if (!Unseal(entry, tag, body)) return 0;
  static const char kZero[4] = {0, 0, 0, 0};
  if (memcmp(body + 12, kZero, 4) != 0) return 0;
  memcpy(words, body, sizeof(words));
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
  const uint32_t words[3] = {record.group, record.originalSize, record.checksum};
  return SealWords(entry, kMemberTag, words);
}

int ReadCompressedMemberRecord(const PackageDirEntry& entry, CompressedMemberRecord* record) {
  uint32_t words[3];
  if (!UnsealWords(entry, kMemberTag, words)) return 0;
  record->group = words[0];
  record->originalSize = words[1];
  record->checksum = words[2];
  return 1;
}

int WriteCopyRecord(PackageDirEntry& entry, const CopyRecord& record) {
  const uint32_t words[3] = {record.original, record.originalSize, record.checksum};
  return SealWords(entry, kCopyTag, words);
}

int ReadCopyRecord(const PackageDirEntry& entry, CopyRecord* record) {
  uint32_t words[3];
  if (!UnsealWords(entry, kCopyTag, words)) return 0;
  record->original = words[0];
  record->originalSize = words[1];
  record->checksum = words[2];
  return 1;
}

int WriteTableRecord(PackageDirEntry& entry, const TableRecord& record) {
  const uint32_t words[3] = {record.codec, record.entryCount, record.checksum};
  return SealWords(entry, kTableTag, words);
}

int ReadTableRecord(const PackageDirEntry& entry, TableRecord* record) {
  uint32_t words[3];
  if (!UnsealWords(entry, kTableTag, words)) return 0;
  record->codec = words[0];
  record->entryCount = words[1];
  record->checksum = words[2];
  return 1;
}

int IsGroupEntry(const PackageDirEntry& entry) {
  return memcmp(entry.name, kGroupEntryName, sizeof(kGroupEntryName)) == 0;
}

int IsTableEntry(const PackageDirEntry& entry) {
  return memcmp(entry.name, kTableEntryName, sizeof(kTableEntryName)) == 0;
}
