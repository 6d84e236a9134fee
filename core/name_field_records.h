// The records that a directory entry keeps in its 260-byte name field, behind the name's
// terminating zero, where readers of the bare layout never look: packages with and without
// records are read alike. This table is the field's one map; docs/format.md says what each
// value means.
//
//   bytes      record        tag     content after the tag
//   0..207     the name and its terminator (a longer name leaves no room for what follows it)
//   208..219   code page     "KVN1"  the ANSI code page of every name in the directory, in the
//                                    first entry with room for it; none when all are ASCII
//   220..243   group         "KVG1"  codec, number of compressed members, original size (8 bytes)
//              member        "KVZ1"  the group's entry index, original size, checksum, zero
//              copy          "KVD1"  the earlier member's entry index, original size, checksum, zero
//              table         "KVT1"  codec, number of entries, checksum of the decoded table, zero
//   244..259   checksum      "KVC1"  checksum of the member's bytes, of the module image
//
// Every record is its tag, its content (zero-filled to the record's length) and a 4-byte
// self-check: the checksum (ChecksumOf) of the entry's bytes before the self-check, followed
// by its offset and size fields. A record counts only when the name ends before it and its
// tag, its zero fill and its self-check all match, so leftover bytes are never taken for a
// record and a record is bound to the entry that carries it. A self-check covers the
// records before it: sealing a record seals anew those after it that checked out.
#pragma once
#include <stdint.h>

#include "core/package_format.h"

enum RecordKind {
  kCodePageRecord,
  kGroupRecord,
  kMemberRecord,
  kCopyRecord,
  kTableRecord,
  kChecksumRecord,
  kRecordKindCount
};

struct RecordLayout {
  char tag[4];
  uint16_t offset;   // of the tag in the name field
  uint16_t length;   // tag, content and zero fill, self-check
  uint16_t content;  // bytes of content after the tag
};

// In field order, which is also the order of sealing: a self-check covers the records before it.
constexpr RecordLayout kRecordLayouts[kRecordKindCount] = {
    {{'K', 'V', 'N', '1'}, 208, 12, 4},   // code page
    {{'K', 'V', 'G', '1'}, 220, 24, 16},  // group
    {{'K', 'V', 'Z', '1'}, 220, 24, 12},  // compressed member
    {{'K', 'V', 'D', '1'}, 220, 24, 12},  // copy
    {{'K', 'V', 'T', '1'}, 220, 24, 12},  // directory table
    {{'K', 'V', 'C', '1'}, 244, 16, 8},   // checksum
};

// Records of one place share its bytes; the next place starts where they end; the last
// ends with the field; every content leaves room for the tag and the self-check.
constexpr int RecordsTileTheField() {
  for (int k = 0; k < kRecordKindCount; ++k) {
    const RecordLayout& kind = kRecordLayouts[k];
    if (kind.content + 8 > kind.length) return 0;
    if (k + 1 == kRecordKindCount) return kind.offset + kind.length == sizeof(PackageDirEntry::name);
    const RecordLayout& next = kRecordLayouts[k + 1];
    const int samePlace = next.offset == kind.offset && next.length == kind.length;
    if (!samePlace && next.offset != kind.offset + kind.length) return 0;
  }
  return 0;
}
static_assert(RecordsTileTheField(), "the records fill the name field's end without overlap");

// The longest names that leave room for a compressed member's or a copy's record.
const unsigned kMaxCompressedNameLength = kRecordLayouts[kMemberRecord].offset - 1;

const char kGroupEntryName[] = "<group>";      // the entry of a group's stream
const char kTableEntryName[] = "<directory>";  // the entry of the directory's table
const uint32_t kCodecLzma = 1;

// The content of each kind, as it lies after the tag (little-endian).
struct CodePageRecord {
  static constexpr RecordKind kKind = kCodePageRecord;
  uint32_t codePage;
};

struct GroupRecord {
  static constexpr RecordKind kKind = kGroupRecord;
  uint32_t codec;
  uint32_t memberCount;  // the compressed members of the entries after this one
  uint64_t originalSize;
};

struct CompressedMemberRecord {
  static constexpr RecordKind kKind = kMemberRecord;
  uint32_t group;  // the group's directory entry
  uint32_t originalSize;
  uint32_t checksum;  // MemberChecksum of the original bytes
};

struct CopyRecord {
  static constexpr RecordKind kKind = kCopyRecord;
  uint32_t original;  // the earlier member's directory entry
  uint32_t originalSize;
  uint32_t checksum;
};

struct TableRecord {
  static constexpr RecordKind kKind = kTableRecord;
  uint32_t codec;
  uint32_t entryCount;
  uint32_t checksum;  // of the decoded table
};

struct ChecksumRecord {
  static constexpr RecordKind kKind = kChecksumRecord;
  uint32_t member;       // MemberChecksum of the entry's bytes
  uint32_t moduleImage;  // ModuleImageChecksum, the same in every entry
};

// Puts a record into an entry whose name, offset and size are set; 0, with the entry as
// it was, when the name leaves no room for it.
int SealRecordContent(PackageDirEntry& entry, RecordKind kind, const void* content);
// 1, with the content copied out, when the entry carries a record of the kind that counts.
int ReadRecordContent(const PackageDirEntry& entry, RecordKind kind, void* content);

template <typename Record>
int SealRecord(PackageDirEntry& entry, const Record& record) {
  static_assert(sizeof(Record) == kRecordLayouts[Record::kKind].content, "the content as it lies");
  return SealRecordContent(entry, Record::kKind, &record);
}

template <typename Record>
int ReadRecord(const PackageDirEntry& entry, Record* record) {
  static_assert(sizeof(Record) == kRecordLayouts[Record::kKind].content, "the content as it lies");
  return ReadRecordContent(entry, Record::kKind, record);
}

// The code page recorded in the first entry that carries the record; 0 when none does.
uint32_t FindRecordedCodePage(const PackageDirEntry* entries, int count);

// 1 when the entry is named as a group's stream (whatever its record says).
int IsGroupEntry(const PackageDirEntry& entry);
// 1 when the entry is named as the directory's table.
int IsTableEntry(const PackageDirEntry& entry);
