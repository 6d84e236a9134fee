// The core's one copy loop, on real files: every copy of the core (members in and out,
// checksum passes, the program image with its headers rewritten) goes through it.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/block_copy.h"
#include "core/member_checksum.h"
#include "support/test_files.h"

namespace {

// Keeps every byte it is shown.
class Recorder : public CopyObserver {
 public:
  void Observe(const char* bytes, size_t length) override { seen.insert(seen.end(), bytes, bytes + length); }
  std::vector<char> seen;
};

// Sets one byte of the copy, wherever the block boundaries fall, and records where each
// block started.
class ByteSetter : public BlockEditor {
 public:
  explicit ByteSetter(uint64_t position) : position_(position) {}
  void Edit(char* bytes, size_t length, uint64_t at) override {
    starts.push_back(at);
    if (position_ >= at && position_ < at + length) bytes[position_ - at] = 'X';
  }
  std::vector<uint64_t> starts;

 private:
  uint64_t position_;
};

TEST(BlockCopy, MovesEditsAndShowsEachBlockOnceWithOrWithoutADestination) {
  TempFolder root;
  const size_t block = CopyBuffer::kSize;
  const std::vector<char> source = PseudoRandomBytes(2 * block + 1000, 97);
  WriteFileBytes(root.Join("source"), source);
  CopyBuffer buffer;
  ASSERT_TRUE(buffer.isReady());
  struct Case {
    const char* what;
    uint64_t start, limit, edited;
    bool toFile;
    uint64_t expected;
  } const cases[] = {
      {"whole file, edit in the last block", 0, source.size(), 2 * block + 5, true, source.size()},
      {"limit inside the second block", 0, block + 7, 3, true, block + 7},
      {"source ends before the limit", block, 10 * block, block + 1, true, block + 1000},
      {"read only, edit at a block boundary", 0, source.size(), block, false, source.size()},
      {"nothing asked", 5, 0, 0, true, 0},
  };
  for (const Case& c : cases) {
    BinaryFile in, out;
    ASSERT_EQ(in.OpenForReading(root.Join("source").c_str()), 1);
    ASSERT_EQ(in.Seek(c.start), 1);
    const std::string target = root.Join("target");
    RemoveTree(target);
    ASSERT_EQ(out.CreateNew(target.c_str()), 1);
    Recorder recorder;
    ByteSetter editor(c.edited);
    uint64_t moved = 0;
    EXPECT_EQ(MoveBlocks(in, c.toFile ? &out : nullptr, c.limit, buffer, &moved, &recorder, &editor), kCopyDone)
        << c.what;
    out.Close();
    EXPECT_EQ(moved, c.expected) << c.what;
    std::vector<char> expected(source.begin() + c.start, source.begin() + c.start + c.expected);
    if (c.edited < c.expected) expected[c.edited] = 'X';
    EXPECT_TRUE(recorder.seen == expected) << c.what;
    EXPECT_TRUE(ReadFileBytes(target) == (c.toFile ? expected : std::vector<char>())) << c.what;
    for (size_t i = 0; i < editor.starts.size(); ++i) EXPECT_EQ(editor.starts[i], i * block) << c.what;
  }
}

TEST(BlockCopy, FailedReadsAndWritesAreReportedWithTheBytesMovedSoFar) {
  TempFolder root;
  WriteFileBytes(root.Join("source"), PseudoRandomBytes(1000, 98));
  CopyBuffer buffer;
  BinaryFile in, closed, readOnly;
  uint64_t moved = 1;
  // A source that is not open fails its first read.
  EXPECT_EQ(MoveBlocks(closed, nullptr, 10, buffer, &moved, nullptr), kCopyReadFailed);
  EXPECT_EQ(moved, 0u);
  // A destination opened for reading takes no byte.
  ASSERT_EQ(in.OpenForReading(root.Join("source").c_str()), 1);
  ASSERT_EQ(readOnly.OpenForReading(root.Join("source").c_str()), 1);
  MemberChecksum checksum;
  EXPECT_EQ(CopyBytes(in, readOnly, 1000, buffer, &moved, &checksum), kCopyWriteFailed);
  EXPECT_EQ(moved, 0u);
  // What was not written was not shown either.
  EXPECT_EQ(checksum.Finish(), ChecksumOf(nullptr, 0));
}

}  // namespace
