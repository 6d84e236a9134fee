// The process exit code of every mode, as a deployment system that starts a package
// silently sees it: the real Lodkin.exe, the stand-in setup program exiting with the
// code it is given.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/host_system.h"
#include "support/run_support.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

const char kFirstProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{2C95E0A7-61F3-4D8B-9A4E-0B7C3D12F5E9}";

struct Env {
  const char* name;
  const char* value;
};

struct RunCase {
  const char* what;
  std::vector<const char*> standIns;  // members that are copies of the stand-in
  std::string arguments;
  std::vector<Env> environment;
  DWORD expected;
  std::vector<std::string> started;  // lower-cased names, in start order
};

TEST(ExitCode, APackageRunEndsWithItsSetupProgramsCode) {
  const RunCase cases[] = {
      {"failed setup", {"SETUP.EXE"}, "", {{"LODKIN_STAND_IN_EXIT_CODE", "1603"}}, 1603, {"setup.exe"}},
      {"silent, reboot required", {"SETUP.EXE"}, "-s /quiet", {{"LODKIN_STAND_IN_EXIT_CODE", "3010"}},
       3010, {"setup.exe"}},
      {"success", {"setup.exe"}, "", {}, 0, {"setup.exe"}},
      {"KVSET.EXE's code", {"kvset.exe"}, "-s /qn", {{"LODKIN_STAND_IN_EXIT_CODE", "1641"}}, 1641,
       {"kvset.exe"}},
      {"the -run program's code is not the result", {"SETUP.EXE", "tool.exe"}, "-run tool.exe /x",
       {{"LODKIN_STAND_IN_EXIT_CODE_TOOL", "5"}}, 0, {"tool.exe", "setup.exe"}},
      {"nor does it hide the setup program's", {"SETUP.EXE", "tool.exe"}, "-run tool.exe",
       {{"LODKIN_STAND_IN_EXIT_CODE_SETUP", "1603"}}, 1603, {"tool.exe", "setup.exe"}},
  };
  for (const RunCase& c : cases) {
    RunScene scene;
    std::vector<TestMember> members;
    for (const char* name : c.standIns) members.push_back({name, StandInBytes()});
    const std::string package = scene.Package("pack.exe", members);
    std::vector<std::unique_ptr<ScopedEnvironment>> environment;
    for (const Env& e : c.environment) environment.emplace_back(new ScopedEnvironment(e.name, e.value));

    const ProcessResult result = RunProgram(package, c.arguments, 30000, BuildBinFolder());
    ASSERT_TRUE(result.finished) << c.what;
    EXPECT_EQ(result.exitCode, c.expected) << c.what;
    std::vector<std::string> started;
    for (const StandInRecord& record : scene.Records()) started.push_back(Lower(NameOf(record.at("self"))));
    EXPECT_EQ(started, c.started) << c.what;
  }
}

TEST(ExitCode, KvsetupOfAnInstalledProductEndsTheRunWithItsCode) {
  RunScene scene;
  const std::string package =
      scene.Package("pack.exe", {{"KVSetup.exe", StandInBytes()}, {"SETUP.EXE", StandInBytes()}});
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFirstProductKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const char value[] = "C:\\somewhere\\uninstall.exe";
  RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
  RegCloseKey(key);
  ScopedEnvironment code("LODKIN_STAND_IN_EXIT_CODE", "1603");
  const ProcessResult result = RunProgram(package, "", 30000, BuildBinFolder());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFirstProductKey);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 1603u);
  ASSERT_EQ(scene.Records().size(), 1u);
  EXPECT_EQ(Lower(NameOf(scene.Records()[0].at("self"))), "kvsetup.exe");
  // Beside the package, not in the temporary folder.
  for (const std::string& name : ListFolder(scene.folder().path())) {
    if (name.compare(0, 8, "KVLodkin") == 0) RemoveTree(scene.folder().Join(name));
  }
}

// A SETUP.EXE that is no program: the shell cannot start it (and says so in a box of its
// own), and the run must not read as a success. The packaging window does not open, as
// a setup program's start was attempted.
TEST(ExitCode, ASetupProgramThatCannotStartEndsTheRunWithASystemErrorCode) {
  RunScene scene;
  const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", PseudoRandomBytes(3000, 9)}});
  const ProcessResult result = RunClosingWindows(package, "", 30000, BuildBinFolder());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_BAD_FORMAT));
  EXPECT_TRUE(scene.Records().empty());
}

TEST(ExitCode, ARunThatStartedNothingKeepsItsCodeAfterTheWindowCloses) {
  RunScene scene;
  const std::string missingSetup = scene.Package("pack.exe", {{"readme.txt", {'h', 'i'}}});
  const std::string plain = scene.folder().Join("plain.exe");
  WriteFileBytes(plain, ReadFileBytes(LodkinExePath()));
  struct Case {
    std::string program;
    DWORD expected;
    size_t boxes;
  };
  const Case cases[] = {{missingSetup, ERROR_FILE_NOT_FOUND, 1}, {plain, 0, 0}};
  for (const Case& c : cases) {
    std::vector<std::string> boxes;
    const ProcessResult result = RunClosingWindows(c.program, "", 30000, BuildBinFolder(), &boxes);
    ASSERT_TRUE(result.finished) << c.program;
    EXPECT_EQ(result.exitCode, c.expected) << c.program;
    ASSERT_EQ(boxes.size(), c.boxes) << c.program;
    if (c.boxes > 0) {
      EXPECT_NE(boxes[0].find("is Not Found.[" + std::to_string(c.expected) + "]"), std::string::npos)
          << "the box and the exit code tell the same code";
    }
  }
}

TEST(ExitCode, MaintenanceModesEndWithZeroOnlyWhenTheirWorkIsDone) {
  TempFolder folder;
  TempFolder scratch;
  const std::vector<TestMember> members = {{"SETUP.EXE", PseudoRandomBytes(500, 1)}, {"a.txt", {}}};
  const std::string package = folder.Join("install.exe");
  WriteTestPackage(package, LodkinExePath(), members, scratch.path());
  const std::string plain = folder.Join("plain.exe");
  WriteFileBytes(plain, ReadFileBytes(LodkinExePath()));
  // Its base name is the bare program's own name, so the member sub-folder is already
  // taken, by Lodkin.exe, when "-e" comes to make it.
  const std::string clash = folder.Join("Lodkin.exe.exe");
  WriteTestPackage(clash, LodkinExePath(), members, scratch.path());
  const std::string workName = "KVLodkinExitCode" + std::to_string(GetCurrentProcessId());
  const std::string work = WineTempFolder() + "\\" + workName;
  CreateDirectoryA(work.c_str(), nullptr);
  WriteFileText(work + "\\SETUP.EXE", "x");

  struct Case {
    std::string program;
    std::string arguments;
    DWORD expected;
  };
  const Case cases[] = {
      {package, "-e", 0},
      {plain, "-e", 1},
      {clash, "-e", 1},
      {LodkinExePath(), "-d " + workName, 0},
      {LodkinExePath(), "-d " + workName, 1},  // gone already
      {LodkinExePath(), "-d ..", 1},
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunProgram(c.program, c.arguments, 30000, BuildBinFolder());
    ASSERT_TRUE(result.finished) << c.program << " " << c.arguments;
    EXPECT_EQ(result.exitCode, c.expected) << c.program << " " << c.arguments;
  }
  EXPECT_EQ(ReadFileBytes(folder.Join("install\\install\\SETUP.EXE")), members[0].bytes);
  EXPECT_FALSE(DirectoryExists(work));
  // The run that could not make its member sub-folder leaves nothing behind.
  EXPECT_FALSE(DirectoryExists(folder.Join("Lodkin.exe")));
}

}  // namespace
