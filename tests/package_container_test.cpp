// The package layout as written by the writer and read back by the reader.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/block_copy.h"
#include "core/package_reader.h"
#include "core/package_writer.h"
#include "support/byte_poke.h"
#include "support/test_files.h"
#include "support/test_package.h"

namespace {

std::vector<char> Bytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

class PackageContainer : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = PseudoRandomBytes(5000, 1);
    modulePath_ = folder_.Join("module.exe");
    WriteFileBytes(modulePath_, module_);
    packagePath_ = folder_.Join("package.exe");
  }

  std::vector<char> Pack(const std::vector<TestMember>& members) {
    return WriteTestPackage(packagePath_, modulePath_, members, folder_.path());
  }

  int OpenPackage(PackageReader* reader) { return reader->Open(packagePath_.c_str()); }

  TempFolder folder_;
  std::vector<char> module_;
  std::string modulePath_;
  std::string packagePath_;
};

TEST_F(PackageContainer, WriterLaysOutImageMembersDirectoryAndTrailerByteForByte) {
  std::vector<TestMember> members = {{"setup.exe", PseudoRandomBytes(13654, 2)},
                                     {"x.dll", PseudoRandomBytes(777, 3)}};
  std::vector<char> package = Pack(members);

  const size_t m = module_.size();
  ASSERT_EQ(package.size(), m + 13654 + 777 + 2 * 268 + 20);
  EXPECT_TRUE(std::equal(module_.begin(), module_.end(), package.begin()));
  EXPECT_TRUE(std::equal(members[0].bytes.begin(), members[0].bytes.end(), package.begin() + m));
  EXPECT_TRUE(std::equal(members[1].bytes.begin(), members[1].bytes.end(), package.begin() + m + 13654));

  const size_t directory = m + 13654 + 777;
  EXPECT_STREQ(package.data() + directory, "setup.exe");
  EXPECT_EQ(GetU32(package, directory + 260), m);
  EXPECT_EQ(GetU32(package, directory + 264), 13654u);
  EXPECT_STREQ(package.data() + directory + 268, "x.dll");
  EXPECT_EQ(GetU32(package, directory + 268 + 260), m + 13654);
  EXPECT_EQ(GetU32(package, directory + 268 + 264), 777u);
  // Name bytes after the terminator are zero up to the checksum record in the last 16.
  for (size_t i = strlen("x.dll"); i < 244; ++i) ASSERT_EQ(package[directory + 268 + i], 0);
  EXPECT_EQ(std::string(package.data() + directory + 268 + 244, 4), "KVC1");
  EXPECT_EQ(std::string(package.data() + package.size() - 20, 16), "BRAMTOLEPACKFILE");
  EXPECT_EQ(GetU32(package, package.size() - 4), 2u);
}

TEST_F(PackageContainer, ReaderRecoversEveryMemberOfRandomPackages) {
  for (uint32_t seed = 10; seed < 16; ++seed) {
    std::vector<TestMember> members;
    const int count = static_cast<int>(seed % 5) + 1;
    for (int i = 0; i < count; ++i) {
      // Sizes around the 4096-byte block edges, and an empty member.
      static const size_t kSizes[] = {0, 1, 4095, 4096, 4097, 70001};
      members.push_back({"m" + std::to_string(i) + ".bin",
                         PseudoRandomBytes(kSizes[(seed + i) % 6], seed * 100 + i)});
    }
    Pack(members);

    PackageReader reader;
    ASSERT_EQ(OpenPackage(&reader), 1) << "seed " << seed;
    ASSERT_EQ(reader.count(), count);
    EXPECT_EQ(reader.moduleImageLength(), module_.size());
    for (int i = 0; i < count; ++i) {
      EXPECT_STREQ(reader.entry(i).name, members[i].name.c_str());
      std::string out = folder_.Join("out.bin");
      ASSERT_EQ(ExtractMemberTo(reader, i, out), 1);
      EXPECT_EQ(ReadFileBytes(out), members[i].bytes) << "seed " << seed << " member " << i;
    }
  }
}

TEST_F(PackageContainer, ZeroSizeMemberSharesTheOffsetOfTheNextOne) {
  Pack({{"empty.txt", {}}, {"next.txt", Bytes("abc")}});
  PackageReader reader;
  ASSERT_EQ(OpenPackage(&reader), 1);
  EXPECT_EQ(reader.entry(0).size, 0u);
  EXPECT_EQ(reader.entry(0).offset, reader.entry(1).offset);
}

TEST_F(PackageContainer, EmptyDirectoryIsAPackageWithTheTrailerRightAfterTheImage) {
  std::vector<char> package = Pack({});
  ASSERT_EQ(package.size(), module_.size() + 20);
  PackageReader reader;
  ASSERT_EQ(OpenPackage(&reader), 1);
  EXPECT_EQ(reader.count(), 0);
  EXPECT_EQ(reader.moduleImageLength(), module_.size());
}

TEST_F(PackageContainer, TrailingSlackUpTo127BytesIsFoundAnd128IsNot) {
  std::vector<char> package = Pack({{"a.txt", Bytes("hello")}});
  for (size_t slack : {0u, 1u, 64u, 127u, 128u, 200u}) {
    std::vector<char> damaged = package;
    damaged.insert(damaged.end(), slack, 'S');
    WriteFileBytes(packagePath_, damaged);

    BinaryFile file;
    ASSERT_EQ(file.OpenForReading(packagePath_.c_str()), 1);
    PackageTrailerInfo info = {};
    int found = LocatePackageTrailer(file, &info);
    file.Close();
    if (slack <= 127) {
      ASSERT_EQ(found, 1) << slack;
      EXPECT_EQ(info.slack, slack);
      EXPECT_EQ(info.count, 1);
      PackageReader reader;
      ASSERT_EQ(OpenPackage(&reader), 1) << slack;
      EXPECT_STREQ(reader.entry(0).name, "a.txt");
      EXPECT_EQ(reader.entry(0).size, 5u);
    } else {
      EXPECT_EQ(found, 0) << slack;
    }
  }
}

TEST_F(PackageContainer, ShortFilesAndPlainProgramsAreNotPackages) {
  for (size_t length : {0u, 5u, 19u, 20u, 21u, 147u, 148u, 3000u}) {
    WriteFileBytes(packagePath_, PseudoRandomBytes(length, 7));
    PackageReader reader;
    EXPECT_EQ(OpenPackage(&reader), 0) << length;
  }
  // A trailer alone (20 bytes, count 0) is the smallest package there is.
  WriteFileText(packagePath_, std::string("BRAMTOLEPACKFILE") + std::string(4, '\0'));
  PackageReader reader;
  EXPECT_EQ(OpenPackage(&reader), 1);
  EXPECT_EQ(reader.count(), 0);
  EXPECT_EQ(reader.moduleImageLength(), 0u);
}

// The magic is looked for only where a trailer can start, 20 to 147 bytes before the end:
// the same bytes anywhere before that, as inside a member, are never taken for one. The
// look-alike trailer counts no entries, so that where it is found, the file reads as an
// empty package.
TEST_F(PackageContainer, MagicInsideAMemberIsNeverTakenForTheTrailer) {
  struct Case {
    size_t magicFromEnd;
    int found;
  } const cases[] = {{147, 1}, {148, 0}, {149, 0}, {500, 0}};
  for (const Case& c : cases) {
    std::vector<char> file = module_;
    const std::vector<char> lookAlike = Bytes(std::string("BRAMTOLEPACKFILE") + std::string(4, '\0'));
    file.insert(file.end(), lookAlike.begin(), lookAlike.end());
    file.resize(file.size() + c.magicFromEnd - lookAlike.size(), 'x');
    WriteFileBytes(packagePath_, file);
    PackageReader reader;
    EXPECT_EQ(OpenPackage(&reader), c.found) << c.magicFromEnd << " bytes before the end";
    if (c.found) EXPECT_EQ(reader.trailer().slack, c.magicFromEnd - 20);
  }
}

TEST_F(PackageContainer, PackageWhoseImageIsAPackageIsReadThroughItsOuterTrailer) {
  Pack({{"inner.txt", Bytes("inner")}});
  std::vector<char> inner = ReadFileBytes(packagePath_);
  std::string innerPath = folder_.Join("inner.exe");
  WriteFileBytes(innerPath, inner);
  WriteTestPackage(packagePath_, innerPath, {{"outer1.txt", Bytes("o1")}, {"outer2.txt", Bytes("o2")}},
                   folder_.path());

  PackageReader reader;
  ASSERT_EQ(OpenPackage(&reader), 1);
  ASSERT_EQ(reader.count(), 2);
  EXPECT_STREQ(reader.entry(0).name, "outer1.txt");
  EXPECT_EQ(reader.moduleImageLength(), inner.size());
}

// Writes the package with one directory field changed and tells whether it still reads.
class MalformedDirectory : public PackageContainer {
 protected:
  void SetUp() override {
    PackageContainer::SetUp();
    package_ = Pack({{"first.txt", Bytes("1111")}, {"second.txt", Bytes("22")}});
    directory_ = package_.size() - 20 - 2 * 268;
  }
  bool ReadsWith(const std::function<void(std::vector<char>&)>& change) {
    std::vector<char> damaged = package_;
    change(damaged);
    WriteFileBytes(packagePath_, damaged);
    PackageReader reader;
    return OpenPackage(&reader) == 1;
  }
  void SetName(std::vector<char>& bytes, size_t entry, const std::string& name) {
    PutEntryName(bytes, directory_ + entry * 268, name);
  }

  std::vector<char> package_;
  size_t directory_ = 0;
};

TEST_F(MalformedDirectory, IsRefusedWhole) {
  ASSERT_TRUE(ReadsWith([](std::vector<char>&) {}));
  const size_t countAt = package_.size() - 4;
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, countAt, 0xFFFFFFFF); })) << "negative";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, countAt, 0x80000000); })) << "INT_MIN";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, countAt, 1000000); })) << "too many";
  // 268 x N wraps in 32 bits but not in 64.
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, countAt, 0x7FFFFFFF); })) << "wraps";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { memset(&b[directory_], 'n', 260); })) << "unterminated";
  for (const char* name : {"", ".", "..", "a\\\\b", "\\x", "a\\..\\..\\evil.exe", "..\\evil.exe", "c:evil", "a/b",
                           "C:\\x"}) {
    EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { SetName(b, 1, name); })) << "name " << name;
  }
  EXPECT_TRUE(ReadsWith([&](std::vector<char>& b) { SetName(b, 1, "...txt"); })) << "dots inside a name";
  EXPECT_TRUE(ReadsWith([&](std::vector<char>& b) { SetName(b, 1, "a\\b"); })) << "a path inside the folder";
  const size_t size1 = directory_ + 268 + 264, offset1 = directory_ + 268 + 260;
  EXPECT_TRUE(ReadsWith([&](std::vector<char>& b) { PutU32(b, size1, 2 + 268 * 0); })) << "exact end";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, size1, 3); })) << "reaches the directory";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, size1, 0xFFFFFFFF); })) << "huge size";
  EXPECT_FALSE(ReadsWith([&](std::vector<char>& b) { PutU32(b, offset1, 0xFFFFFFFF); })) << "huge offset";
}

TEST(CopyBytes, StopsAtTheLimitOrWhenTheSourceEnds) {
  TempFolder folder;
  std::vector<char> content = PseudoRandomBytes(600000, 5);
  std::string in = folder.Join("in"), out = folder.Join("out");
  WriteFileBytes(in, content);
  CopyBuffer buffer;
  for (uint64_t limit : {0ull, 1ull, 4096ull, 262143ull, 262144ull, 262145ull, 599999ull, 600000ull,
                         5000000ull}) {
    BinaryFile source, destination;
    RemoveFile(out.c_str());
    ASSERT_EQ(source.OpenForReading(in.c_str()), 1);
    ASSERT_EQ(destination.CreateNew(out.c_str()), 1);
    uint64_t copied = 99;
    EXPECT_EQ(CopyBytes(source, destination, limit, buffer, &copied), kCopyDone);
    source.Close();
    destination.Close();
    const uint64_t expected = limit < content.size() ? limit : content.size();
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(ReadFileBytes(out), std::vector<char>(content.begin(), content.begin() + expected));
  }
}

}  // namespace
