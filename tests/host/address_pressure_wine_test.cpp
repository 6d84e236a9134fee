// The 32-bit programs at the end of their address space: a package of groups of 200 MiB
// and more, read in a process that has reserved most of its address space first, every
// member written and as packed. Only the 32-bit build presses on that limit; with the
// 64-bit build the tests are skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/binary_file.h"
#include "host/support/pressure_package.h"
#include "host/support/tool_process.h"
#include "host/support/tree_fixture.h"
#include "support/test_files.h"

namespace {

// Free address space left to the pressed process, in MiB: a little below 2 GiB (less than
// one group's dictionary), and one block above 2 GiB, which only a large-address-aware
// process has.
const char* const kLowMiB = "40";
const char* const kHighMiB = "1024";

bool IsThirtyTwoBitProgram(const std::string& path) {
  BinaryFile file;
  unsigned char header[0x200] = {};
  if (!file.OpenForReading(path.c_str()) || !file.ReadAt(0, header, sizeof(header))) return false;
  const uint32_t pe = header[0x3C] | header[0x3D] << 8;
  return pe + 6 < sizeof(header) && header[pe + 4] == 0x4C && header[pe + 5] == 0x01;
}

class AddressPressure : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    if (bin_.empty() || !IsThirtyTwoBitProgram(bin_ + "/Lodkin.exe")) {
      GTEST_SKIP() << "the Windows programs under test are not the 32-bit build";
    }
    const PressurePackage& package = SharedPressurePackage(bin_);
    ASSERT_EQ(package.error, "");
    package_ = root_.Join("pressed.exe");
    WriteFileBytes(package_, ReadFileBytes(package.path));
    chmod(package_.c_str(), 0755);
  }

  RunResult Squeezed(const std::vector<std::string>& arguments, const RunSettings& given = RunSettings()) {
    RunSettings settings = given;
    settings.timeoutSeconds = 600;
    return RunUnderWine(bin_ + "/address_squeeze.exe", arguments, settings);
  }

  std::string bin_;
  TempFolder root_;
  std::string package_;
};

TEST_F(AddressPressure, TheReaderWritesEveryMemberOfLargeGroupsWithItsAddressSpaceReserved) {
  const std::string out = root_.Join("out");
  MakeFolder(out);
  const RunResult run = Squeezed({"read", kLowMiB, kHighMiB, WinePath(package_), WinePath(out)});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_EQ(CompareWithMembers(SharedPressurePackage(bin_), out), "") << run.out;
}

TEST_F(AddressPressure, TheProgramExtractsAndRunsSuchAPackageWithItsAddressSpaceReserved) {
  // "-e": the members beside the package; "-s": in the work directory, where the setup
  // program found them (its record names the folder), ending with its exit code.
  RunSettings settings;
  settings.environment = {{"LODKIN_STAND_IN_RECORD", WinePath(root_.Join("record.txt"))},
                          {"LODKIN_STAND_IN_EXIT_CODE", "7"}};
  const RunResult extract = Squeezed({"start", kLowMiB, kHighMiB, WinePath(package_), "-e"}, settings);
  EXPECT_EQ(extract.exitStatus, 0) << extract.out << extract.err;
  EXPECT_EQ(CompareWithMembers(SharedPressurePackage(bin_), root_.Join("pressed/pressed")), "");
  RemoveTree(root_.Join("pressed"));

  const RunResult silent = Squeezed({"start", kLowMiB, kHighMiB, WinePath(package_), "-s"}, settings);
  EXPECT_EQ(silent.exitStatus, 7) << silent.out << silent.err;
  ASSERT_TRUE(PathExists(root_.Join("record.txt"))) << "the setup program was not started";
  const std::vector<char> record = ReadFileBytes(root_.Join("record.txt"));
  const std::string self = RecordValue(std::string(record.begin(), record.end()), "self");
  const std::string work = HostPathOfPrefixPath(self.substr(0, self.rfind('\\')));
  EXPECT_EQ(CompareWithMembers(SharedPressurePackage(bin_), work), "");
  RemoveTree(work);
}

}  // namespace
