// lodkin-cli extract: the members into a folder named as "-e" names it, nothing written
// for a package that the readers refuse, and no member left half written.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/support/cli_fixture.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

class CliExtract : public CliFixture {
 protected:
  void SetUp() override {
    MakeFolder(root_.Join("dist"));
    setup_ = PseudoRandomBytes(20000, 50);
    cab_ = PseudoRandomBytes(120000, 51);
    package_ = LayOutPackage(PseudoRandomBytes(4000, 52), {{"SETUP.EXE", setup_}, {"data.cab", cab_}, {"empty.txt", {}}});
  }
  void ExpectMembersIn(const std::string& folder) {
    EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"SETUP.EXE", "data.cab", "empty.txt"}));
    EXPECT_EQ(ReadFileBytes(folder + "/SETUP.EXE"), setup_);
    EXPECT_EQ(ReadFileBytes(folder + "/data.cab"), cab_);
    EXPECT_EQ(ReadFileBytes(folder + "/empty.txt"), std::vector<char>());
  }

  std::vector<char> setup_, cab_, package_;
};

TEST_F(CliExtract, MembersGoIntoTheFolderNamedAfterThePackage) {
  WriteFileBytes(root_.Join("dist/install.exe"), package_);
  RunResult run = Cli({"extract", "dist/install.exe"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("dist/install") + "\n");
  EXPECT_EQ(run.err, "");
  ExpectMembersIn(root_.Join("dist/install"));

  // A folder that holds files already is refused and left as it is.
  run = Cli({"extract", "dist/install.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: the folder \"" + root_.Join("dist/install") + "\" already holds files\n");
  ExpectMembersIn(root_.Join("dist/install"));

  // -C: an empty folder is taken, a file is no folder; a name without extension gets "(1)".
  MakeFolder(root_.Join("empty"));
  run = Cli({"extract", "-C", "empty", "dist/install.exe"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ExpectMembersIn(root_.Join("empty"));
  run = Cli({"extract", "dist/install.exe", "-C", "dist/install.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: \"" + root_.Join("dist/install.exe") + "\" is not a folder\n");
  MakeFolder(root_.Join("my.dir"));
  WriteFileBytes(root_.Join("my.dir/pkg"), package_);
  run = Cli({"extract", "my.dir/pkg"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ExpectMembersIn(root_.Join("my.dir/pkg(1)"));
  // Two members of one name would be one file on Windows: refused, as by "-e", before
  // the folder is made.
  WriteFileBytes(root_.Join("twice.exe"), LayOutPackage(PseudoRandomBytes(100, 53), {{"a.txt", setup_}, {"A.TXT", cab_}}));
  run = Cli({"extract", "twice.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: twice.exe: two members of the same name, letter case ignored (entry 1 \"A.TXT\")\n");
  EXPECT_FALSE(PathExists(root_.Join("twice")));
}

// An extraction that fails part-way takes back everything it wrote, and the folder when
// it made it, says why, and can simply be run again.
TEST_F(CliExtract, AFailedExtractionTakesBackWhatItWrote) {
  WriteFileBytes(root_.Join("dist/install.exe"), package_);
  MakeFolder(root_.Join("empty"));
  struct Case {
    std::vector<std::string> arguments;
    std::string folder;
    bool folderStays;
  };
  const std::vector<Case> cases = {
      {{"extract", "dist/install.exe"}, "dist/install", false},
      {{"extract", "dist/install.exe", "-C", "empty"}, "empty", true},
  };
  for (const Case& c : cases) {
    // Files may grow to 50,000 bytes: SETUP.EXE fits, data.cab does not.
    RunResult run = Cli(c.arguments, 50000);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "lodkin-cli: error: cannot write \"" + root_.Join(c.folder + "/data.cab") +
                           "\": the file is larger than the system allows\n");
    EXPECT_EQ(PathExists(root_.Join(c.folder)), c.folderStays) << c.folder;
    if (c.folderStays) {
      EXPECT_EQ(ListFolder(root_.Join(c.folder)), std::vector<std::string>{});
    }
    run = Cli(c.arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    ExpectMembersIn(root_.Join(c.folder));
  }
}

// A real full disk: a small file system of its own, in a mount namespace of the test's
// own (the tool runs inside it, as root of that namespace only).
TEST_F(CliExtract, AFullDiskIsNamedAndLeavesNothing) {
  if (RunProcess("unshare", {"-rm", "true"}).exitStatus != 0) GTEST_SKIP() << "no user namespaces here";
  WriteFileBytes(root_.Join("dist/install.exe"), package_);
  MakeFolder(root_.Join("small"));
  RunSettings settings;
  settings.directory = root_.path();
  // 64 KiB: SETUP.EXE fits, data.cab does not.
  const RunResult run = RunProcess(
      "unshare", {"-rm", "sh", "-c",
                  "mount -t tmpfs -o size=64k none small || exit 99; \"$0\" extract dist/install.exe -C small/out; "
                  "status=$?; ls -A small; exit $status",
                  CliPath()},
      settings);
  ASSERT_NE(run.exitStatus, 99) << run.err;
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: cannot write \"" + root_.Join("small/out/data.cab") +
                         "\": no space left on the device\n");
  EXPECT_EQ(run.out, "") << "the folder made for the members is gone";
}

// Paths go through the file system as the shell takes them: with work/link -> ../real/sub,
// "-C work/link/../out" is real/out; and the host's limit is the system's, so a member
// with a long name extracts below a folder of ordinary depth.
TEST_F(CliExtract, PathsAreTheSystemsAndAsLongAsItAllows) {
  for (const char* name : {"work", "real", "real/sub"}) MakeFolder(root_.Join(name));
  ASSERT_EQ(symlink("../real/sub", root_.Join("work/link").c_str()), 0);
  WriteFileBytes(root_.Join("dist/install.exe"), package_);
  RunResult run = Cli({"extract", "dist/install.exe", "-C", "work/link/../out"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("real/out") + "\n");
  ExpectMembersIn(root_.Join("real/out"));
  EXPECT_FALSE(PathExists(root_.Join("work/out")));

  const std::string longName = std::string(239, 'n') + ".txt";
  const std::string deep = "a-folder-of-ordinary-depth/with-a-sub-folder";
  MakeFolder(root_.Join("a-folder-of-ordinary-depth"));
  MakeFolder(root_.Join(deep));
  WriteFileBytes(root_.Join(deep + "/setup.exe"), setup_);
  WriteFileBytes(root_.Join(deep + "/" + longName), cab_);
  WriteFileBytes(root_.Join("Lodkin.exe"), PseudoRandomBytes(3000, 56));
  run = Cli({"pack", "--stub", "Lodkin.exe", deep + "/setup.exe", deep + "/" + longName});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  run = Cli({"extract", deep + "/KVPACK_with-a-sub-folder.exe"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::string folder = root_.Join(deep + "/KVPACK_with-a-sub-folder");
  EXPECT_GT(folder.size() + 1 + longName.size(), 259u);
  EXPECT_EQ(ReadFileBytes(folder + "/" + longName), cab_);
}

}  // namespace
