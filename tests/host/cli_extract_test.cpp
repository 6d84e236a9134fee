// lodkin-cli extract: the members into a folder named as "-e" names it, nothing written
// for a package that the readers refuse, and no member left half written.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/support/host_files.h"
#include "host/support/tool_process.h"

namespace {

class CliExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFolder(root_.Join("dist"));
    setup_ = PseudoRandomBytes(20000, 50);
    cab_ = PseudoRandomBytes(120000, 51);
    package_ = LayOutPackage(PseudoRandomBytes(4000, 52), {{"SETUP.EXE", setup_}, {"data.cab", cab_}, {"empty.txt", {}}});
  }
  RunResult Cli(const std::vector<std::string>& arguments, uint64_t fileSizeLimit = 0) {
    RunSettings settings;
    settings.directory = root_.path();
    settings.fileSizeLimit = fileSizeLimit;
    return RunCli(arguments, settings);
  }
  void ExpectMembersIn(const std::string& folder) {
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"SETUP.EXE", "data.cab", "empty.txt"}));
    EXPECT_EQ(ReadBytes(folder + "/SETUP.EXE"), setup_);
    EXPECT_EQ(ReadBytes(folder + "/data.cab"), cab_);
    EXPECT_EQ(ReadBytes(folder + "/empty.txt"), std::vector<char>());
  }

  HostFolder root_;
  std::vector<char> setup_, cab_, package_;
};

TEST_F(CliExtract, MembersGoIntoTheFolderNamedAfterThePackage) {
  WriteBytes(root_.Join("dist/install.exe"), package_);
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
  WriteBytes(root_.Join("my.dir/pkg"), package_);
  run = Cli({"extract", "my.dir/pkg"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ExpectMembersIn(root_.Join("my.dir/pkg(1)"));
  // Two members of one name: the later one wins, as with "-e".
  WriteBytes(root_.Join("twice.exe"), LayOutPackage(PseudoRandomBytes(100, 53), {{"a.txt", setup_}, {"a.txt", cab_}}));
  run = Cli({"extract", "twice.exe"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(FolderEntries(root_.Join("twice")), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadBytes(root_.Join("twice/a.txt")), cab_);
}

TEST_F(CliExtract, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
  for (const char* name : {"../evil.exe", "..", "sub\\x.txt", "C:x", "/abs"}) {
    HostFolder scratch;
    MakeFolder(scratch.Join("pkg"));
    WriteBytes(scratch.Join("pkg/p.exe"),
               LayOutPackage(PseudoRandomBytes(100, 54), {{"setup.exe", setup_}, {name, PseudoRandomBytes(10, 55)}}));
    RunSettings settings;
    settings.directory = scratch.path();
    const RunResult run = RunCli({"extract", "pkg/p.exe"}, settings);
    EXPECT_EQ(run.exitStatus, 1) << name;
    EXPECT_EQ(run.err, "lodkin-cli: error: pkg/p.exe: unsafe member name (entry 1)\n") << name;
    EXPECT_EQ(FolderEntries(scratch.path()), std::vector<std::string>{"pkg"}) << name;
    EXPECT_EQ(FolderEntries(scratch.Join("pkg")), std::vector<std::string>{"p.exe"}) << name;
  }
}

TEST_F(CliExtract, AMemberThatCannotBeWrittenWholeIsRemoved) {
  WriteBytes(root_.Join("dist/install.exe"), package_);
  // Files may grow to 50,000 bytes: SETUP.EXE fits, data.cab does not.
  const RunResult run = Cli({"extract", "dist/install.exe"}, 50000);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: cannot write \"" + root_.Join("dist/install/data.cab") + "\"\n");
  EXPECT_EQ(FolderEntries(root_.Join("dist/install")), std::vector<std::string>{"SETUP.EXE"});
  EXPECT_EQ(ReadBytes(root_.Join("dist/install/SETUP.EXE")), setup_);
}

}  // namespace
