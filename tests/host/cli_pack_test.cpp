// lodkin-cli pack on real files: the layout it writes, where it writes it, and every
// refusal and failure with its exit status and words, the earlier package kept.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/pack_job.h"
#include "core/package_naming.h"
#include "host/support/cli_fixture.h"
#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

class CliPack : public CliFixture {
 protected:
  void SetUp() override {
    for (const char* name : {"app", "data", "tools", "out"}) MakeFolder(root_.Join(name));
    stub_ = PseudoRandomBytes(9000, 1);
    setup_ = PseudoRandomBytes(20000, 2);
    data_ = PseudoRandomBytes(70000, 3);
    WriteFileBytes(root_.Join("tools/Lodkin.exe"), stub_);
    WriteFileBytes(root_.Join("app/setup.exe"), setup_);
    WriteFileBytes(root_.Join("data/a.bin"), data_);
    WriteFileBytes(root_.Join("data/empty.txt"), {});
  }

  RunResult Pack(std::vector<std::string> arguments, uint64_t fileSizeLimit = 0) {
    arguments.insert(arguments.begin(), {"pack", "--stub", "tools/Lodkin.exe"});
    return Cli(arguments, fileSizeLimit);
  }

  std::vector<char> Expected() const {
    return LayOutPackage(stub_, {{"setup.exe", setup_}, {"a.bin", data_}, {"empty.txt", {}}}, true);
  }

  std::vector<char> stub_, setup_, data_;
};

TEST_F(CliPack, WritesTheLayoutBesideTheFirstFileOrAtOutput) {
  RunResult run = Pack({"app/setup.exe", "./data/../data/a.bin", root_.Join("data/empty.txt")});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("app/KVPACK_app.exe") + "\n");
  EXPECT_EQ(run.err, "") << "no progress display when stderr is not a terminal";
  EXPECT_EQ(ReadFileBytes(root_.Join("app/KVPACK_app.exe")), Expected());
  EXPECT_EQ(ListFolder(root_.Join("app")), (std::vector<std::string>{"KVPACK_app.exe", "setup.exe"}));

  // -o replaces an earlier package there; the first file still gives member 0.
  WriteFileBytes(root_.Join("out/pkg.exe"), PseudoRandomBytes(100, 4));
  run = Pack({"-o", "out/pkg.exe", "app/setup.exe", "data/a.bin", "data/empty.txt"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("out/pkg.exe") + "\n");
  EXPECT_EQ(ReadFileBytes(root_.Join("out/pkg.exe")), Expected());
  EXPECT_EQ(ListFolder(root_.Join("out")), std::vector<std::string>{"pkg.exe"});
}

struct Refusal {
  const char* what;
  std::vector<std::string> files;
  std::string error;  // after "lodkin-cli: error: "
  uint64_t fileSizeLimit;
};

TEST_F(CliPack, RefusalsAndFailuresKeepTheEarlierPackage) {
  WriteFileBytes(root_.Join("data/KVSet.exe"), PseudoRandomBytes(10, 5));
  WriteFileBytes(root_.Join("data/MyKvPackTool.dll"), PseudoRandomBytes(10, 6));
  WriteFileBytes(root_.Join("data/a:b"), PseudoRandomBytes(10, 7));
  WriteFileBytes(root_.Join("data/back\\slash"), PseudoRandomBytes(10, 8));
  // Four gibibytes that take no room: refused from their size, before anything is copied.
  WriteFileBytes(root_.Join("data/huge.bin"), {});
  ASSERT_EQ(truncate(root_.Join("data/huge.bin").c_str(), 4ll << 30), 0);
  ASSERT_EQ(mkfifo(root_.Join("data/fifo").c_str(), 0600), 0);
  std::vector<Refusal> refusals = {
      {"no setup program", {"data/a.bin"}, "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"", 0},
      {"two setup programs", {"app/setup.exe", "data/KVSet.exe"},
       "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"", 0},
      {"already packed", {"app/setup.exe", "data/MyKvPackTool.dll"}, "\"mykvpacktool.dll\" is already packed.", 0},
      {"colon in a name", {"app/setup.exe", "data/a:b"}, "\"a:b\" is not a valid member name", 0},
      {"backslash in a name", {"app/setup.exe", "data/back\\slash"}, "\"back\\slash\" is not a valid member name",
       0},
      {"missing file", {"app/setup.exe", "data/a.bin", "data/gone.dll"}, "can not open \"gone.dll\"", 0},
      // A folder is walked: the pipe inside it is no file to pack.
      {"a folder holding a pipe", {"app/setup.exe", "data/"}, "can not open \"data\\fifo\"", 0},
      {"a pipe", {"app/setup.exe", "data/fifo"}, "\"data/fifo\" is not a regular file", 0},
      {"full disk", {"app/setup.exe", "data/a.bin"}, "can not write packaging file", 50000},
      {"4 GiB", {"app/setup.exe", "data/huge.bin"}, "package exceeds 4 GB", 0},
  };
  // A file whose bytes are not as many as its length says, as a file that changes while
  // it is packed: the system's files report a length of 4,096 and hold a few bytes.
  const char* const kShrinking = "/sys/devices/system/cpu/online";
  if (PathExists(kShrinking)) {
    refusals.push_back({"a file that changed", {"app/setup.exe", kShrinking}, "\"online\" changed while it was packed", 0});
    // Compressed, the file is read into its group: the same check there.
    refusals.push_back({"a file that changed, --compress", {"--compress", "app/setup.exe", kShrinking},
                        "\"online\" changed while it was packed", 0});
  }
  const std::vector<char> earlier = PseudoRandomBytes(3333, 9);
  for (const Refusal& refusal : refusals) {
    WriteFileBytes(root_.Join("out/pkg.exe"), earlier);
    std::vector<std::string> arguments = {"-o", "out/pkg.exe"};
    arguments.insert(arguments.end(), refusal.files.begin(), refusal.files.end());
    const RunResult run = Pack(arguments, refusal.fileSizeLimit);
    EXPECT_EQ(run.exitStatus, 1) << refusal.what;
    EXPECT_EQ(run.err, "lodkin-cli: error: " + refusal.error + "\n") << refusal.what;
    EXPECT_EQ(run.out, "") << refusal.what;
    EXPECT_EQ(ReadFileBytes(root_.Join("out/pkg.exe")), earlier) << refusal.what;
    EXPECT_EQ(ListFolder(root_.Join("out")), std::vector<std::string>{"pkg.exe"}) << refusal.what;
  }

  // The stub, a missing folder for the package, and a package over one of its own files.
  RunSettings inRoot;
  inRoot.directory = root_.path();
  RunResult run = RunCli({"pack", "--stub", "tools/gone.exe", "-o", "out/pkg.exe", "app/setup.exe"}, inRoot);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: can not open module file \"" + root_.Join("tools/gone.exe") + "\"\n");
  run = RunCli({"pack", "--stub", "tools", "-o", "out/pkg.exe", "app/setup.exe"}, inRoot);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: \"tools\" is a folder, not a program file\n");
  run = Pack({"-o", "out", "app/setup.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: the output \"out\" is a folder\n");
  run = Pack({"-o", "nowhere/pkg.exe", "app/setup.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: can not create packaging file \"" + root_.Join("nowhere/pkg.exe") + "\"\n");
  EXPECT_FALSE(PathExists(root_.Join("nowhere")));
  ASSERT_EQ(link(root_.Join("data/a.bin").c_str(), root_.Join("out/same.bin").c_str()), 0);
  for (const char* output : {"data/a.bin", "out/same.bin"}) {
    run = Pack({"-o", output, "app/setup.exe", "data/a.bin"});
    EXPECT_EQ(run.exitStatus, 1) << output;
    EXPECT_EQ(run.err, std::string("lodkin-cli: error: the output \"") + output + "\" is one of the files to pack\n");
  }
  EXPECT_EQ(ReadFileBytes(root_.Join("data/a.bin")), data_);
  EXPECT_EQ(ReadFileBytes(root_.Join("out/pkg.exe")), earlier);
  EXPECT_EQ(ListFolder(root_.Join("app")), std::vector<std::string>{"setup.exe"});
}

// The folder part of a path goes through the file system as it does for the shell: with
// work/link -> ../real/sub, "work/link/../data.txt" is real/data.txt. The last name
// stays as given, so a link to a file packs under the link's name.
TEST_F(CliPack, PathsThroughLinksResolveAsTheSystemResolvesThem) {
  for (const char* name : {"work", "real", "real/sub"}) MakeFolder(root_.Join(name));
  const std::vector<char> real = PseudoRandomBytes(500, 20), decoy = PseudoRandomBytes(600, 21);
  WriteFileBytes(root_.Join("real/data.txt"), real);
  WriteFileBytes(root_.Join("work/data.txt"), decoy);
  ASSERT_EQ(symlink("../real/sub", root_.Join("work/link").c_str()), 0);
  ASSERT_EQ(symlink("../data/a.bin", root_.Join("work/alias.bin").c_str()), 0);

  const RunResult run = Pack({"-o", "work/link/../out.exe", "app/setup.exe", "work/link/../data.txt", "work/alias.bin"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("real/out.exe") + "\n");
  EXPECT_EQ(ReadFileBytes(root_.Join("real/out.exe")),
            LayOutPackage(stub_, {{"setup.exe", setup_}, {"data.txt", real}, {"alias.bin", data_}}, true));
  EXPECT_FALSE(PathExists(root_.Join("work/out.exe")));
}

// The window lists a file once, so a file named twice, by any path, is a mistake in the
// command line: exit status 2, and nothing written.
TEST_F(CliPack, AFileNamedTwiceIsAUsageError) {
  ASSERT_EQ(link(root_.Join("data/a.bin").c_str(), root_.Join("data/hard.bin").c_str()), 0);
  ASSERT_EQ(symlink("a.bin", root_.Join("data/soft.bin").c_str()), 0);
  const std::vector<std::vector<std::string>> lists = {
      {"app/setup.exe", "data/a.bin", "data/a.bin"},
      {"app/setup.exe", "data/a.bin", "data/empty.txt", "./data/../data/a.bin"},
      {"app/setup.exe", "data/a.bin", "data/hard.bin"},
      {"app/setup.exe", "data/a.bin", "data/soft.bin"},
      {"app/setup.exe", "data/empty.txt", "data/a.bin", root_.Join("app/setup.exe")},
  };
  for (const auto& files : lists) {
    std::vector<std::string> arguments = {"-o", "out/pkg.exe"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const RunResult run = Pack(arguments);
    const std::string& second = files.back();
    const std::string& first = second == root_.Join("app/setup.exe") ? files[0] : files[1];
    EXPECT_EQ(run.exitStatus, 2) << second;
    EXPECT_EQ(run.err, "lodkin-cli: error: \"" + first + "\" and \"" + second + "\" are the same file; name each file once\n");
    EXPECT_EQ(ListFolder(root_.Join("out")), std::vector<std::string>{}) << second;
  }
}

// Ctrl-C in a pipeline or a CI timeout: the temporary package goes, the earlier package
// stays, and the exit status still tells the signal.
TEST_F(CliPack, AnInterruptedPackLeavesNothingBehind) {
  // Three gibibytes that take no room and take long enough to copy.
  WriteFileBytes(root_.Join("data/big.bin"), {});
  ASSERT_EQ(truncate(root_.Join("data/big.bin").c_str(), 3ll << 30), 0);
  const std::vector<char> earlier = PseudoRandomBytes(3333, 22);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    WriteFileBytes(root_.Join("out/pkg.exe"), earlier);
    const std::string out = root_.Join("out");
    RunSettings settings;
    settings.directory = root_.path();
    settings.interruptSignal = signal;
    settings.interruptWhen = [out]() { return ListFolder(out).size() > 1; };
    const RunResult run =
        RunCli({"pack", "--stub", "tools/Lodkin.exe", "-o", "out/pkg.exe", "app/setup.exe", "data/big.bin"}, settings);
    ASSERT_TRUE(run.interrupted) << run.err;
    EXPECT_EQ(run.exitStatus, 128 + signal) << run.err;
    EXPECT_EQ(ListFolder(out), std::vector<std::string>{"pkg.exe"}) << signal;
    EXPECT_EQ(ReadFileBytes(root_.Join("out/pkg.exe")), earlier) << signal;
  }
}

TEST(HostPackagePath, FolderOfTheTopEntryNamesThePackage) {
  struct Case {
    std::string top;
    int built;
    std::string package;
  };
  // The host's limit is the system's, not the 259 characters of Windows.
  const std::string longFolder(240, 'f');
  const std::string tooLongFolder(2100, 'f');
  const std::vector<Case> cases = {
      {"/a/b/setup.exe", 1, "/a/b/KVPACK_b.exe"},
      {"/work/app/data.bin", 1, "/work/app/KVPACK_app.exe"},
      {"/a/setup.exe", 1, "/a/KVPACK_a.exe"},
      {"/setup.exe", 0, ""},
      {"setup.exe", 0, ""},
      {"/" + longFolder + "/setup.exe", 1, "/" + longFolder + "/KVPACK_" + longFolder + ".exe"},
      {"/" + tooLongFolder + "/setup.exe", 0, ""},
  };
  for (const Case& c : cases) {
    char package[kCorePathSize];
    EXPECT_EQ(BuildPackagePath(c.top.c_str(), package), c.built) << c.top;
    EXPECT_EQ(std::string(package), c.package) << c.top;
  }
}

}  // namespace
