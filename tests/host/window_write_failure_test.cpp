// The packaging window's Pack command on a disk that fills up: run under Wine with a real
// file-size limit, so that the package's writes fail as a full disk makes them fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

TEST(WindowWriteFailure, FullDiskReportsAWriteFailureAndKeepsTheEarlierPackage) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without LODKIN_OUTPUT_DIR (the cross build's bin)";
  TempFolder root;
  MakeFolder(root.Join("app"));
  const std::string setup = root.Join("app/setup.exe");
  const std::string payload = root.Join("app/payload.bin");
  WriteFileBytes(setup, PseudoRandomBytes(20000, 95));
  WriteFileBytes(payload, PseudoRandomBytes(300000, 96));
  const std::string package = root.Join("app/KVPACK_app.exe");
  const std::vector<std::string> arguments = {WinePath(bin + "/Lodkin.exe"), WinePath(setup), WinePath(payload)};

  const RunResult first = RunUnderWine(bin + "/window_pack.exe", arguments);
  ASSERT_EQ(first.exitStatus, 0) << first.out << first.err;
  const std::vector<char> earlier = ReadFileBytes(package);
  const std::vector<std::string> folder = ListFolder(root.Join("app"));

  // Room for the program image, not for the members.
  RunSettings fullDisk;
  fullDisk.fileSizeLimit = 150000;
  const RunResult full = RunUnderWine(bin + "/window_pack.exe", arguments, fullDisk);
  ASSERT_TRUE(full.finished);
  EXPECT_EQ(full.exitStatus, 1);
  // The console runtime under Wine ends lines with CR LF.
  EXPECT_EQ(full.out, "status:Error: can not write packaging file\r\nbox:error:can not write packaging file \r\n");
  EXPECT_TRUE(ReadFileBytes(package) == earlier);
  EXPECT_EQ(ListFolder(root.Join("app")), folder);
}

}  // namespace
