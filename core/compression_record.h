// Compressed members, described in the name field's slack beside the checksum record.
// Consecutive members compressed together (a group) share one stream, which lies in the
// member region as an entry of its own, placed before the group's members and named
// kGroupEntryName: a reader that knows no compression refuses that name as unsafe and so
// the whole directory, before it writes anything. Each record fills bytes 220..243 of
// the name field, so a name of up to 219 characters leaves room for it and the checksum
// record; a longer name is stored uncompressed.
//
// The group's entry (offset and size: the stream's bytes):
//   offset 220  4 bytes  tag "KVG1"
//   offset 224  4 bytes  codec: 1 LZMA (the stream as GroupDecoder reads it)
//   offset 228  4 bytes  number of compressed members: the entries after this one that
//                        name it; stored members may stand among them (their bytes follow
//                        the stream, each entry starting where the one before it ends)
//   offset 232  8 bytes  the group's original size: the sum of its members' original sizes
//   offset 240  4 bytes  checksum of the entry's bytes 0..239 followed by its offset and size
//
// A member entry of the group (offset: where the entry before it ends; size: 0):
//   offset 220  4 bytes  tag "KVZ1"
//   offset 224  4 bytes  the group's entry: its index in the directory
//   offset 228  4 bytes  the member's original size
//   offset 232  4 bytes  checksum of the member's original bytes (MemberChecksum)
//   offset 236  4 bytes  zero
//   offset 240  4 bytes  checksum of the entry's bytes 0..239 followed by its offset and size
#pragma once
#include <stdint.h>

#include "core/package_format.h"

const unsigned kCompressionRecordOffset = 220;
const unsigned kMaxCompressedNameLength = kCompressionRecordOffset - 1;
const char kGroupEntryName[] = "<group>";
const uint32_t kCodecLzma = 1;

struct GroupRecord {
  uint32_t codec;
  uint32_t memberCount;
  uint64_t originalSize;
};

struct CompressedMemberRecord {
  uint32_t group;
  uint32_t originalSize;
  uint32_t checksum;
};

// Each writer puts its record into an entry whose name, offset and size are set, and
// returns 0 (the entry as it was) when the name leaves no room. Each reader returns 1
// when the entry carries that record and it checks out.
int WriteGroupRecord(PackageDirEntry& entry, const GroupRecord& record);
int ReadGroupRecord(const PackageDirEntry& entry, GroupRecord* record);
int WriteCompressedMemberRecord(PackageDirEntry& entry, const CompressedMemberRecord& record);
int ReadCompressedMemberRecord(const PackageDirEntry& entry, CompressedMemberRecord* record);
// 1 when the entry is named as a group's stream (whatever its record says).
int IsGroupEntry(const PackageDirEntry& entry);
