// A member's checksum, kept in the bytes of its directory entry's name field that follow
// the name's terminator: readers of the layout never look there, so packages with and
// without records are read alike. The record fills the last 16 bytes of the field:
//
//   offset 244  4 bytes  tag "KVC1"
//   offset 248  4 bytes  checksum of the member's bytes (MemberChecksum)
//   offset 252  4 bytes  checksum of the module image (ModuleImageChecksum), in every entry
//   offset 256  4 bytes  checksum of the entry's bytes 0..255 followed by its offset and
//                        size fields, so that leftover bytes are never taken for a record
//
// A name of up to 243 characters leaves room for it; a longer name gets no record.
#pragma once
#include <stdint.h>

#include "core/package_format.h"

const unsigned kChecksumRecordOffset = 244;
const unsigned kMaxChecksummedNameLength = kChecksumRecordOffset - 1;

struct ChecksumRecord {
  uint32_t member;
  uint32_t moduleImage;
};

// Puts the record into an entry whose name, offset and size are set. Returns 0 and
// leaves the entry as it was when the name is too long to leave room.
int WriteChecksumRecord(PackageDirEntry& entry, const ChecksumRecord& record);

// 1 when the entry carries a record that checks out.
int ReadChecksumRecord(const PackageDirEntry& entry, ChecksumRecord* record);

// The self-check of a record in the name field's slack: the checksum of the entry's first
// `nameBytes` bytes followed by its offset and size fields, so that a record is never
// taken from leftover bytes and is bound to the entry that carries it.
uint32_t EntrySelfCheck(const PackageDirEntry& entry, unsigned nameBytes);

// 1 when the name ends (its terminating zero stands) before byte `recordOffset`.
int NameEndsBefore(const PackageDirEntry& entry, unsigned recordOffset);
