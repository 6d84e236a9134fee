// lodkin-cli pack on real files: the layout it writes, where it writes it, and every
// refusal and failure with its exit status and words, the earlier package kept.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/pack_job.h"
#include "host/support/host_files.h"
#include "host/support/tool_process.h"

namespace {

class CliPack : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"app", "data", "tools", "out"}) MakeFolder(root_.Join(name));
    stub_ = PseudoRandomBytes(9000, 1);
    setup_ = PseudoRandomBytes(20000, 2);
    data_ = PseudoRandomBytes(70000, 3);
    WriteBytes(root_.Join("tools/Lodkin.exe"), stub_);
    WriteBytes(root_.Join("app/setup.exe"), setup_);
    WriteBytes(root_.Join("data/a.bin"), data_);
    WriteBytes(root_.Join("data/empty.txt"), {});
  }

  RunResult Pack(std::vector<std::string> arguments, uint64_t fileSizeLimit = 0) {
    arguments.insert(arguments.begin(), {"pack", "--stub", "tools/Lodkin.exe"});
    RunSettings settings;
    settings.directory = root_.path();
    settings.fileSizeLimit = fileSizeLimit;
    return RunCli(arguments, settings);
  }

  std::vector<char> Expected() const {
    return LayOutPackage(stub_, {{"setup.exe", setup_}, {"a.bin", data_}, {"empty.txt", {}}}, true);
  }

  HostFolder root_;
  std::vector<char> stub_, setup_, data_;
};

TEST_F(CliPack, WritesTheLayoutBesideTheFirstFileOrAtOutput) {
  RunResult run = Pack({"app/setup.exe", "./data/../data/a.bin", root_.Join("data/empty.txt")});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("app/KVPACK_app.exe") + "\n");
  EXPECT_EQ(run.err, "") << "no progress display when stderr is not a terminal";
  EXPECT_EQ(ReadBytes(root_.Join("app/KVPACK_app.exe")), Expected());
  EXPECT_EQ(FolderEntries(root_.Join("app")), (std::vector<std::string>{"KVPACK_app.exe", "setup.exe"}));

  // -o replaces an earlier package there; the first file still gives member 0.
  WriteBytes(root_.Join("out/pkg.exe"), PseudoRandomBytes(100, 4));
  run = Pack({"-o", "out/pkg.exe", "app/setup.exe", "data/a.bin", "data/empty.txt"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, root_.Join("out/pkg.exe") + "\n");
  EXPECT_EQ(ReadBytes(root_.Join("out/pkg.exe")), Expected());
  EXPECT_EQ(FolderEntries(root_.Join("out")), std::vector<std::string>{"pkg.exe"});
}

struct Refusal {
  const char* what;
  std::vector<std::string> files;
  std::string error;  // after "lodkin-cli: error: "
  uint64_t fileSizeLimit;
};

TEST_F(CliPack, RefusalsAndFailuresKeepTheEarlierPackage) {
  WriteBytes(root_.Join("data/KVSet.exe"), PseudoRandomBytes(10, 5));
  WriteBytes(root_.Join("data/MyKvPackTool.dll"), PseudoRandomBytes(10, 6));
  WriteBytes(root_.Join("data/a:b"), PseudoRandomBytes(10, 7));
  WriteBytes(root_.Join("data/back\\slash"), PseudoRandomBytes(10, 8));
  // Four gibibytes that take no room: refused from their size, before anything is copied.
  WriteBytes(root_.Join("data/huge.bin"), {});
  ASSERT_EQ(truncate(root_.Join("data/huge.bin").c_str(), 4ll << 30), 0);
  const std::vector<Refusal> refusals = {
      {"no setup program", {"data/a.bin"}, "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"", 0},
      {"two setup programs", {"app/setup.exe", "data/KVSet.exe"},
       "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\"", 0},
      {"already packed", {"app/setup.exe", "data/MyKvPackTool.dll"}, "\"mykvpacktool.dll\" is already packed.", 0},
      {"colon in a name", {"app/setup.exe", "data/a:b"}, "\"a:b\" is not a valid member name", 0},
      {"backslash in a name", {"app/setup.exe", "data/back\\slash"}, "\"back\\slash\" is not a valid member name",
       0},
      {"missing file", {"app/setup.exe", "data/a.bin", "data/gone.dll"}, "can not open \"gone.dll\"", 0},
      {"a folder", {"app/setup.exe", "data/"}, "can not open \"data\"", 0},
      {"full disk", {"app/setup.exe", "data/a.bin"}, "can not write packaging file", 50000},
      {"4 GiB", {"app/setup.exe", "data/huge.bin"}, "package exceeds 4 GB", 0},
  };
  const std::vector<char> earlier = PseudoRandomBytes(3333, 9);
  for (const Refusal& refusal : refusals) {
    WriteBytes(root_.Join("out/pkg.exe"), earlier);
    std::vector<std::string> arguments = {"-o", "out/pkg.exe"};
    arguments.insert(arguments.end(), refusal.files.begin(), refusal.files.end());
    const RunResult run = Pack(arguments, refusal.fileSizeLimit);
    EXPECT_EQ(run.exitStatus, 1) << refusal.what;
    EXPECT_EQ(run.err, "lodkin-cli: error: " + refusal.error + "\n") << refusal.what;
    EXPECT_EQ(run.out, "") << refusal.what;
    EXPECT_EQ(ReadBytes(root_.Join("out/pkg.exe")), earlier) << refusal.what;
    EXPECT_EQ(FolderEntries(root_.Join("out")), std::vector<std::string>{"pkg.exe"}) << refusal.what;
  }

  // The stub, a missing folder for the package, and a package over one of its own files.
  RunSettings inRoot;
  inRoot.directory = root_.path();
  RunResult run = RunCli({"pack", "--stub", "tools/gone.exe", "-o", "out/pkg.exe", "app/setup.exe"}, inRoot);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: can not open module file \"" + root_.Join("tools/gone.exe") + "\"\n");
  run = Pack({"-o", "nowhere/pkg.exe", "app/setup.exe"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: can not create packaging file \"" + root_.Join("nowhere/pkg.exe") + "\"\n");
  EXPECT_FALSE(Exists(root_.Join("nowhere")));
  ASSERT_EQ(link(root_.Join("data/a.bin").c_str(), root_.Join("out/same.bin").c_str()), 0);
  for (const char* output : {"data/a.bin", "out/same.bin"}) {
    run = Pack({"-o", output, "app/setup.exe", "data/a.bin"});
    EXPECT_EQ(run.exitStatus, 1) << output;
    EXPECT_EQ(run.err, std::string("lodkin-cli: error: the output \"") + output + "\" is one of the files to pack\n");
  }
  EXPECT_EQ(ReadBytes(root_.Join("data/a.bin")), data_);
  EXPECT_EQ(ReadBytes(root_.Join("out/pkg.exe")), earlier);
  EXPECT_EQ(FolderEntries(root_.Join("app")), std::vector<std::string>{"setup.exe"});
}

TEST(HostPackagePath, FolderOfTheTopEntryNamesThePackage) {
  struct Case {
    std::string top;
    int built;
    std::string package;
  };
  const std::string longFolder(240, 'f');
  const std::vector<Case> cases = {
      {"/a/b/setup.exe", 1, "/a/b/KVPACK_b.exe"},
      {"/work/app/data.bin", 1, "/work/app/KVPACK_app.exe"},
      {"/a/setup.exe", 1, "/a/KVPACK_a.exe"},
      {"/setup.exe", 0, ""},
      {"setup.exe", 0, ""},
      {"/" + longFolder + "/setup.exe", 0, ""},
  };
  for (const Case& c : cases) {
    char package[260];
    EXPECT_EQ(BuildPackagePath(c.top.c_str(), package), c.built) << c.top;
    EXPECT_EQ(std::string(package), c.package) << c.top;
  }
}

}  // namespace
