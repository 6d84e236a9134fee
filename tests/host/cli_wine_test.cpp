// The native tool against the Windows side: for the same program file and the same files
// in the same order, lodkin-cli on the host writes the bytes that the packaging window's
// Pack command writes under Wine, at the same place, and the package runs under Wine with
// the real Lodkin.exe, starting the stand-in setup program from its work directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/support/hand_package.h"
#include "host/support/tool_process.h"
#include "host/support/tree_fixture.h"
#include "support/test_files.h"

namespace {

TEST(CliUnderWine, NativePackageIsTheWindowsOneAndRuns) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without LODKIN_OUTPUT_DIR (the cross build's bin)";
  ASSERT_TRUE(PathExists(bin + "/Lodkin.exe"));
  ASSERT_TRUE(PathExists(bin + "/stand_in_setup.exe"));
  ASSERT_TRUE(PathExists(bin + "/window_pack.exe"));

  TempFolder root;
  MakeFolder(root.Join("app"));
  MakeFolder(root.Join("data"));
  const std::string setup = root.Join("app/setup.exe");
  WriteFileBytes(setup, ReadFileBytes(bin + "/stand_in_setup.exe"));
  WriteFileBytes(root.Join("data/payload.bin"), PseudoRandomBytes(1500000, 70));
  WriteFileBytes(root.Join("data/readme.txt"), PseudoRandomBytes(1234, 71));
  const std::string package = root.Join("app/KVPACK_app.exe");

  // The native tool, with its default stub: the Lodkin.exe beside it in the same folder.
  ASSERT_EQ(CliPath().substr(0, CliPath().rfind('/')), bin) << "lodkin-cli is not beside Lodkin.exe";
  RunSettings inRoot;
  inRoot.directory = root.path();
  const RunResult native = RunCli({"pack", "app/setup.exe", "data/payload.bin", "data/readme.txt"}, inRoot);
  ASSERT_EQ(native.exitStatus, 0) << native.err;
  const std::vector<char> nativeBytes = ReadFileBytes(package);
  ASSERT_EQ(unlink(package.c_str()), 0);

  // The window's own Pack command under Wine, with the same program file and rows.
  const RunResult window = RunUnderWine(bin + "/window_pack.exe",
                                        {WinePath(bin + "/Lodkin.exe"), WinePath(setup),
                                         WinePath(root.Join("data/payload.bin")), WinePath(root.Join("data/readme.txt"))});
  ASSERT_TRUE(window.finished);
  ASSERT_EQ(window.exitStatus, 0) << window.out << window.err;
  EXPECT_NE(window.out.find("status:Packaging is completed"), std::string::npos) << window.out;
  const std::vector<char> windowBytes = ReadFileBytes(package);
  EXPECT_EQ(nativeBytes.size(), windowBytes.size());
  EXPECT_TRUE(nativeBytes == windowBytes) << "the packages differ";
  EXPECT_EQ(nativeBytes.size(), ReadFileBytes(bin + "/Lodkin.exe").size() + ReadFileBytes(setup).size() + 1500000 + 1234 +
                                    3 * 268 + 20);

  // The native package run by the real program: the stand-in starts from the work
  // directory with both data files beside it, and knows the package's path.
  WriteFileBytes(package, nativeBytes);
  ASSERT_EQ(chmod(package.c_str(), 0755), 0);
  const std::string record = root.Join("record.txt");
  RunSettings recorded;
  recorded.environment.push_back({"LODKIN_STAND_IN_RECORD", WinePath(record)});
  recorded.timeoutSeconds = 60;
  const RunResult run = RunUnderWine(package, {}, recorded);
  ASSERT_TRUE(run.finished);
  ASSERT_TRUE(PathExists(record)) << "the setup program was not started";
  const std::vector<char> bytes = ReadFileBytes(record);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(RecordValue(text, "files"), "payload.bin|readme.txt|setup.exe") << text;
  EXPECT_EQ(RecordValue(text, "caller"), WinePath(package)) << text;
  const std::string self = RecordValue(text, "self");
  EXPECT_NE(self.find("\\KVLodkin"), std::string::npos) << text;

  // The work directory lives in the prefix's temporary folder: removed with its program.
  const char* prefix = getenv("WINEPREFIX");
  const std::string prefixPath = prefix != nullptr ? prefix : bin + "/../wineprefix";
  if (self.size() > 3 && (self[0] == 'C' || self[0] == 'c') && self[1] == ':') {
    std::string host = prefixPath + "/drive_c" + self.substr(2, self.rfind('\\') - 2);
    for (char& c : host) {
      if (c == '\\') c = '/';
    }
    RemoveTree(host);
  }
}

// lodkin-cli.exe as a user meets its faults: nothing but the package is left beside a
// read-only earlier one, Ctrl-C leaves no temporary file, a file named twice is a usage
// error, a folder is called a folder, and a path over the Windows limit is named.
TEST(CliUnderWine, ConsoleToolFaultsEndCleanly) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without LODKIN_OUTPUT_DIR (the cross build's bin)";
  const std::string cli = bin + "/lodkin-cli.exe";
  TempFolder root;
  for (const char* name : {"app", "out", "deep"}) MakeFolder(root.Join(name));
  WriteFileBytes(root.Join("app/setup.exe"), PseudoRandomBytes(30000, 72));
  RunSettings inRoot;
  inRoot.directory = root.path();

  // A read-only earlier package is replaced, and its aside copy goes too.
  WriteFileBytes(root.Join("out/out.exe"), PseudoRandomBytes(100, 73));
  ASSERT_EQ(chmod(root.Join("out/out.exe").c_str(), 0444), 0);
  RunResult run = RunUnderWine(cli, {"pack", "-o", "out/out.exe", "app/setup.exe"}, inRoot);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListFolder(root.Join("out")), std::vector<std::string>{"out.exe"});
  EXPECT_GT(ReadFileBytes(root.Join("out/out.exe")).size(), 30000u);

  // Ctrl-C (Wine turns SIGINT into the console event) in the middle of a long pack.
  WriteFileBytes(root.Join("app/big.bin"), {});
  ASSERT_EQ(truncate(root.Join("app/big.bin").c_str(), 3ll << 30), 0);
  const std::vector<char> earlier = ReadFileBytes(root.Join("out/out.exe"));
  const std::string out = root.Join("out");
  RunSettings interrupted = inRoot;
  interrupted.interruptSignal = SIGINT;
  interrupted.interruptWhen = [out]() { return ListFolder(out).size() > 1; };
  run = RunUnderWine(cli, {"pack", "-o", "out/out.exe", "app/setup.exe", "app/big.bin"}, interrupted);
  ASSERT_TRUE(run.interrupted) << run.err;
  EXPECT_EQ(run.exitStatus, 0xC000013Au & 0xFF) << "STATUS_CONTROL_C_EXIT; " << run.err;
  EXPECT_EQ(ListFolder(out), std::vector<std::string>{"out.exe"});
  EXPECT_EQ(ReadFileBytes(root.Join("out/out.exe")), earlier);

  run = RunUnderWine(cli, {"pack", "-o", "out/x.exe", "app/setup.exe", "app\\..\\app\\setup.exe"}, inRoot);
  EXPECT_EQ(run.exitStatus, 2) << run.err;
  EXPECT_NE(run.err.find("are the same file"), std::string::npos) << run.err;
  run = RunUnderWine(cli, {"verify", "out"}, inRoot);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: \"out\" is a folder, not a package\r\n");

  // A member whose path below the extraction folder passes 259 characters.
  const std::string longName = std::string(239, 'n') + ".txt";
  WriteFileBytes(root.Join("deep/pkg.exe"), LayOutPackage(PseudoRandomBytes(500, 74), {{"setup.exe", {}}, {longName, {}}}));
  run = RunUnderWine(cli, {"extract", "deep/pkg.exe"}, inRoot);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "lodkin-cli: error: member path too long: " + WinePath(root.Join("deep/pkg")) + "\\" + longName +
                         "\r\n");
  EXPECT_EQ(ListFolder(root.Join("deep")), std::vector<std::string>{"pkg.exe"});
}

}  // namespace
