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
//
// A copy: a member whose bytes are those of an earlier member, stored once (offset: where
// the entry before it ends; size: 0). Only a directory kept in a table (below) may hold
// one: a reader that knows no copies would write an empty file in its place.
//   offset 220  4 bytes  tag "KVD1"
//   offset 224  4 bytes  the earlier member's entry: its index in the directory
//   offset 228  4 bytes  the member's original size
//   offset 232  4 bytes  checksum of the member's original bytes (MemberChecksum)
//   offset 236  4 bytes  zero
//   offset 240  4 bytes  checksum of the entry's bytes 0..239 followed by its offset and size
//
// A directory kept in a table: the package's directory then holds one entry, named
// kTableEntryName, whose bytes are a stream (as GroupDecoder reads it) that decodes to
// the whole directory, entry after entry as they would otherwise stand on disk. Its
// bytes lie right after the member data, which ends where they begin. A reader that
// knows no tables refuses that name, and with it the package, before it writes anything.
//   offset 220  4 bytes  tag "KVT1"
//   offset 224  4 bytes  codec: 1 LZMA
//   offset 228  4 bytes  number of entries in the table
//   offset 232  4 bytes  checksum of the table's decoded bytes (MemberChecksum)
//   offset 236  4 bytes  zero
//   offset 240  4 bytes  checksum of the entry's bytes 0..239 followed by its offset and size
#pragma once
#include <stdint.h>

#include "core/package_format.h"

const unsigned kCompressionRecordOffset = 220;
const unsigned kMaxCompressedNameLength = kCompressionRecordOffset - 1;
const char kGroupEntryName[] = "<group>";
const char kTableEntryName[] = "<directory>";
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

struct CopyRecord {
  uint32_t original;  // the earlier member's directory entry
  uint32_t originalSize;
  uint32_t checksum;
};

struct TableRecord {
  uint32_t codec;
  uint32_t entryCount;
  uint32_t checksum;  // of the decoded table
};

// Each writer puts its record into an entry whose name, offset and size are set, and
// returns 0 (the entry as it was) when the name leaves no room. Each reader returns 1
// when the entry carries that record and it checks out.
int WriteGroupRecord(PackageDirEntry& entry, const GroupRecord& record);
int ReadGroupRecord(const PackageDirEntry& entry, GroupRecord* record);
int WriteCompressedMemberRecord(PackageDirEntry& entry, const CompressedMemberRecord& record);
int ReadCompressedMemberRecord(const PackageDirEntry& entry, CompressedMemberRecord* record);
int WriteCopyRecord(PackageDirEntry& entry, const CopyRecord& record);
int ReadCopyRecord(const PackageDirEntry& entry, CopyRecord* record);
int WriteTableRecord(PackageDirEntry& entry, const TableRecord& record);
int ReadTableRecord(const PackageDirEntry& entry, TableRecord* record);
// 1 when the entry is named as a group's stream (whatever its record says).
int IsGroupEntry(const PackageDirEntry& entry);
// 1 when the entry is named as the directory's table.
int IsTableEntry(const PackageDirEntry& entry);
