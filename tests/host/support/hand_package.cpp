#include "host/support/hand_package.h"

#include <stdint.h>
#include <string.h>

#include "core/member_checksum.h"
#include "core/name_field_records.h"

std::vector<char> LayOutPackage(const std::vector<char>& module, const std::vector<HandMember>& members,
                                bool checksums) {
  std::vector<char> bytes = module;
  std::vector<char> directory;
  // The test modules are no PE files: nothing in them is masked.
  const uint32_t moduleChecksum = ChecksumOf(module.data(), module.size());
  for (const HandMember& member : members) {
    PackageDirEntry entry = {};
    strncpy(entry.name, member.name.c_str(), 259);
    entry.offset = static_cast<uint32_t>(bytes.size());
    entry.size = static_cast<uint32_t>(member.bytes.size());
    if (checksums) {
      SealRecord(entry, ChecksumRecord{ChecksumOf(member.bytes.data(), member.bytes.size()), moduleChecksum});
    }
    const char* raw = reinterpret_cast<const char*>(&entry);
    directory.insert(directory.end(), raw, raw + sizeof(entry));
    bytes.insert(bytes.end(), member.bytes.begin(), member.bytes.end());
  }
  bytes.insert(bytes.end(), directory.begin(), directory.end());
  const char* magic = "BRAMTOLEPACKFILE";
  bytes.insert(bytes.end(), magic, magic + 16);
  const int32_t count = static_cast<int32_t>(members.size());
  const char* countBytes = reinterpret_cast<const char*>(&count);
  bytes.insert(bytes.end(), countBytes, countBytes + 4);
  return bytes;
}
