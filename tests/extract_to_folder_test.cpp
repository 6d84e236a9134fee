// "-e" run on real packages as a process of its own: the folders and bytes it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_package.h"
#include "support/test_process.h"

namespace {

TEST(ExtractToFolder, TwoRunsGiveInstallAndInstallOneEachComplete) {
  TempFolder folder;
  TempFolder scratch;
  std::string package = folder.Join("install.exe");
  std::vector<TestMember> members = {{"SETUP.EXE", PseudoRandomBytes(5000, 1)},
                                     {"empty.bin", {}},
                                     {"data.cab", PseudoRandomBytes(9000, 2)}};
  WriteTestPackage(package, LodkinExePath(), members, scratch.path());
  std::vector<char> module = ReadFileBytes(LodkinExePath());
  for (const char* name : {"install", "install(1)"}) {
    ProcessResult run = RunProgram(package, "-e");
    ASSERT_TRUE(run.finished);
    std::string out = folder.Join(name);
    EXPECT_EQ(module, ReadFileBytes(out + "\\Lodkin.exe")) << name;
    EXPECT_EQ((std::vector<std::string>{"SETUP.EXE", "data.cab", "empty.bin"}),
              ListFolder(out + "\\install"));
    for (const TestMember& member : members) {
      EXPECT_EQ(member.bytes, ReadFileBytes(out + "\\install\\" + member.name));
    }
  }
}

TEST(ExtractToFolder, PlainProgramCreatesNothing) {
  TempFolder folder;
  std::string plain = folder.Join("install.exe");
  WriteFileBytes(plain, ReadFileBytes(LodkinExePath()));
  ASSERT_TRUE(RunProgram(plain, "-e").finished);
  EXPECT_EQ(std::vector<std::string>{"install.exe"}, ListFolder(folder.path()));
}

}  // namespace
