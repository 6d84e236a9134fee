#include "core/code_page_record.h"

#include <string.h>

#include "core/checksum_record.h"

namespace {

const char kTag[4] = {'K', 'V', 'N', '1'};
const unsigned kSelfCheckOffset = kCodePageRecordOffset + 8;

}  // namespace

int WriteCodePageRecord(PackageDirEntry& entry, uint32_t codePage) {
  if (!NameEndsBefore(entry, kCodePageRecordOffset)) return 0;
  char* at = entry.name + kCodePageRecordOffset;
  memcpy(at, kTag, 4);
  memcpy(at + 4, &codePage, 4);
  const uint32_t check = EntrySelfCheck(entry, kSelfCheckOffset);
  memcpy(entry.name + kSelfCheckOffset, &check, 4);
  return 1;
}

int ReadCodePageRecord(const PackageDirEntry& entry, uint32_t* codePage) {
  if (!NameEndsBefore(entry, kCodePageRecordOffset)) return 0;
  const char* at = entry.name + kCodePageRecordOffset;
  if (memcmp(at, kTag, 4) != 0) return 0;
  uint32_t check;
  memcpy(&check, entry.name + kSelfCheckOffset, 4);
  if (check != EntrySelfCheck(entry, kSelfCheckOffset)) return 0;
  memcpy(codePage, at + 4, 4);
  return 1;
}

uint32_t FindRecordedCodePage(const PackageDirEntry* entries, int count) {
  uint32_t codePage = 0;
  for (int i = 0; i < count; ++i) {
    if (ReadCodePageRecord(entries[i], &codePage)) return codePage;
  }
  return 0;
}

int IsAsciiName(const char* name) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    if (*p >= 0x80) return 0;
  }
  return 1;
}
