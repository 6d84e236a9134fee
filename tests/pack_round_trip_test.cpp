// What the Pack command writes is a working package: the real program runs it, starting
// the setup program among its members, and "-e" unpacks it byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/recorded_report.h"
#include "support/test_files.h"
#include "support/test_process.h"
#include "support/test_pack_list.h"
#include "ui/pack_command.h"

namespace {

TEST(PackRoundTrip, PackedSetupRunsAndExtractsByteForByte) {
  TempFolder folder;
  const std::string app = folder.Join("app");
  CreateDirectoryA(app.c_str(), nullptr);
  const std::string setup = app + "\\setup.exe";
  WriteFileBytes(setup, ReadFileBytes(BuildBinFolder() + "\\stand_in_setup.exe"));
  const std::string data = folder.Join("data.bin");
  WriteFileBytes(data, PseudoRandomBytes(100000, 9));

  RecordedReport report;
  RunPackCommand(TestList({setup, data}), report, LodkinExePath().c_str());
  ASSERT_EQ(report.status, "Packaging is completed");
  EXPECT_EQ(report.box, "success:packaging is completed ");
  const std::string package = app + "\\KVPACK_app.exe";
  ASSERT_TRUE(FileExists(package));

  // Run it: the stand-in records that it was started from a work directory holding both members.
  const std::string record = folder.Join("record.txt");
  SetEnvironmentVariableA("LODKIN_STAND_IN_RECORD", record.c_str());
  ProcessResult run = RunProgram(package, "", 30000, BuildBinFolder());
  SetEnvironmentVariableA("LODKIN_STAND_IN_RECORD", nullptr);
  ASSERT_TRUE(run.finished);
  const std::vector<char> recorded = ReadFileBytes(record);
  const std::string text(recorded.begin(), recorded.end());
  EXPECT_NE(text.find("files=data.bin|setup.exe\n"), std::string::npos) << text;
  EXPECT_NE(text.find("caller=" + package + "\n"), std::string::npos) << text;
  const size_t self = text.find("self=");
  ASSERT_NE(self, std::string::npos);
  const std::string workDirectory = text.substr(self + 5, text.find("\\setup.exe", self) - self - 5);
  EXPECT_NE(workDirectory.find("\\KVLodkin"), std::string::npos) << workDirectory;
  RemoveTree(workDirectory);

  // Unpack it: the bare program and both members, each as packed.
  ASSERT_TRUE(RunProgram(package, "-e").finished);
  EXPECT_EQ(ReadFileBytes(app + "\\KVPACK_app\\Lodkin.exe"), ReadFileBytes(LodkinExePath()));
  EXPECT_EQ(ReadFileBytes(app + "\\KVPACK_app\\KVPACK_app\\setup.exe"), ReadFileBytes(setup));
  EXPECT_EQ(ReadFileBytes(app + "\\KVPACK_app\\KVPACK_app\\data.bin"), ReadFileBytes(data));
}

}  // namespace
