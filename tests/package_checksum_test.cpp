// Checksums of members and of the module image: what the writer records in the name
// fields, and what the reader makes of damaged bytes, old leftovers and long names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/member_checksum.h"
#include "core/name_field_records.h"
#include "core/package_reader.h"
#include "support/byte_poke.h"
#include "support/test_files.h"
#include "support/test_package.h"

namespace {

TEST(MemberChecksum, SameValueHoweverTheBytesAreSplitAndEveryBitFlipIsSeen) {
  const std::vector<char> bytes = PseudoRandomBytes(1000, 7);
  const uint32_t whole = ChecksumOf(bytes.data(), bytes.size());
  for (size_t step : {1u, 3u, 15u, 16u, 17u, 999u}) {
    MemberChecksum parts;
    for (size_t at = 0; at < bytes.size(); at += step) {
      parts.Add(bytes.data() + at, std::min(step, bytes.size() - at));
    }
    EXPECT_EQ(parts.Finish(), whole) << "step " << step;
  }
  int missed = 0;
  for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
    std::vector<char> flipped = bytes;
    flipped[bit / 8] ^= static_cast<char>(1 << (bit % 8));
    if (ChecksumOf(flipped.data(), flipped.size()) == whole) ++missed;
  }
  EXPECT_EQ(missed, 0);
  // Zeros appended, or the same words swapped, are damage too.
  std::vector<char> longer = bytes;
  longer.push_back(0);
  EXPECT_NE(ChecksumOf(longer.data(), longer.size()), whole);
  std::vector<char> swapped = bytes;
  std::swap_ranges(swapped.begin(), swapped.begin() + 16, swapped.begin() + 16);
  EXPECT_NE(ChecksumOf(swapped.data(), swapped.size()), whole);
  EXPECT_NE(ChecksumOf(nullptr, 0), ChecksumOf("\0", 1));
}

TEST(ModuleImageChecksum, CountsTheMaskedFieldsAsZerosWhereverTheBlocksEnd) {
  std::vector<char> image = PseudoRandomBytes(600, 8);
  std::vector<char> masked = image;
  memset(&masked[100], 0, 4);
  memset(&masked[298], 0, 8);
  const uint32_t expected = ChecksumOf(masked.data(), masked.size());
  for (size_t step : {1u, 7u, 101u, 300u, 600u}) {
    ModuleImageChecksum checksum(100, 298);
    for (size_t at = 0; at < image.size(); at += step) {
      checksum.Observe(image.data() + at, std::min(step, image.size() - at));
    }
    EXPECT_EQ(checksum.Finish(), expected) << "step " << step;
  }
  ModuleImageChecksum unmasked(0, 0);
  unmasked.Observe(image.data(), image.size());
  EXPECT_EQ(unmasked.Finish(), ChecksumOf(image.data(), image.size()));
}

class ChecksummedPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    members_ = {{"SETUP.EXE", PseudoRandomBytes(5000, 1)},
                {"data.cab", PseudoRandomBytes(70000, 2)},
                {"empty.txt", {}},
                {"last.bin", PseudoRandomBytes(33, 3)}};
    bytes_ = WriteTestPackage(package_, LodkinExePath(), members_, folder_.path());
    directory_ = bytes_.size() - 20 - 268 * members_.size();
  }

  // Opens `bytes` as a package and copies every member: the result of each.
  std::vector<MemberCopyResult> CopyAll(const std::vector<char>& bytes) {
    WriteFileBytes(package_, bytes);
    PackageReader reader;
    EXPECT_EQ(reader.Open(package_.c_str()), 1);
    std::vector<MemberCopyResult> results;
    CopyBuffer buffer;
    for (int i = 0; i < reader.count(); ++i) {
      BinaryFile out;
      const std::string path = folder_.Join("out.bin");
      RemoveFile(path.c_str());
      out.CreateNew(path.c_str());
      results.push_back(reader.CopyMember(i, out, buffer));
      if (reader.HasChecksum(i)) EXPECT_EQ(reader.CheckMember(i, buffer), results.back());
    }
    return results;
  }

  TempFolder folder_;
  const std::string package_ = folder_.Join("pkg.exe");
  std::vector<TestMember> members_;
  std::vector<char> bytes_;
  size_t directory_ = 0;
};

TEST_F(ChecksummedPackage, AByteFlippedInAnyMemberMarksThatMemberAloneAsDamaged) {
  const std::vector<MemberCopyResult> clean(members_.size(), kMemberIntact);
  EXPECT_EQ(CopyAll(bytes_), clean);
  size_t offset = bytes_.size() - 20 - 268 * members_.size();
  for (size_t m = members_.size(); m-- > 0;) offset -= members_[m].bytes.size();
  for (size_t m = 0; m < members_.size(); ++m) {
    const size_t size = members_[m].bytes.size();
    for (size_t at : {size_t(0), size / 2, size - 1}) {
      if (size == 0) break;
      std::vector<char> damaged = bytes_;
      damaged[offset + at] ^= 0x10;
      std::vector<MemberCopyResult> expected = clean;
      expected[m] = kMemberDamaged;
      EXPECT_EQ(CopyAll(damaged), expected) << "member " << m << " byte " << at;
    }
    offset += size;
  }
}

TEST_F(ChecksummedPackage, ModuleImageIsCheckedButNotWhatSigningChangesInIt) {
  PackageReader reader;
  CopyBuffer buffer;
  auto check = [&](const std::vector<char>& bytes) {
    WriteFileBytes(package_, bytes);
    EXPECT_EQ(reader.Open(package_.c_str()), 1);
    return reader.CheckModuleImage(buffer);
  };
  EXPECT_EQ(check(bytes_), kMemberIntact);
  std::vector<char> damaged = bytes_;
  damaged[1000] ^= 1;
  EXPECT_EQ(check(damaged), kMemberDamaged);
  // Signing rewrites the PE checksum and the security directory of the image.
  const PeFields fields = PeFieldsOf(bytes_);
  std::vector<char> resigned = bytes_;
  for (size_t at : {fields.checksum, fields.directory4, fields.directory4 + 4}) {
    resigned[at] ^= 0x5A;
  }
  EXPECT_EQ(check(resigned), kMemberIntact);
}

// What an older writer left behind in the name fields never counts as a record: such a
// package reads as one without checksums, even with a stray tag there.
TEST_F(ChecksummedPackage, LeftoverBytesInNameFieldsAreNoRecord) {
  std::vector<char> old = bytes_;
  const std::vector<char> noise = PseudoRandomBytes(268 * 4, 9);
  for (size_t m = 0; m < members_.size(); ++m) {
    char* name = &old[directory_ + 268 * m];
    const size_t used = strlen(name) + 1;
    memcpy(name + used, &noise[268 * m], 260 - used);
    if (m % 2 == 1) memcpy(name + 244, "KVC1", 4);
  }
  WriteFileBytes(package_, old);
  PackageReader reader;
  ASSERT_EQ(reader.Open(package_.c_str()), 1);
  for (int i = 0; i < reader.count(); ++i) EXPECT_EQ(reader.HasChecksum(i), 0) << i;
  // Damage then goes unnoticed, exactly as in a package without checksums.
  old[directory_ - 1] ^= 1;
  const std::vector<MemberCopyResult> all(members_.size(), kMemberIntact);
  EXPECT_EQ(CopyAll(old), all);
}

TEST_F(ChecksummedPackage, NamesUpTo243CharactersCarryARecord) {
  struct Case {
    size_t length;
    int record;
  } const kCases[] = {{200, 1}, {240, 1}, {243, 1}, {244, 0}, {259, 0}};
  for (const Case& c : kCases) {
    PackageDirEntry entry = {};
    memset(entry.name, 'n', c.length);
    entry.offset = 5000;
    entry.size = 77;
    EXPECT_EQ(SealRecord(entry, ChecksumRecord{0x12345678u, 0x9ABCDEF0u}), c.record) << c.length;
    ChecksumRecord read = {};
    EXPECT_EQ(ReadRecord(entry, &read), c.record) << c.length;
    EXPECT_EQ(strlen(entry.name), c.length);
    if (!c.record) continue;
    EXPECT_EQ(read.member, 0x12345678u);
    EXPECT_EQ(read.moduleImage, 0x9ABCDEF0u);
    // The record belongs to its entry: another size or offset voids it.
    PackageDirEntry moved = entry;
    moved.size = 78;
    EXPECT_EQ(ReadRecord(moved, &read), 0);
  }
}

}  // namespace
