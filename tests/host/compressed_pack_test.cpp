// Compressed packages on the host: the records, what pack --compress writes (checked
// against liblzma's own decoder and independent of the number of threads), and the
// core's reader, list, verify and extract on them, whole and damaged.
#include <gtest/gtest.h>
#include <lzma.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli/lzma_member_compressor.h"
#include "core/compressed_pack.h"
#include "core/member_checksum.h"
#include "core/name_field_records.h"
#include "core/pack_job.h"
#include "core/package_reader.h"
#include "core/package_writer.h"
#include "host/support/cli_fixture.h"
#include "host/support/compressed_fixture.h"
#include "host/support/lzma_reference.h"
#include "host/support/tool_process.h"
#include "support/byte_name_rules.h"
#include "support/output_file.h"
#include "support/test_files.h"
#include "support/test_pack_list.h"

namespace {

// The files of the round trips: stored and compressed members, empty ones inside
// groups, a group of one, a small file that does not shrink alone (compressed all the
// same), the longest names the records allow and one longer.
struct PackCase {
  std::string name;
  std::vector<char> bytes;
  const char* codec;
};

std::vector<PackCase> MixedMembers() {
  return {{"setup.exe", CompressibleBytes(30000, 1), "lzma"},
          {"a.txt", CompressibleBytes(40000, 2), "lzma"},
          {"empty.txt", {}, "lzma"},
          {"c.txt", CompressibleBytes(3000, 3), "lzma"},
          {"noise.cab", PseudoRandomBytes(70000, 4), "stored"},
          {"alone.txt", CompressibleBytes(7000, 5), "lzma"},
          {"noise2.bin", PseudoRandomBytes(66000, 6), "stored"},
          {"small-noise.bin", PseudoRandomBytes(9000, 9), "lzma"},
          {std::string(kMaxCompressedNameLength, 'n'), CompressibleBytes(4000, 7), "lzma"},
          {std::string(kMaxCompressedNameLength + 1, 'o'), CompressibleBytes(4000, 8), "stored"},
          {"last-empty", {}, "lzma"}};
}

class CompressedPack : public CliFixture {
 protected:
  void SetUp() override {
    members_ = MixedMembers();
    WriteFileBytes(root_.Join("Lodkin.exe"), PseudoRandomBytes(12000, 9));
    for (const PackCase& member : members_) {
      WriteFileBytes(root_.Join(member.name), member.bytes);
      rows_.push_back(root_.Join(member.name));
    }
  }

  // Packs in-process with a small share, so that the first run of files is cut in two.
  std::vector<char> Pack(const std::string& name, unsigned threads, uint64_t memoryLimit = kCompressMemoryLimit) {
    const PackResult result = PackCompressed(rows_, root_.Join("Lodkin.exe"), root_.Join(name),
                                             GroupRule{64 << 10, 64 << 10}, threads, memoryLimit);
    EXPECT_EQ(result.outcome, kPackCompleted) << result.name;
    return ReadFileBytes(root_.Join(name));
  }

  std::vector<PackCase> members_;
  std::vector<std::string> rows_;
};

// Decodes a group's stream with liblzma, from the header the group decoder reads.
std::vector<char> DecodeWithLiblzma(const char* stream, size_t length, uint64_t originalSize) {
  EXPECT_GE(length, kGroupStreamHeaderSize);
  const unsigned properties = static_cast<unsigned char>(stream[1]);
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.lc = properties % 9, options.lp = properties / 9 % 5, options.pb = properties / 45;
  memcpy(&options.dict_size, stream + 2, 4);
  EXPECT_EQ(stream[0], 0) << "no branch converter";
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::vector<char> out(originalSize + 1);
  size_t inPosition = kGroupStreamHeaderSize, outPosition = 0;
  const lzma_ret ret = lzma_raw_buffer_decode(filters, nullptr, reinterpret_cast<const uint8_t*>(stream),
                                              &inPosition, length, reinterpret_cast<uint8_t*>(out.data()),
                                              &outPosition, out.size());
  EXPECT_EQ(ret, LZMA_OK);
  EXPECT_EQ(inPosition, length) << "the stream ends where its entry says";
  out.resize(outPosition);
  return out;
}

TEST_F(CompressedPack, GroupsAreSolidStreamsThatLiblzmaDecodesAndThreadsDoNotChange) {
  const std::vector<char> one = Pack("one.exe", 1);
  EXPECT_EQ(Pack("three.exe", 3), one) << "the bytes depend on the number of threads";
  // No group fits: each waits until the writer has let go of the stream before it.
  EXPECT_EQ(Pack("starved.exe", 3, 1), one) << "the bytes depend on the memory";
  const std::vector<PackageDirEntry> entries = DirectoryOf(one);
  size_t member = 0, groups = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    GroupRecord group;
    if (!IsGroupEntry(entries[i])) {
      EXPECT_STREQ(members_[member].codec, "stored") << entries[i].name;
      EXPECT_EQ(entries[i].size, members_[member++].bytes.size());
      continue;
    }
    ++groups;
    ASSERT_TRUE(ReadRecord(entries[i], &group));
    const PackageDirEntry groupEntry = entries[i];
    // The group's compressed members, with the stored ones among them: each entry starts
    // where the one before it ends, the first where the stream ends.
    std::vector<char> original;
    uint64_t running = entries[i].offset + entries[i].size;
    for (uint32_t k = 0; k < group.memberCount; ++i) {
      ASSERT_LT(i + 1, entries.size());
      const PackageDirEntry& entry = entries[i + 1];
      EXPECT_STREQ(entry.name, members_[member].name.c_str());
      EXPECT_EQ(entry.offset, running) << entry.name;
      if (strcmp(members_[member].codec, "stored") == 0) {
        EXPECT_EQ(entry.size, members_[member].bytes.size()) << entry.name;
        EXPECT_EQ(std::vector<char>(&one[entry.offset], &one[entry.offset] + entry.size), members_[member].bytes);
      } else {
        EXPECT_EQ(entry.size, 0u);
        original.insert(original.end(), members_[member].bytes.begin(), members_[member].bytes.end());
        ++k;
      }
      running += entry.size;
      ++member;
    }
    EXPECT_EQ(group.originalSize, original.size());
    EXPECT_EQ(DecodeWithLiblzma(&one[groupEntry.offset], groupEntry.size, group.originalSize), original);
  }
  EXPECT_EQ(member, members_.size());
  // 84,000 compressed bytes: two shares, cut between a.txt and empty.txt; the stored files
  // (noise.cab, noise2.bin, ooo...) ride in the second group and break no run.
  EXPECT_EQ(groups, 2u);
  size_t stored = 0, compressible = 0;
  for (const PackCase& c : members_) (strcmp(c.codec, "stored") == 0 ? stored : compressible) += c.bytes.size();
  EXPECT_LT(one.size(), 12000 + stored + compressible * 6 / 10 + entries.size() * 268 + 20)
      << "the compressible files shrank";
}

TEST_F(CompressedPack, TheReaderHandsOutOriginalBytesInAnyOrder) {
  Pack("pkg.exe", 2);
  PackageReader reader;
  ASSERT_TRUE(reader.Open(root_.Join("pkg.exe").c_str()));
  ASSERT_EQ(reader.count(), static_cast<int>(members_.size()));
  EXPECT_EQ(reader.moduleImageLength(), 12000u);
  CopyBuffer buffer;
  // In order (the run), backwards and skipping (each restarts its group).
  std::vector<int> order;
  for (int i = 0; i < reader.count(); ++i) order.push_back(i);
  for (int i = reader.count() - 1; i >= 0; --i) order.push_back(i);
  for (int i : {3, 1, 2, 3, 0}) order.push_back(i);
  for (int i : order) {
    const PackCase& member = members_[i];
    EXPECT_STREQ(reader.entry(i).name, member.name.c_str());
    EXPECT_EQ(reader.isCompressed(i), strcmp(member.codec, "lzma") == 0) << member.name;
    EXPECT_EQ(reader.originalSize(i), member.bytes.size());
    const std::string out = root_.Join("out.bin");
    {
      BinaryFile file;
      ASSERT_TRUE(CreateOutputFile(file, out.c_str()));
      EXPECT_EQ(reader.CopyMember(i, file, buffer), kMemberIntact) << member.name;
    }
    EXPECT_EQ(ReadFileBytes(out), member.bytes) << member.name;
    EXPECT_EQ(reader.CheckMember(i, buffer), kMemberIntact) << member.name;
  }
  EXPECT_EQ(reader.CheckModuleImage(buffer), kMemberIntact);
}

TEST_F(CompressedPack, ListExtractAndVerifyThroughTheTool) {
  rows_.clear();
  std::vector<std::string> arguments = {"pack", "--compress", "--stub", "Lodkin.exe", "-o", "pkg.exe"};
  for (const PackCase& member : members_) arguments.push_back(member.name);
  RunResult run = Cli(arguments);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  run = Cli({"list", "--json", "pkg.exe"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  // One group here: the tool's limit is far above these files.
  EXPECT_NE(run.out.find(",\"size\":0,\"checksum\":"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"codec\":\"lzma\",\"originalSize\":40000,\"group\":0}"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"name\":\"noise.cab\""), std::string::npos);
  EXPECT_NE(run.out.find("\"codec\":\"stored\",\"originalSize\":70000,\"group\":null}"), std::string::npos);
  // alone.txt, after the stored noise.cab, is still in the first group.
  EXPECT_NE(run.out.find("\"codec\":\"lzma\",\"originalSize\":7000,\"group\":0}"), std::string::npos);
  run = Cli({"list", "pkg.exe"});
  EXPECT_NE(run.out.find("\tcodec\toriginal size\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\tstored\t66000\n"), std::string::npos) << run.out;
  run = Cli({"verify", "pkg.exe"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  run = Cli({"extract", "pkg.exe", "-C", "x"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const PackCase& member : members_) EXPECT_EQ(ReadFileBytes(root_.Join("x/" + member.name)), member.bytes);
}

// Bytes of a compressed package changed where each kind of damage lands; every one is
// named as a damaged member by verify, and extract leaves no damaged bytes.
TEST_F(CompressedPack, DamageToAStreamOrARecordNamesTheMember) {
  // The records, each where a byte of it can be changed: the directory out of its table.
  const std::vector<char> valid = WithDirectoryOnDisk(Pack("valid.exe", 1));
  const std::vector<PackageDirEntry> entries = DirectoryOf(valid);
  ASSERT_TRUE(IsGroupEntry(entries[0]));
  // Entries 0, 1: the group [setup.exe]; 2: the group of 3 a.txt, 4 empty.txt, 5 c.txt.
  ASSERT_TRUE(IsGroupEntry(entries[2]));
  // A changed stream shows in whichever member of the group decodes wrong first; a
  // changed record names its member, or for the group's record the group's first.
  const std::vector<std::string> anyOfGroup = {"a.txt", "empty.txt", "c.txt"};
  struct Case {
    const char* what;
    size_t at;
    std::vector<std::string> members;
    char mask = 0x01;
  };
  const std::vector<Case> cases = {
      {"the stream's first data byte", entries[2].offset + kGroupStreamHeaderSize, anyOfGroup},
      {"the middle of the stream", entries[2].offset + entries[2].size / 2, anyOfGroup},
      {"the stream's last byte", entries[2].offset + entries[2].size - 1, anyOfGroup},
      // lc 3 to 4, lp 0 to 4, pb 2 to 1 (lc alone would not do: these bytes share their top bits)
      {"the stream's properties", entries[2].offset + 1, anyOfGroup, 0x08},
      {"a member record's original size", EntryPosition(valid, 5) + 228, {"c.txt"}},
      {"a member's size", EntryPosition(valid, 5) + 264, {"c.txt"}},
      {"the group's original size", EntryPosition(valid, 2) + 232, {"a.txt"}},
      {"the group's size", EntryPosition(valid, 2) + 264, {"a.txt"}},
      {"the group's member count", EntryPosition(valid, 2) + 228, {"a.txt"}},
  };
  for (const Case& c : cases) {
    std::vector<char> damaged = valid;
    damaged[c.at] ^= c.mask;
    WriteFileBytes(root_.Join("damaged.exe"), damaged);
    RunResult run = Cli({"verify", "damaged.exe"});
    EXPECT_EQ(run.exitStatus, 1) << c.what;
    bool named = false;
    for (const std::string& member : c.members) named = named || run.err.find("member \"" + member + "\"") != std::string::npos;
    EXPECT_TRUE(named) << c.what << ": " << run.err;
    run = Cli({"extract", "damaged.exe", "-C", "d"});
    EXPECT_EQ(run.exitStatus, 1) << c.what;
    // The damaged member is never left; that the members before it go too is the clean-up
    // of extract, tested with it.
    for (const PackCase& member : members_) {
      const std::string path = root_.Join("d/" + member.name);
      if (PathExists(path)) {
        EXPECT_EQ(ReadFileBytes(path), member.bytes) << c.what << ": " << member.name;
      }
    }
    RemoveTree(root_.Join("d"));
  }
}

// Files that repeat earlier ones: of a stored file, of a compressed one, inside a folder,
// and an empty file twice (nothing to share). Each copy is recorded once, listed as a copy,
// and written whole by extract and by the reader in any order.
TEST_F(CompressedPack, CopiesAreStoredOnceAndEveryReaderWritesThem) {
  MakeFolder(root_.Join("lib"));
  const std::vector<std::pair<std::string, std::string>> copies = {
      {"lib/noise-again.cab", "noise.cab"}, {"lib/a-again.txt", "a.txt"}, {"lib/empty-again", "empty.txt"}};
  std::vector<PackCase> members = members_;
  for (const auto& copy : copies) {
    for (const PackCase& member : members_) {
      if (member.name == copy.second) members.push_back({copy.first, member.bytes, "copy"});
    }
  }
  members.back().codec = "lzma";  // an empty file is never a copy
  std::vector<std::string> arguments = {"pack", "--compress", "--stub", "Lodkin.exe", "-o", "pkg.exe"};
  for (const PackCase& member : members) {
    WriteFileBytes(root_.Join(member.name), member.bytes);
    if (member.name.find('/') == std::string::npos) arguments.push_back(member.name);
  }
  arguments.push_back("lib");
  RunResult run = Cli(arguments);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  run = Cli({"list", "--json", "pkg.exe"});
  // noise.cab is member 4, a.txt member 1; the folder's files follow in name order.
  EXPECT_NE(run.out.find("\"name\":\"lib\\\\a-again.txt\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"codec\":\"copy\",\"originalSize\":40000,\"group\":null,\"copyOf\":1}"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"codec\":\"copy\",\"originalSize\":70000,\"group\":null,\"copyOf\":4}"), std::string::npos);
  EXPECT_EQ(Cli({"list", "pkg.exe"}).out.find("copy of 2"), std::string::npos) << "the empty file was made a copy";
  EXPECT_EQ(Cli({"verify", "pkg.exe"}).exitStatus, 0);
  run = Cli({"extract", "pkg.exe", "-C", "x"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const PackCase& member : members) EXPECT_EQ(ReadFileBytes(root_.Join("x/" + member.name)), member.bytes);
  // The copies' bytes are not in the package again.
  size_t stored = 0;
  for (const PackCase& member : members_) stored += strcmp(member.codec, "stored") == 0 ? member.bytes.size() : 0;
  EXPECT_LT(ReadFileBytes(root_.Join("pkg.exe")).size(), 12000 + stored + 60000);

  // The reader alone, without the files it wrote: in order, backwards and skipping.
  PackageReader reader;
  ASSERT_TRUE(reader.Open(root_.Join("pkg.exe").c_str()));
  ASSERT_EQ(reader.count(), static_cast<int>(members.size()));
  CopyBuffer buffer;
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < reader.count(); ++k) {
      const int i = pass == 0 ? reader.count() - 1 - k : (k * 5) % reader.count();
      const std::string out = root_.Join("out.bin");
      {
        BinaryFile file;
        ASSERT_TRUE(CreateOutputFile(file, out.c_str()));
        EXPECT_EQ(reader.CopyMember(i, file, buffer), kMemberIntact) << reader.entry(i).name;
      }
      std::string name = reader.entry(i).name;
      for (char& c : name) c = c == '\\' ? '/' : c;
      EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(root_.Join(name))) << name;
      EXPECT_EQ(reader.CheckMember(i, buffer), kMemberIntact) << name;
    }
  }
}

// A compressor as the tool's, but whose plan remembers another file's bytes for each copy:
// as if the earlier file changed after the two were compared.
class CopiesOfChangedFiles : public MemberCompressor {
 public:
  explicit CopiesOfChangedFiles(LzmaMemberCompressor& real) : real_(real) {}
  CompressStatus Plan(const PackFileList& list, int* failedRow) override { return real_.Plan(list, failedRow); }
  int groupCount() const override { return real_.groupCount(); }
  MemberGroup group(int index) const override { return real_.group(index); }
  int IsStoredRow(int row) const override { return real_.IsStoredRow(row); }
  int FindCopy(int row, RowCopy* copy) const override {
    if (!real_.FindCopy(row, copy)) return 0;
    copy->checksum ^= 1;
    return 1;
  }
  CompressStatus WriteStream(int index, ByteSink& sink, GroupMembers* members, int* failedRow) override {
    return real_.WriteStream(index, sink, members, failedRow);
  }
  CompressStatus CompressDirectory(const char* entries, size_t length, const char** stream,
                                   size_t* streamLength) override {
    return real_.CompressDirectory(entries, length, stream, streamLength);
  }

 private:
  LzmaMemberCompressor& real_;
};

TEST_F(CompressedPack, AFileThatChangedAfterItsCopyWasFoundIsRefused) {
  for (const char* copied : {"noise.cab", "a.txt"}) {
    WriteFileBytes(root_.Join("again"), ReadFileBytes(root_.Join(copied)));
    std::vector<std::string> rows = rows_;
    rows.push_back(root_.Join("again"));
    LzmaMemberCompressor real;
    CopiesOfChangedFiles compressor(real);
    CompressedPackWriter compressed(compressor);
    PackOptions options = DefaultPackOptions();
    const std::string path = root_.Join("changed.exe");
    options.packagePath = path.c_str();
    options.compressor = &compressed;
    PackResult result;
    EXPECT_EQ(PackFiles(TestList(rows), root_.Join("Lodkin.exe").c_str(), options, &result), kPackFileChanged)
        << copied;
    EXPECT_STREQ(result.name, copied);
    EXPECT_FALSE(PathExists(path)) << copied;
  }
}

// A directory kept in a table is refused whole, before anything is written, when a byte
// of it changes: in its stream, in the entry that holds it, or in a record it holds that
// no writer would put outside a table.
TEST_F(CompressedPack, ADamagedTableIsRefusedBeforeAnythingIsWritten) {
  MakeFolder(root_.Join("lib"));
  WriteFileBytes(root_.Join("lib/again.cab"), members_[4].bytes);
  std::vector<std::string> arguments = {"pack", "--compress", "--stub", "Lodkin.exe", "-o", "pkg.exe"};
  for (const PackCase& member : members_) arguments.push_back(member.name);
  arguments.push_back("lib");
  ASSERT_EQ(Cli(arguments).exitStatus, 0);
  const std::vector<char> valid = ReadFileBytes(root_.Join("pkg.exe"));
  PackageDirEntry holder;
  ASSERT_TRUE(TableHolderOf(valid, &holder));
  const size_t entry = EntryPosition(valid, 0);
  struct Case {
    const char* what;
    size_t at;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"the table's properties", holder.offset + 1, "damaged directory table"},
      {"the table's first data byte", holder.offset + kGroupStreamHeaderSize, "damaged directory table"},
      {"the middle of the table", holder.offset + holder.size / 2, "damaged directory table"},
      {"the table's last byte", holder.offset + holder.size - 1, "damaged directory table"},
      {"the entry count", entry + 228, "damaged directory table"},
      {"the table's checksum", entry + 232, "damaged directory table"},
      {"the table's length", entry + 264, "damaged directory table"},
      {"the holder's name", entry + 1, "unsafe member name"},
  };
  for (const Case& c : cases) {
    std::vector<char> damaged = valid;
    damaged[c.at] ^= 0x04;
    WriteFileBytes(root_.Join("damaged.exe"), damaged);
    RunResult run = Cli({"verify", "damaged.exe"});
    EXPECT_EQ(run.exitStatus, 1) << c.what;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << run.err;
    EXPECT_EQ(Cli({"extract", "damaged.exe", "-C", "d"}).exitStatus, 1) << c.what;
    EXPECT_FALSE(PathExists(root_.Join("d"))) << c.what << ": extract wrote before it refused";
  }
  // Out of its table, a copy would be an empty file to a reader that knows no copies: no
  // writer puts one there, and this reader takes it for a damaged member.
  WriteFileBytes(root_.Join("on-disk.exe"), WithDirectoryOnDisk(valid));
  const RunResult run = Cli({"verify", "on-disk.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("member \"lib\\again.cab\""), std::string::npos) << run.err;
}

// Files large enough to be sampled: the choice between stored and compressed follows what
// their bytes compress to, whether the byte values repeat plainly (no trial needed) or are
// spread evenly and only the trial compression sees that they shrink.
TEST_F(CompressedPack, ALargeFileIsStoredOnlyWhenItsSamplesDoNotShrink) {
  const std::vector<char> block = PseudoRandomBytes(16 << 10, 21);
  std::vector<char> repeatedNoise;
  for (int k = 0; k < 12; ++k) repeatedNoise.insert(repeatedNoise.end(), block.begin(), block.end());
  std::vector<char> noiseThenText = PseudoRandomBytes(150 << 10, 22);
  const std::vector<char> text = CompressibleBytes(150 << 10, 23);
  noiseThenText.insert(noiseThenText.end(), text.begin(), text.end());
  const std::vector<PackCase> files = {
      {"setup.exe", CompressibleBytes(30000, 1), "lzma"},
      {"text.dat", CompressibleBytes(300 << 10, 24), "lzma"},
      {"zeros.dat", std::vector<char>(200 << 10, 0), "lzma"},
      {"noise.dat", PseudoRandomBytes(300 << 10, 25), "stored"},
      {"repeated-noise.dat", repeatedNoise, "lzma"},
      {"noise-then-text.dat", noiseThenText, "lzma"},
  };
  std::vector<std::string> arguments = {"pack", "--compress", "--stub", "Lodkin.exe", "-o", "pkg.exe"};
  for (const PackCase& file : files) {
    WriteFileBytes(root_.Join(file.name), file.bytes);
    arguments.push_back(file.name);
  }
  ASSERT_EQ(Cli(arguments).exitStatus, 0);
  const RunResult run = Cli({"list", "--json", "pkg.exe"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const PackCase& file : files) {
    const size_t at = run.out.find("\"name\":\"" + file.name + "\"");
    ASSERT_NE(at, std::string::npos) << file.name;
    const size_t codec = run.out.find("\"codec\":\"", at);
    EXPECT_EQ(run.out.compare(codec + 9, strlen(file.codec) + 1, std::string(file.codec) + "\""), 0)
        << file.name << " in " << run.out.substr(at, 200);
  }
  ASSERT_EQ(Cli({"extract", "pkg.exe", "-C", "x"}).exitStatus, 0);
  for (const PackCase& file : files) EXPECT_EQ(ReadFileBytes(root_.Join("x/" + file.name)), file.bytes) << file.name;
}

// An installation of many small files, in folders: every one comes back, and the
// directory's table costs a few bytes a member where entries on disk cost 268.
TEST_F(CompressedPack, ThirtyTwoThousandSmallMembers) {
  TempFolder many;
  const int kMembers = 32000;
  std::vector<std::string> names;
  std::vector<std::vector<char>> contents;
  MakeFolder(many.Join("tree"));
  for (int i = 0; i < kMembers; ++i) {
    const std::string folder = "d" + std::to_string(i % 40);
    if (i < 40) MakeFolder(many.Join("tree/" + folder));
    names.push_back(i == 0 ? "setup.exe" : folder + "/f" + std::to_string(i) + ".txt");
    contents.push_back(i % 7 == 0 ? PseudoRandomBytes(i % 300, i) : CompressibleBytes(i % 500, i));
    WriteFileBytes(many.Join("tree/" + names.back()), contents.back());
  }
  RunSettings settings;
  settings.directory = many.path();
  RunResult run = RunCli({"pack", "--compress", "--stub", root_.Join("Lodkin.exe"), "-o", "many.exe", "-C", "tree"},
                         settings);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  run = RunCli({"extract", "many.exe", "-C", "x"}, settings);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (int i = 0; i < kMembers; ++i) ASSERT_EQ(ReadFileBytes(many.Join("x/" + names[i])), contents[i]) << names[i];
  PackageDirEntry holder;
  ASSERT_TRUE(TableHolderOf(ReadFileBytes(many.Join("many.exe")), &holder));
  EXPECT_LT(holder.size, kMembers * 20u) << "bytes of the directory's table";
}

// A package as written before stored members could stand inside a group: two groups with
// a stored member between them, each group's members right after its entry. The reader
// hands out every member's bytes, in order and out of order, as it always did.
TEST(EarlierCompressedLayout, ReadsAsBefore) {
  TempFolder root;
  struct Member {
    const char* name;
    std::vector<char> bytes;
    int group;  // 0, 1, or -1 stored
  };
  const std::vector<Member> members = {{"setup.exe", CompressibleBytes(20000, 41), 0},
                                       {"a.txt", CompressibleBytes(9000, 42), 0},
                                       {"noise.cab", PseudoRandomBytes(7000, 43), -1},
                                       {"b.txt", CompressibleBytes(5000, 44), 1},
                                       {"empty.txt", {}, 1}};
  WriteFileBytes(root.Join("Lodkin.exe"), PseudoRandomBytes(3000, 45));
  WriteFileBytes(root.Join("noise.cab"), members[2].bytes);
  const std::string path = root.Join("old.exe");
  {
    BinaryFile package, program, stored;
    ASSERT_TRUE(CreateOutputFile(package, path.c_str()));
    ASSERT_TRUE(program.OpenForReading(root.Join("Lodkin.exe").c_str()));
    ASSERT_TRUE(stored.OpenForReading(root.Join("noise.cab").c_str()));
    CopyBuffer buffer;
    PackageWriter writer(package, 7, buffer);
    ASSERT_EQ(writer.AppendModuleImage(program), kPackageWriteOk);
    for (int group : {0, 1}) {
      std::vector<uint8_t> original;
      uint32_t count = 0;
      for (const Member& m : members) {
        if (m.group == group) original.insert(original.end(), m.bytes.begin(), m.bytes.end()), ++count;
      }
      const std::vector<uint8_t> stream = EncodeGroup(original, GroupOptions());
      ASSERT_EQ(writer.AppendGroupStream(reinterpret_cast<const char*>(stream.data()), stream.size(), count,
                                         original.size()),
                kPackageWriteOk);
      for (const Member& m : members) {
        if (m.group != group) continue;
        ASSERT_EQ(writer.AppendCompressedMember(m.name, static_cast<uint32_t>(m.bytes.size()),
                                                ChecksumOf(m.bytes.data(), m.bytes.size())),
                  kPackageWriteOk);
      }
      if (group == 0) {
        ASSERT_EQ(writer.AppendMember(stored, "noise.cab"), kPackageWriteOk);
      }
    }
    ASSERT_EQ(writer.Finish(), kPackageWriteOk);
  }
  PackageReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));
  ASSERT_EQ(reader.count(), 5);
  CopyBuffer buffer;
  for (int i : {0, 1, 2, 3, 4, 4, 1, 2, 0, 3}) {
    EXPECT_STREQ(reader.entry(i).name, members[i].name);
    EXPECT_EQ(reader.isCompressed(i), members[i].group >= 0) << members[i].name;
    const std::string out = root.Join("out.bin");
    {
      BinaryFile file;
      ASSERT_TRUE(CreateOutputFile(file, out.c_str()));
      EXPECT_EQ(reader.CopyMember(i, file, buffer), kMemberIntact) << members[i].name;
    }
    EXPECT_EQ(ReadFileBytes(out), members[i].bytes) << members[i].name;
  }
}

}  // namespace
