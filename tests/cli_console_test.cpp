// lodkin-cli.exe, the console tool, started as a process of its own: it writes the bytes
// that the packaging window's Pack command writes, and reads them back.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/recorded_report.h"
#include "support/test_files.h"
#include "support/test_pack_list.h"
#include "support/test_process.h"
#include "ui/pack_command.h"

namespace {

std::string CliPath() { return BuildBinFolder() + "\\lodkin-cli.exe"; }

std::string WithSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

class ConsoleTool : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = folder_.Join("app");
    CreateDirectoryA(app_.c_str(), nullptr);
    CreateDirectoryA(folder_.Join("data").c_str(), nullptr);
    setup_ = app_ + "\\setup.exe";
    WriteFileBytes(setup_, PseudoRandomBytes(30000, 61));
    WriteFileBytes(folder_.Join("data\\a.bin"), PseudoRandomBytes(300000, 62));
    WriteFileBytes(folder_.Join("data\\empty.txt"), {});
    package_ = app_ + "\\KVPACK_app.exe";
  }

  // The window's writer, with the Lodkin.exe beside the tool as the program file.
  std::vector<char> PackedByWindow() {
    RecordedReport report;
    RunPackCommand(TestList({setup_, folder_.Join("data\\a.bin"), folder_.Join("data\\empty.txt")}), report,
                   LodkinExePath().c_str());
    EXPECT_EQ(report.status, "Packaging is completed");
    std::vector<char> bytes = ReadFileBytes(package_);
    DeleteFileA(package_.c_str());
    return bytes;
  }

  ProcessResult Cli(const std::string& arguments, const std::string& directory = std::string()) {
    return RunProgram(CliPath(), arguments, 60000, directory);
  }

  TempFolder folder_;
  std::string app_, setup_, package_;
};

TEST_F(ConsoleTool, PacksTheWindowsBytesFromFullRelativeAndSlashedPaths) {
  const std::vector<char> window = PackedByWindow();
  ASSERT_GT(window.size(), 330000u);

  // Full paths with '/', no -o: KVPACK_app.exe beside the first file, default stub.
  ProcessResult run = Cli("pack " + WithSlashes(setup_) + " " + WithSlashes(folder_.Join("data\\a.bin")) + " " +
                          WithSlashes(folder_.Join("data\\empty.txt")));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(package_), window);
  DeleteFileA(package_.c_str());

  // Relative paths, resolved against the current folder, and an explicit -o and --stub.
  run = Cli("pack -o out/pkg.exe --stub \"" + LodkinExePath() + "\" app/setup.exe data\\a.bin data/empty.txt",
            folder_.path());
  EXPECT_EQ(run.exitCode, 1u) << "no folder out/ to create the package in";
  CreateDirectoryA(folder_.Join("out").c_str(), nullptr);
  run = Cli("pack -o out/pkg.exe --stub \"" + LodkinExePath() + "\" app/setup.exe data\\a.bin data/empty.txt",
            folder_.path());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(folder_.Join("out\\pkg.exe")), window);
}

TEST_F(ConsoleTool, ExitStatusesAndTheMembersWrittenBack) {
  ASSERT_EQ(Cli("pack app/setup.exe data/a.bin", folder_.path()).exitCode, 0u);
  EXPECT_EQ(Cli("verify app/KVPACK_app.exe", folder_.path()).exitCode, 0u);
  EXPECT_EQ(Cli("list --json app/KVPACK_app.exe", folder_.path()).exitCode, 0u);
  ASSERT_EQ(Cli("extract app/KVPACK_app.exe -C unpacked", folder_.path()).exitCode, 0u);
  EXPECT_EQ(ListFolder(folder_.Join("unpacked")), (std::vector<std::string>{"a.bin", "setup.exe"}));
  EXPECT_EQ(ReadFileBytes(folder_.Join("unpacked\\a.bin")), ReadFileBytes(folder_.Join("data\\a.bin")));

  // Refusals and failures end with 1, a wrong command line with 2.
  EXPECT_EQ(Cli("pack data/a.bin", folder_.path()).exitCode, 1u);
  EXPECT_EQ(Cli("verify data/a.bin", folder_.path()).exitCode, 1u);
  EXPECT_EQ(Cli("extract app/KVPACK_app.exe -C unpacked", folder_.path()).exitCode, 1u);
  EXPECT_EQ(Cli("pack", folder_.path()).exitCode, 2u);
  EXPECT_EQ(Cli("unpack x", folder_.path()).exitCode, 2u);
  EXPECT_EQ(Cli("--version", folder_.path()).exitCode, 0u);
}

}  // namespace
