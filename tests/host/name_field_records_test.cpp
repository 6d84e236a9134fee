// The records of a directory entry's name field, kind by kind, held against the layout
// that docs/format.md gives: where each lies, which names leave room for it, and that a
// record counts only in the entry it was sealed in, with every byte it covers as written.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "core/member_checksum.h"
#include "core/member_name.h"
#include "core/name_field_records.h"
#include "support/byte_name_rules.h"

namespace {

struct Kind {
  RecordKind kind;
  const char* tag;
  unsigned offset;   // of the tag
  unsigned content;  // bytes after the tag
  unsigned end;      // one past the self-check
};

const Kind kKinds[] = {
    {kCodePageRecord, "KVN1", 208, 4, 220}, {kGroupRecord, "KVG1", 220, 16, 244}, {kMemberRecord, "KVZ1", 220, 12, 244},
    {kCopyRecord, "KVD1", 220, 12, 244},    {kTableRecord, "KVT1", 220, 12, 244}, {kChecksumRecord, "KVC1", 244, 8, 260},
};

PackageDirEntry Named(size_t length) {
  PackageDirEntry entry;
  memset(&entry, 0, sizeof(entry));
  memset(entry.name, 'n', length);
  entry.offset = 5000;
  entry.size = 77;
  return entry;
}

// A record laid down by hand as docs/format.md describes it, its fill (zero in a sound
// record) set to `fill`.
PackageDirEntry HandSealed(const Kind& kind, char fill) {
  PackageDirEntry entry = Named(3);
  memcpy(entry.name + kind.offset, kind.tag, 4);
  memset(entry.name + kind.offset + 4, 0x5A, kind.content);
  memset(entry.name + kind.offset + 4 + kind.content, fill, kind.end - 8 - kind.offset - kind.content);
  std::string covered(entry.name, kind.end - 4);
  covered.append(reinterpret_cast<const char*>(&entry) + sizeof(entry.name), 8);  // offset, size
  const uint32_t check = ChecksumOf(covered.data(), covered.size());
  memcpy(entry.name + kind.end - 4, &check, 4);
  return entry;
}

TEST(NameFieldRecords, EachKindLiesWhereTheFormatSaysForEveryNameThatLeavesRoom) {
  for (const Kind& kind : kKinds) {
    const std::string content("ABCDEFGHIJKLMNOP", kind.content);
    PackageDirEntry entry = Named(kind.offset - 1);  // the longest name with room
    ASSERT_EQ(SealRecordContent(entry, kind.kind, content.data()), 1) << kind.tag;
    EXPECT_EQ(std::string(entry.name + kind.offset, 4), kind.tag);
    EXPECT_EQ(std::string(entry.name + kind.offset + 4, kind.content), content) << kind.tag;
    const std::string fill(entry.name + kind.offset + 4 + kind.content, entry.name + kind.end - 4);
    EXPECT_EQ(fill, std::string(fill.size(), '\0')) << kind.tag;
    char read[16] = {};
    ASSERT_EQ(ReadRecordContent(entry, kind.kind, read), 1) << kind.tag;
    EXPECT_EQ(std::string(read, kind.content), content);
    for (const Kind& other : kKinds) {
      if (other.kind != kind.kind) {
        EXPECT_EQ(ReadRecordContent(entry, other.kind, read), 0) << kind.tag << " read as " << other.tag;
      }
    }
    PackageDirEntry tooLong = Named(kind.offset);
    const PackageDirEntry before = tooLong;
    EXPECT_EQ(SealRecordContent(tooLong, kind.kind, content.data()), 0) << kind.tag;
    EXPECT_EQ(memcmp(&tooLong, &before, sizeof(before)), 0) << kind.tag << ": left as it was";
  }
  EXPECT_EQ(kMaxCompressedNameLength, 219u);
}

TEST(NameFieldRecords, EveryCoveredByteVoidsTheRecordAndNoLaterOneDoes) {
  for (const Kind& kind : kKinds) {
    char read[16];
    EXPECT_EQ(ReadRecordContent(HandSealed(kind, 0), kind.kind, read), 1) << kind.tag;
    if (kind.end - 8 > kind.offset + kind.content) {
      EXPECT_EQ(ReadRecordContent(HandSealed(kind, 1), kind.kind, read), 0) << kind.tag << ": a fill not zero";
    }
    PackageDirEntry entry = Named(3);
    ASSERT_EQ(SealRecordContent(entry, kind.kind, "ABCDEFGHIJKLMNOP"), 1);
    for (size_t at = 0; at < sizeof(entry); ++at) {
      PackageDirEntry flipped = entry;
      reinterpret_cast<unsigned char*>(&flipped)[at] ^= 0x01;
      const int covered = at < kind.end || at >= sizeof(entry.name);
      EXPECT_EQ(ReadRecordContent(flipped, kind.kind, read), covered ? 0 : 1) << kind.tag << " byte " << at;
    }
  }
}

TEST(NameFieldRecords, ARecordSealedUnderOthersLeavesThemCounting) {
  PackageDirEntry group = Named(0);
  memcpy(group.name, kGroupEntryName, sizeof(kGroupEntryName));
  ASSERT_EQ(SealRecord(group, GroupRecord{kCodecLzma, 3, 0x123456789ull}), 1);
  ASSERT_EQ(SealRecord(group, ChecksumRecord{0x12345678u, 0x9ABCDEF0u}), 1);
  PackageDirEntry entries[2] = {Named(208), group};  // the first leaves no room
  EXPECT_EQ(FindRecordedCodePage(entries, 2), 0u) << "none written";
  ASSERT_EQ(SealRecord(entries[1], CodePageRecord{932}), 1);
  EXPECT_EQ(FindRecordedCodePage(entries, 2), 932u);
  GroupRecord read;
  ChecksumRecord checksum;
  ASSERT_EQ(ReadRecord(entries[1], &read), 1);
  EXPECT_EQ(read.memberCount, 3u);
  EXPECT_EQ(read.originalSize, 0x123456789ull);
  ASSERT_EQ(ReadRecord(entries[1], &checksum), 1);
  EXPECT_EQ(checksum.moduleImage, 0x9ABCDEF0u);
  EXPECT_TRUE(IsGroupEntry(entries[1]) && !IsTableEntry(entries[1]));
  // Readers that know no records refuse the record entries' names, and with them the package.
  EXPECT_NE(CheckMemberName(entries[1].name), kNameSafe);
  memcpy(entries[1].name, kTableEntryName, sizeof(kTableEntryName));
  EXPECT_NE(CheckMemberName(entries[1].name), kNameSafe);
}

}  // namespace
