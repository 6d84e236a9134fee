// "-e" run on real packages as a process of its own: the folders and bytes it leaves.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/byte_poke.h"
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

// Deployment tools often start a package by its path without quotes; a folder name with
// bytes from 0x80 up (a Korean or accented name) is still part of that path.
TEST(ExtractToFolder, TheProgramNameEndsWhereWindowsEndsIt) {
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"\"%s\" -e", "quoted"},
      {"%s -e", "unquoted"},
      {"%s\t  -e", "unquoted, a tab and blanks"},
  };
  TempFolder folder;
  TempFolder scratch;
  const std::string inner = folder.Join("caf\xE9 \xC0\xFF");
  ASSERT_TRUE(CreateDirectoryA(inner.c_str(), nullptr));
  const std::string package = inner + "\\install.exe";
  WriteTestPackage(package, LodkinExePath(), {{"SETUP.EXE", PseudoRandomBytes(3000, 9)}}, scratch.path());
  const std::string unquoted = folder.Join("caf\xE9\xC0\\install.exe");
  ASSERT_TRUE(CreateDirectoryA(folder.Join("caf\xE9\xC0").c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(package.c_str(), unquoted.c_str(), TRUE));
  const char* folders[] = {"install", "install(1)", "install(2)"};
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string path = k == 0 ? package : unquoted;
    char line[600];
    snprintf(line, sizeof(line), lines[k].first.c_str(), path.c_str());
    ASSERT_TRUE(RunCommandLine(path, line).finished) << lines[k].second;
    const std::string out = (k == 0 ? inner : folder.Join("caf\xE9\xC0")) + "\\" + folders[k == 0 ? 0 : k - 1];
    EXPECT_EQ(PseudoRandomBytes(3000, 9), ReadFileBytes(out + "\\install\\SETUP.EXE")) << lines[k].second;
  }
}

TEST(ExtractToFolder, PlainProgramCreatesNothing) {
  TempFolder folder;
  std::string plain = folder.Join("install.exe");
  WriteFileBytes(plain, ReadFileBytes(LodkinExePath()));
  ASSERT_TRUE(RunProgram(plain, "-e").finished);
  EXPECT_EQ(std::vector<std::string>{"install.exe"}, ListFolder(folder.path()));
}

TEST(ExtractToFolder, SlackCaseTwinsAndANestedPackage) {
  TempFolder folder;
  TempFolder scratch;
  // A package made from a package: its "Lodkin.exe" is the whole inner package.
  std::string inner = scratch.Join("inner.exe");
  std::vector<char> innerBytes =
      WriteTestPackage(inner, LodkinExePath(), {{"old.txt", PseudoRandomBytes(300, 3)}}, scratch.path());
  std::string package = folder.Join("pkg.exe");
  std::vector<char> bytes = WriteTestPackage(
      package, inner, {{"Readme.TXT", PseudoRandomBytes(100, 4)}, {"readme.txt", PseudoRandomBytes(50, 5)}},
      scratch.path());
  // Slack after the trailer is tolerated.
  bytes.insert(bytes.end(), 127, 'S');
  WriteFileBytes(package, bytes);

  // Names that differ only in letter case would be one file: the package is refused and
  // nothing is written.
  const ProcessResult refused = RunProgram(package, "-e");
  ASSERT_TRUE(refused.finished);
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"pkg.exe"});

  bytes = WriteTestPackage(package, inner,
                           {{"Readme.TXT", PseudoRandomBytes(100, 4)}, {"notes.txt", PseudoRandomBytes(50, 5)}},
                           scratch.path());
  bytes.insert(bytes.end(), 127, 'S');
  WriteFileBytes(package, bytes);
  ASSERT_TRUE(RunProgram(package, "-e").finished);
  EXPECT_EQ(innerBytes, ReadFileBytes(folder.Join("pkg\\Lodkin.exe")));
  EXPECT_EQ((std::vector<std::string>{"Readme.TXT", "notes.txt"}), ListFolder(folder.Join("pkg\\pkg")));
  EXPECT_EQ(PseudoRandomBytes(50, 5), ReadFileBytes(folder.Join("pkg\\pkg\\notes.txt")));
}

TEST(ExtractToFolder, DotInTheFolderNameStaysInsideThatFolder) {
  TempFolder folder;
  TempFolder scratch;
  CreateDirectoryA(folder.Join("my.dir").c_str(), nullptr);
  // A package file without an extension, in a folder whose name has a dot.
  std::string package = folder.Join("my.dir\\pkg");
  WriteTestPackage(package, LodkinExePath(), {{"SETUP.EXE", PseudoRandomBytes(10, 6)}}, scratch.path());
  ASSERT_TRUE(RunProgram(package, "-e").finished);
  EXPECT_EQ(std::vector<std::string>{"my.dir"}, ListFolder(folder.path())) << "nothing beside my.dir";
  // "my.dir\\pkg" is the package itself, so the first free name is "pkg(1)".
  EXPECT_EQ((std::vector<std::string>{"pkg", "pkg(1)"}), ListFolder(folder.Join("my.dir")));
  EXPECT_EQ(PseudoRandomBytes(10, 6), ReadFileBytes(folder.Join("my.dir\\pkg(1)\\pkg\\SETUP.EXE")));
}

TEST(ExtractToFolder, MalformedPackageCreatesNothing) {
  TempFolder folder;
  TempFolder scratch;
  std::string package = folder.Join("bad.exe");
  std::vector<char> bytes =
      WriteTestPackage(package, LodkinExePath(), {{"SETUP.EXE", PseudoRandomBytes(10, 7)}}, scratch.path());
  // A name that would leave the extraction folder.
  const size_t name = bytes.size() - 20 - 268;
  PutEntryName(bytes, name, "..\\evil.exe");
  WriteFileBytes(package, bytes);
  ASSERT_TRUE(RunProgram(package, "-e").finished);
  EXPECT_EQ(std::vector<std::string>{"bad.exe"}, ListFolder(folder.path()));
  EXPECT_FALSE(FileExists(folder.Join("evil.exe")));
}

}  // namespace
