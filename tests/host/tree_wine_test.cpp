// A tree package through the real Lodkin.exe under Wine, before the run learns to write
// trees: the run stops with a write failure naming the first file in a folder, starts
// nothing and leaves no work directory; "-e" fails and leaves nothing either. Nothing is
// ever written outside the folder it writes into.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "host/support/host_files.h"
#include "host/support/tool_process.h"

namespace {

int KVLodkinFoldersIn(const std::string& folder) {
  int count = 0;
  for (const std::string& name : FolderEntries(folder)) count += name.rfind("KVLodkin", 0) == 0;
  return count;
}

std::string TempFolderOfPrefix() {
  const char* prefix = getenv("WINEPREFIX");
  const std::string users = std::string(prefix != nullptr ? prefix : WindowsBinFolder() + "/../wineprefix") +
                            "/drive_c/users";
  for (const std::string& user : FolderEntries(users)) {
    if (Exists(users + "/" + user + "/Temp")) return users + "/" + user + "/Temp";
  }
  return std::string();
}

TEST(TreeUnderWine, TheRunAndExtractStopCleanlyOnATree) {
  const std::string bin = WindowsBinFolder();
  if (bin.empty()) GTEST_SKIP() << "the host build was configured without the cross build's bin";
  HostFolder root;
  MakeFolder(root.Join("app"));
  MakeFolder(root.Join("app/lang"));
  MakeFolder(root.Join("app/empty"));
  WriteBytes(root.Join("setup.exe"), ReadBytes(bin + "/stand_in_setup.exe"));
  WriteBytes(root.Join("app/lang/en.dll"), PseudoRandomBytes(5000, 1));
  RunSettings settings;
  settings.directory = root.path();
  RunResult pack = RunCli({"pack", "-o", "pkg.exe", "setup.exe", "app"}, settings);
  ASSERT_EQ(pack.exitStatus, 0) << pack.err;
  chmod(root.Join("pkg.exe").c_str(), 0755);

  settings.environment.push_back({"LODKIN_STAND_IN_RECORD", WinePath(root.Join("record.txt"))});
  settings.timeoutSeconds = 90;
  const std::string temp = TempFolderOfPrefix();
  const int workBefore = temp.empty() ? 0 : KVLodkinFoldersIn(temp);

  RunResult run = RunUnderWine(bin + "/run_closing_boxes.exe", {WinePath(root.Join("pkg.exe"))}, settings);
  std::string out;
  for (char c : run.out) {
    if (c != '\r') out += c;
  }
  // "app\empty\" comes first: a folder entry cannot be written as a file.
  EXPECT_NE(out.find("box=Error: ["), std::string::npos) << out;
  EXPECT_NE(out.find("\\app\\empty\\] can not be written."), std::string::npos) << out;
  EXPECT_EQ(out.find("exit=0\n"), std::string::npos) << out;
  EXPECT_FALSE(Exists(root.Join("record.txt"))) << "the setup program was started";
  if (!temp.empty()) {
    EXPECT_EQ(KVLodkinFoldersIn(temp), workBefore) << "a work directory was left";
  }

  run = RunUnderWine(bin + "/run_closing_boxes.exe", {WinePath(root.Join("pkg.exe")), "-e"}, settings);
  EXPECT_NE(run.out.find("exit=1"), std::string::npos) << run.out;
  EXPECT_EQ(FolderEntries(root.path()), (std::vector<std::string>{"app", "pkg.exe", "setup.exe"}));
}

}  // namespace
