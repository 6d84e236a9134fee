#include "core/checksum_record.h"

#include <string.h>

#include "core/member_checksum.h"

namespace {

const char kTag[4] = {'K', 'V', 'C', '1'};
const unsigned kSelfCheckOffset = 256;

uint32_t SelfCheck(const PackageDirEntry& entry) { return EntrySelfCheck(entry, kSelfCheckOffset); }

int NameLeavesRoom(const PackageDirEntry& entry) { return NameEndsBefore(entry, kChecksumRecordOffset); }

}  // namespace

uint32_t EntrySelfCheck(const PackageDirEntry& entry, unsigned nameBytes) {
  char covered[sizeof(entry.name) + 8];
  memcpy(covered, entry.name, nameBytes);
  memcpy(covered + nameBytes, &entry.offset, 4);
  memcpy(covered + nameBytes + 4, &entry.size, 4);
  return ChecksumOf(covered, nameBytes + 8);
}

int NameEndsBefore(const PackageDirEntry& entry, unsigned recordOffset) {
  return memchr(entry.name, 0, recordOffset) != nullptr;
}

int WriteChecksumRecord(PackageDirEntry& entry, const ChecksumRecord& record) {
  if (!NameLeavesRoom(entry)) return 0;
  char* at = entry.name + kChecksumRecordOffset;
  memcpy(at, kTag, 4);
  memcpy(at + 4, &record.member, 4);
  memcpy(at + 8, &record.moduleImage, 4);
  const uint32_t check = SelfCheck(entry);
  memcpy(entry.name + kSelfCheckOffset, &check, 4);
  return 1;
}

int ReadChecksumRecord(const PackageDirEntry& entry, ChecksumRecord* record) {
  if (!NameLeavesRoom(entry)) return 0;
  const char* at = entry.name + kChecksumRecordOffset;
  if (memcmp(at, kTag, 4) != 0) return 0;
  uint32_t check;
  memcpy(&check, entry.name + kSelfCheckOffset, 4);
  if (check != SelfCheck(entry)) return 0;
  memcpy(&record->member, at + 4, 4);
  memcpy(&record->moduleImage, at + 8, 4);
  return 1;
}
