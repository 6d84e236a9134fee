// The packaging window's "Compress" box through the real program under Wine (the build that
// LODKIN_WINDOWS_BIN names: run it for the 32-bit and the 64-bit build): checked, Pack
// writes the bytes of lodkin-cli pack --compress=fast from the same rows, shows its
// progress, answers while it works and takes no input; unchecked, the stored package as
// before; closed mid-pack, nothing is left and an earlier package stays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/support/compressed_fixture.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

// "Compressing 37 %"
bool IsProgress(const std::string& text) {
  return text.compare(0, 12, "Compressing ") == 0 && text.size() > 14 && text.compare(text.size() - 2, 2, " %") == 0;
}

class WindowCompress : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = WindowsBinFolder();
    if (bin_.empty()) GTEST_SKIP() << "the host build was configured without the cross build's bin";
    WriteFileBytes(root_.Join("setup.exe"), PseudoRandomBytes(3000, 1));
    MakeFolder(root_.Join("app"));
    MakeFolder(root_.Join("app/empty"));
    WriteFileBytes(root_.Join("app/a.txt"), CompressibleBytes(300000, 2));
    WriteFileBytes(root_.Join("app/noise.cab"), PseudoRandomBytes(200000, 3));
    WriteFileBytes(root_.Join("app/again.txt"), CompressibleBytes(300000, 2));
    package_ = root_.Join("KVPACK_" + root_.path().substr(root_.path().rfind('/') + 1) + ".exe");
  }

  RunResult Window(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = options;
    arguments.push_back(WinePath(bin_ + "/Lodkin.exe"));
    // The last path of a drop lands on top.
    arguments.push_back(WinePath(root_.Join("app")));
    arguments.push_back(WinePath(root_.Join("setup.exe")));
    RunSettings settings;
    settings.timeoutSeconds = 600;
    return RunUnderWine(bin_ + "/window_drop.exe", arguments, settings);
  }

  std::vector<char> ToolPackage(const std::vector<std::string>& compress) {
    RunSettings inRoot;
    inRoot.directory = root_.path();
    std::vector<std::string> arguments = {"pack", "--codepage", "1252", "--stub", bin_ + "/Lodkin.exe", "-o", "tool.exe"};
    arguments.insert(arguments.begin() + 1, compress.begin(), compress.end());
    arguments.push_back("setup.exe");
    arguments.push_back("app");
    const RunResult run = RunCli(arguments, inRoot);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<char> bytes = ReadFileBytes(root_.Join("tool.exe"));
    RemoveFile(root_.Join("tool.exe").c_str());
    return bytes;
  }

  std::string bin_;
  TempFolder root_;
  std::string package_;
};

TEST_F(WindowCompress, PackWritesTheToolsBytesCheckedAndUnchecked) {
  const struct {
    std::vector<std::string> window, tool;
  } cases[] = {{{}, {}}, {{"--compress"}, {"--compress=fast"}}};
  for (const auto& one : cases) {
    SCOPED_TRACE(one.window.empty() ? "unchecked" : "checked");
    const RunResult window = Window(one.window);
    ASSERT_EQ(window.exitStatus, 0) << window.out << window.err;
    EXPECT_EQ(OutputLines(window.out, "box:"), std::vector<std::string>{"success:packaging is completed "});
    EXPECT_EQ(OutputLines(window.out, "status:"), std::vector<std::string>{"Packaging is completed"});
    EXPECT_TRUE(ReadFileBytes(package_) == ToolPackage(one.tool)) << "the window's package differs";
    // A small pack may end before the first look: then only its last text is seen.
    for (const std::string& shown : OutputLines(window.out, "progress:")) {
      EXPECT_TRUE(IsProgress(shown) || shown == "Packaging is completed") << shown;
    }
    if (!one.window.empty()) {
      EXPECT_EQ(OutputLines(window.out, "input:"), std::vector<std::string>{"0"}) << window.out;
    }
  }
}

// 48 MiB in two files make two groups, long enough to see the window answer and count up.
TEST_F(WindowCompress, ALargePackKeepsTheWindowAnsweringAndClosingItLeavesNothing) {
  WriteFileBytes(root_.Join("app/big1.txt"), CompressibleBytes(24u << 20, 9));
  WriteFileBytes(root_.Join("app/big2.txt"), CompressibleBytes(24u << 20, 10));
  const RunResult packed = Window({"--compress"});
  ASSERT_EQ(packed.exitStatus, 0) << packed.out << packed.err;
  EXPECT_EQ(OutputLines(packed.out, "status:"), std::vector<std::string>{"Packaging is completed"});
  const std::vector<std::string> shown = OutputLines(packed.out, "progress:");
  ASSERT_GE(shown.size(), 3u) << packed.out;
  EXPECT_TRUE(IsProgress(shown[0])) << shown[0];
  EXPECT_TRUE(IsProgress(shown[shown.size() - 2])) << shown[shown.size() - 2];
  const std::vector<std::string> answered = OutputLines(packed.out, "answered:");
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_GE(std::stoi(answered[0]), 10) << packed.out;
  EXPECT_EQ(OutputLines(packed.out, "input:"), std::vector<std::string>{"0"});

  // Closed at its first progress text: the earlier package stays, nothing else is left.
  const std::vector<char> earlier = ReadFileBytes(package_);
  WriteFileBytes(root_.Join("app/big2.txt"), CompressibleBytes(24u << 20, 11));
  const std::vector<std::string> before = ListFolder(root_.path());
  const RunResult closed = Window({"--compress", "--close"});
  EXPECT_EQ(OutputLines(closed.out, "closed:"), std::vector<std::string>{"1"}) << closed.out << closed.err;
  EXPECT_TRUE(OutputLines(closed.out, "box:").empty()) << closed.out;
  EXPECT_EQ(ListFolder(root_.path()), before);
  EXPECT_TRUE(ReadFileBytes(package_) == earlier) << "the earlier package changed";
}

}  // namespace
