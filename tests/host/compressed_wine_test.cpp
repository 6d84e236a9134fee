// Compressed packages through the real programs under Wine: the run and "-e" write every
// member byte for byte, copies too; a damaged stream, record or table stops the run before
// anything starts and leaves nothing; lodkin-cli.exe reads them and writes, from the same files, the very
// bytes the native tool writes; a signed compressed package still runs.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/name_field_records.h"
#include "core/pack_outcome.h"
#include "host/support/compressed_fixture.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "host/support/tree_fixture.h"
#include "support/test_files.h"

namespace {

class CompressedUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    if (bin_.empty()) GTEST_SKIP() << "the host build was configured without the cross build's bin";
    members_ = {{"setup.exe", ReadFileBytes(bin_ + "/stand_in_setup.exe")},
                {"a.txt", CompressibleBytes(300000, 31)},
                {"empty.txt", {}},
                {"noise.cab", PseudoRandomBytes(100000, 32)},
                {"alone.txt", CompressibleBytes(5000, 33)},
                {std::string(kMaxCompressedNameLength - 4, 'n') + ".txt", CompressibleBytes(2000, 34)}};
    std::vector<std::string> arguments = {"pack", "--compress", "-o", "pkg.exe"};
    for (const HandMember& member : members_) {
      WriteFileBytes(root_.Join(member.name), member.bytes);
      arguments.push_back(member.name);
    }
    RunSettings settings;
    settings.directory = root_.path();
    const RunResult pack = RunCli(arguments, settings);
    ASSERT_EQ(pack.exitStatus, 0) << pack.err;
    package_ = root_.Join("pkg.exe");
    valid_ = ReadFileBytes(package_);
  }

  // The package's bytes run (or "-e") under Wine, its boxes closed; "exit=" and "box=" lines.
  std::string Run(const std::vector<char>& bytes, const std::vector<std::string>& tail = {}) {
    WriteFileBytes(package_, bytes);
    chmod(package_.c_str(), 0755);
    std::vector<std::string> arguments = {WinePath(package_)};
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    RunSettings settings;
    settings.environment.push_back({"LODKIN_STAND_IN_RECORD", WinePath(root_.Join("record.txt"))});
    settings.timeoutSeconds = 90;
    const RunResult run = RunUnderWine(bin_ + "/run_closing_boxes.exe", arguments, settings);
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    std::string out;
    for (char c : run.out) {
      if (c != '\r') out += c;
    }
    return out;
  }

  // The host folder where the last run's setup program started (its record names it).
  std::string WorkDirectoryOfRun() {
    const std::vector<char> record = ReadFileBytes(root_.Join("record.txt"));
    const std::string self = RecordValue(std::string(record.begin(), record.end()), "self");
    return HostPathOfPrefixPath(self.substr(0, self.rfind('\\')));
  }

  std::string bin_;
  TempFolder root_;
  std::vector<HandMember> members_;
  std::string package_;
  std::vector<char> valid_;
};

TEST_F(CompressedUnderWine, RunAndExtractWriteEveryMemberAndDamageStopsBoth) {
  // The run: the stand-in starts in the work directory, every member there as packed.
  EXPECT_EQ(Run(valid_), "exit=0\n");
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the setup program was not started";
  const std::string work = WorkDirectoryOfRun();
  for (const HandMember& member : members_) EXPECT_EQ(ReadFileBytes(work + "/" + member.name), member.bytes) << member.name;
  RemoveTree(work);
  const std::string temp = work.substr(0, work.rfind('/'));
  const int workBefore = static_cast<int>(WorkDirectoriesIn(temp).size());
  unlink(root_.Join("record.txt").c_str());

  // "-e": the members in the folder named after the package.
  EXPECT_EQ(Run(valid_, {"-e"}), "exit=0\n");
  for (const HandMember& member : members_) {
    EXPECT_EQ(ReadFileBytes(root_.Join("pkg/pkg/" + member.name)), member.bytes) << member.name;
  }
  RemoveTree(root_.Join("pkg"));

  // One group: setup.exe, a.txt, empty.txt, alone.txt and the long name, with the stored
  // noise.cab among them, its bytes right after the stream. The records are damaged where
  // they stand in a directory out of its table; the table's own damage comes after.
  const std::vector<char> onDisk = WithDirectoryOnDisk(valid_);
  const std::vector<PackageDirEntry> entries = DirectoryOf(onDisk);
  ASSERT_EQ(entries.size(), members_.size() + 1);
  ASSERT_TRUE(IsGroupEntry(entries[0]));
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_FALSE(IsGroupEntry(entries[i])) << i;
  EXPECT_STREQ(entries[4].name, "noise.cab");
  EXPECT_EQ(entries[4].offset, entries[0].offset + entries[0].size);
  EXPECT_EQ(entries[4].size, 100000u);
  EXPECT_EQ(entries[5].offset, entries[4].offset + entries[4].size);
  const std::vector<std::string> anyOfGroup = {"setup.exe", "a.txt", "empty.txt", "alone.txt", members_[5].name};
  struct Case {
    const char* what;
    size_t at;
    std::vector<std::string> members;
  };
  const std::vector<Case> cases = {
      {"the middle of the stream", entries[0].offset + entries[0].size / 2, anyOfGroup},
      {"a member record", EntryPosition(onDisk, 2) + 232, {"a.txt"}},
      {"the group's original size", EntryPosition(onDisk, 0) + 232, {"setup.exe"}},
      {"the group's size", EntryPosition(onDisk, 0) + 264, {"setup.exe"}},
      {"the stored member inside the group", entries[4].offset + 500, {"noise.cab"}},
      {"a compressed member after the stored one", EntryPosition(onDisk, 5) + 228, {"noise.cab", "alone.txt"}},
  };
  PackageDirEntry holder;
  ASSERT_TRUE(TableHolderOf(valid_, &holder));
  for (const Case& c : cases) {
    std::vector<char> damaged = onDisk;
    damaged[c.at] ^= 0x01;
    const std::string out = Run(damaged);
    bool named = false;
    for (const std::string& name : c.members) named = named || out == "exit=1392\nbox=Error: [" + name + "] is damaged.\n";
    EXPECT_TRUE(named) << c.what << ": " << out;
    EXPECT_FALSE(PathExists(root_.Join("record.txt"))) << c.what << ": something started";
    EXPECT_EQ(static_cast<int>(WorkDirectoriesIn(temp).size()), workBefore) << c.what << ": a work directory was left";
    EXPECT_EQ(Run(damaged, {"-e"}), "exit=1\n") << c.what;
    EXPECT_FALSE(PathExists(root_.Join("pkg"))) << c.what;
    RemoveTree(root_.Join("pkg"));
  }
  // A table changed by one byte (its stream, or the entry that holds it): the whole package
  // is damaged, reported under its own name, and nothing is written or started.
  for (size_t at : {static_cast<size_t>(holder.offset + holder.size / 2), EntryPosition(valid_, 0) + 232}) {
    std::vector<char> damaged = valid_;
    damaged[at] ^= 0x01;
    const std::string out = Run(damaged);
    const std::string says = "pkg.exe] is damaged.\n";
    EXPECT_EQ(out.rfind("exit=1392\nbox=Error: [", 0), 0u) << at << ": " << out;
    EXPECT_TRUE(out.size() > says.size() && out.compare(out.size() - says.size(), says.size(), says) == 0)
        << at << ": " << out;
    EXPECT_FALSE(PathExists(root_.Join("record.txt"))) << at << ": something started";
    EXPECT_EQ(static_cast<int>(WorkDirectoriesIn(temp).size()), workBefore) << at << ": a work directory was left";
    EXPECT_EQ(Run(damaged, {"-e"}), "exit=1\n") << at;
    EXPECT_FALSE(PathExists(root_.Join("pkg"))) << at;
  }
}

// Many groups: while one is written, the program decodes the next on the other core. The
// run and "-e" write the same files; a damaged group decoded ahead stops both as before.
TEST_F(CompressedUnderWine, GroupsDecodedAheadWriteTheSameFilesAndDamageStillStops) {
  std::vector<HandMember> members = {members_[0]};
  for (int k = 1; k <= 6; ++k) members.push_back({"part" + std::to_string(k) + ".txt", CompressibleBytes(90000 + 25000 * k, 40 + k)});
  members.insert(members.begin() + 3, {"noise.cab", PseudoRandomBytes(80000, 47)});
  std::vector<std::string> paths;
  MakeFolder(root_.Join("groups"));
  for (const HandMember& member : members) {
    WriteFileBytes(root_.Join("groups/" + member.name), member.bytes);
    paths.push_back(root_.Join("groups/" + member.name));
  }
  const PackResult packed = PackCompressed(paths, bin_ + "/Lodkin.exe", package_, GroupRule{64 << 10, 64 << 10});
  ASSERT_EQ(packed.outcome, kPackCompleted) << packed.name;
  const std::vector<char> bytes = ReadFileBytes(package_);
  // A group a file: its stream's entry comes right before the file's own.
  std::vector<std::pair<size_t, std::string>> streams;
  const std::vector<PackageDirEntry> entries = DirectoryOf(bytes);
  for (size_t i = 0; i + 1 < entries.size(); ++i) {
    if (IsGroupEntry(entries[i])) streams.push_back({entries[i].offset + entries[i].size / 2, entries[i + 1].name});
  }
  ASSERT_EQ(streams.size(), 7u);

  EXPECT_EQ(Run(bytes), "exit=0\n");
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the setup program was not started";
  const std::string work = WorkDirectoryOfRun();
  for (const HandMember& member : members) EXPECT_EQ(ReadFileBytes(work + "/" + member.name), member.bytes) << member.name;
  RemoveTree(work);
  unlink(root_.Join("record.txt").c_str());
  EXPECT_EQ(Run(bytes, {"-e"}), "exit=0\n");
  for (const HandMember& member : members) {
    EXPECT_EQ(ReadFileBytes(root_.Join("pkg/pkg/" + member.name)), member.bytes) << member.name;
  }
  RemoveTree(root_.Join("pkg"));

  // The second group is decoded ahead while setup.exe is written; the fourth while the third is.
  for (size_t k : {1u, 3u, 6u}) {
    std::vector<char> damaged = bytes;
    damaged[streams[k].first] ^= 0x01;
    EXPECT_EQ(Run(damaged), "exit=1392\nbox=Error: [" + streams[k].second + "] is damaged.\n") << k;
    EXPECT_FALSE(PathExists(root_.Join("record.txt"))) << k << ": something started";
    EXPECT_EQ(Run(damaged, {"-e"}), "exit=1\n") << k;
    EXPECT_FALSE(PathExists(root_.Join("pkg"))) << k;
  }

  // The first group's record, sealed anew, counting the next group's entry too: every
  // reader refuses the package whole rather than take that record for a member.
  std::vector<char> overrun = WithDirectoryOnDisk(bytes);
  PackageDirEntry group = entries[0];
  GroupRecord record;
  ASSERT_TRUE(IsGroupEntry(entries[2]) && ReadRecord(group, &record));
  ++record.memberCount;
  ASSERT_TRUE(SealRecord(group, record));
  memcpy(&overrun[EntryPosition(overrun, 0)], &group, sizeof(group));
  const std::string out = Run(overrun);
  EXPECT_TRUE(out.rfind("exit=1392\nbox=Error: [", 0) == 0 && out.find("pkg.exe] is damaged.") != out.npos) << out;
  EXPECT_EQ(Run(overrun, {"-e"}), "exit=1\n");
  for (const char* command : {"verify", "extract"}) {
    const RunResult tool = RunCli({command, package_});
    EXPECT_EQ(tool.exitStatus, 1) << command;
    EXPECT_NE(tool.err.find("a group that counts more members than it has"), std::string::npos) << tool.err;
  }
  EXPECT_FALSE(PathExists(root_.Join("record.txt")) || PathExists(root_.Join("pkg")));
}

// Copies (of a stored file, of a compressed one, inside a folder) are written whole by the
// run, by "-e" and by lodkin-cli.exe, each from the earlier member's bytes.
TEST_F(CompressedUnderWine, CopiesAreWrittenByEveryReader) {
  std::vector<HandMember> members = members_;
  members.push_back({"lib/noise-again.cab", members_[3].bytes});
  members.push_back({"lib/sub/a-again.txt", members_[1].bytes});
  members.push_back({"lib/sub/setup-again.exe", members_[0].bytes});
  MakeFolder(root_.Join("lib"));
  MakeFolder(root_.Join("lib/sub"));
  std::vector<std::string> arguments = {"pack", "--compress", "-o", "pkg.exe", "lib"};
  for (const HandMember& member : members) {
    WriteFileBytes(root_.Join(member.name), member.bytes);
    if (member.name.find('/') == std::string::npos) arguments.push_back(member.name);
  }
  RunSettings settings;
  settings.directory = root_.path();
  RunResult tool = RunCli(arguments, settings);
  ASSERT_EQ(tool.exitStatus, 0) << tool.err;
  tool = RunCli({"list", "pkg.exe"}, settings);
  size_t copies = 0;
  for (size_t at = tool.out.find("\tcopy of "); at != std::string::npos; at = tool.out.find("\tcopy of ", at + 1)) ++copies;
  EXPECT_EQ(copies, 3u) << tool.out;
  const std::vector<char> bytes = ReadFileBytes(package_);

  EXPECT_EQ(Run(bytes), "exit=0\n");
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the setup program was not started";
  const std::string work = WorkDirectoryOfRun();
  for (const HandMember& member : members) EXPECT_EQ(ReadFileBytes(work + "/" + member.name), member.bytes) << member.name;
  RemoveTree(work);
  EXPECT_EQ(Run(bytes, {"-e"}), "exit=0\n");
  for (const HandMember& member : members) {
    EXPECT_EQ(ReadFileBytes(root_.Join("pkg/pkg/" + member.name)), member.bytes) << member.name;
  }
  const RunResult extract = RunUnderWine(bin_ + "/lodkin-cli.exe", {"extract", "pkg.exe", "-C", "x"}, settings);
  ASSERT_EQ(extract.exitStatus, 0) << extract.err;
  for (const HandMember& member : members) EXPECT_EQ(ReadFileBytes(root_.Join("x/" + member.name)), member.bytes);
}

// Many small members in one group with a stored one among them: every one written byte for byte by
// the run and by "-e", and list numbers the groups.
TEST_F(CompressedUnderWine, FourThousandSmallMembersRoundTrip) {
  std::vector<HandMember> many = {{"setup.exe", ReadFileBytes(bin_ + "/stand_in_setup.exe")}};
  for (int k = 0; k < 4000; ++k) {
    char name[32];
    snprintf(name, sizeof(name), "m%04d.txt", k);
    many.push_back({name, CompressibleBytes(k % 9 == 0 ? 0 : 100 + k % 1200, 1000 + k)});
  }
  many[2001] = {"noise.cab", PseudoRandomBytes(70000, 35)};
  MakeFolder(root_.Join("many"));
  std::vector<std::string> arguments = {"pack", "--compress", "-o", "pkg.exe"};
  for (const HandMember& member : many) {
    WriteFileBytes(root_.Join("many/" + member.name), member.bytes);
    arguments.push_back("many/" + member.name);
  }
  RunSettings settings;
  settings.directory = root_.path();
  RunResult tool = RunCli(arguments, settings);
  ASSERT_EQ(tool.exitStatus, 0) << tool.err;
  const std::vector<char> bytes = ReadFileBytes(package_);
  tool = RunCli({"list", "--json", "pkg.exe"}, settings);
  ASSERT_EQ(tool.exitStatus, 0) << tool.err;
  auto count = [&](const std::string& text) {
    size_t found = 0;
    for (size_t at = tool.out.find(text); at != std::string::npos; at = tool.out.find(text, at + 1)) ++found;
    return found;
  };
  // One group: setup.exe and the 3,999 small files, the stored noise.cab riding in it.
  EXPECT_EQ(count("\"group\":0}"), 4000u);
  EXPECT_EQ(count("\"group\":null}"), 1u);
  EXPECT_EQ(count("\"group\":1}"), 0u);

  EXPECT_EQ(Run(bytes), "exit=0\n");
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the setup program was not started";
  const std::string work = WorkDirectoryOfRun();
  EXPECT_EQ(ListFolder(work).size(), many.size());
  for (const HandMember& member : many) EXPECT_EQ(ReadFileBytes(work + "/" + member.name), member.bytes) << member.name;
  RemoveTree(work);
  EXPECT_EQ(Run(bytes, {"-e"}), "exit=0\n");
  EXPECT_EQ(ListFolder(root_.Join("pkg/pkg")).size(), many.size());
  for (const HandMember& member : many) {
    EXPECT_EQ(ReadFileBytes(root_.Join("pkg/pkg/" + member.name)), member.bytes) << member.name;
  }
}

TEST_F(CompressedUnderWine, TheWindowsToolReadsThem) {
  const std::string cli = bin_ + "/lodkin-cli.exe";
  RunSettings settings;
  settings.directory = root_.path();
  RunResult run = RunUnderWine(cli, {"verify", "pkg.exe"}, settings);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  run = RunUnderWine(cli, {"list", "pkg.exe"}, settings);
  EXPECT_NE(run.out.find("\ta.txt\t"), std::string::npos) << run.out << run.err;
  EXPECT_NE(run.out.find("\tlzma\t300000"), std::string::npos) << run.out;
  run = RunUnderWine(cli, {"extract", "pkg.exe", "-C", "x"}, settings);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const HandMember& member : members_) EXPECT_EQ(ReadFileBytes(root_.Join("x/" + member.name)), member.bytes);
}

// The same liblzma at the same settings on both sides: a build pipeline on Windows and one
// on Linux hand out the same package. The files cover every kind of member: compressed,
// stored because they do not shrink, stored for their long name, empty, and a folder tree.
TEST_F(CompressedUnderWine, TheWindowsToolWritesTheNativeToolsBytes) {
  MakeFolder(root_.Join("lib"));
  MakeFolder(root_.Join("lib/sub"));
  WriteFileBytes(root_.Join("lib/x.dll"), CompressibleBytes(120000, 35));
  WriteFileBytes(root_.Join("lib/sub/y.dat"), PseudoRandomBytes(40000, 36));
  WriteFileBytes(root_.Join("lib/sub/z.txt"), CompressibleBytes(70000, 37));
  // Copies, and so the directory's table, written alike on both sides.
  WriteFileBytes(root_.Join("lib/sub/a-again.txt"), members_[1].bytes);
  WriteFileBytes(root_.Join("lib/noise-again.cab"), members_[3].bytes);
  std::vector<std::string> files;
  for (const HandMember& member : members_) files.push_back(member.name);
  files.push_back("lib");
  RunSettings settings;
  settings.directory = root_.path();
  const std::string stub = bin_ + "/Lodkin.exe";
  // liblzma's encoder on both sides, and the core's own, which must give the same bytes on
  // every platform by itself.
  for (const char* compress : {"--compress", "--compress=fast"}) {
    SCOPED_TRACE(compress);
    std::vector<std::string> native = {"pack", compress, "--stub", stub, "-o", "native.exe"};
    native.insert(native.end(), files.begin(), files.end());
    RunResult run = RunCli(native, settings);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> windows = {"pack", compress, "-o", "windows.exe"};
    windows.insert(windows.end(), files.begin(), files.end());
    run = RunUnderWine(bin_ + "/lodkin-cli.exe", windows, settings);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<char> nativeBytes = ReadFileBytes(root_.Join("native.exe"));
    EXPECT_GT(nativeBytes.size(), ReadFileBytes(stub).size());
    EXPECT_TRUE(nativeBytes == ReadFileBytes(root_.Join("windows.exe"))) << "the two tools wrote different packages";
    run = RunCli({"list", "windows.exe"}, settings);
    EXPECT_NE(run.out.find("\tlzma\t120000"), std::string::npos) << run.out;
  }
}

TEST_F(CompressedUnderWine, ASignedCompressedPackageRuns) {
  const std::string key = root_.Join("key.pem"), cert = root_.Join("cert.pem");
  RunResult made = RunProcess("/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                                   "-out", cert, "-days", "30", "-subj", "/CN=Lodkin test",
                                                   "-addext", "extendedKeyUsage=codeSigning"});
  ASSERT_EQ(made.exitStatus, 0) << made.err;
  const std::string signedPath = root_.Join("signed.exe");
  made = RunProcess("/usr/bin/osslsigncode", {"sign", "-certs", cert, "-key", key, "-in", package_, "-out", signedPath});
  ASSERT_EQ(made.exitStatus, 0) << made.err;
  const std::vector<char> signedBytes = ReadFileBytes(signedPath);
  ASSERT_GT(signedBytes.size(), valid_.size());
  EXPECT_EQ(Run(signedBytes), "exit=0\n");
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the signed package did not start its setup program";
  const std::string work = WorkDirectoryOfRun();
  for (const HandMember& member : members_) EXPECT_EQ(ReadFileBytes(work + "/" + member.name), member.bytes) << member.name;
  RemoveTree(work);
}

}  // namespace
