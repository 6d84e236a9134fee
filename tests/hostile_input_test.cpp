// The real program tried the way an attacker or a careless operator would: links in the
// temporary folder, a temporary folder that is hidden, missing, too long or full, every
// folder name taken, device names in a package, long command lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/work_directory.h"
#include "support/host_system.h"
#include "support/run_support.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

TEST(HostileInput, CleanUpNeverEntersOrDeletesThroughALink) {
  TempFolder away;  // someone else's files, outside the temporary folder's work directories
  WriteFileText(away.Join("precious.txt"), "keep");
  const std::string temp = WineTempFolder();
  const std::string linkName = "KVLodkinLink" + Pid();
  const std::string mixedName = "KVLodkinMixed" + Pid();
  const std::string link = temp + "\\" + linkName;
  const std::string mixed = temp + "\\" + mixedName;
  auto removeBoth = [&] { return RemoveWithoutFollowing(mixed) && RemoveWithoutFollowing(link); };
  ASSERT_TRUE(removeBoth()) << "left by an earlier run of the same process id";
  ASSERT_TRUE(MakeHostSymlink(away.path(), link));
  ASSERT_TRUE(CreateDirectoryA(mixed.c_str(), nullptr));
  WriteFileText(mixed + "\\own.txt", "mine");
  ASSERT_TRUE(MakeHostSymlink(away.path(), mixed + "\\away"));
  ASSERT_TRUE(MakeHostSymlink(away.Join("precious.txt"), mixed + "\\precious-link.txt"));

  for (const std::string& name : {linkName, mixedName}) {
    const ProcessResult result = RunProgram(LodkinExePath(), "-d " + name, 30000, BuildBinFolder());
    ASSERT_TRUE(result.finished) << name;
    EXPECT_EQ(result.exitCode, 1u) << name << ": the directory was not removed";
    EXPECT_EQ(ListFolder(away.path()), std::vector<std::string>{"precious.txt"}) << name;
    EXPECT_EQ(ReadFileBytes(away.Join("precious.txt")), (std::vector<char>{'k', 'e', 'e', 'p'})) << name;
  }
  EXPECT_FALSE(FileExists(mixed + "\\own.txt")) << "the work directory's own file still goes";
  EXPECT_TRUE(DirectoryExists(mixed + "\\away"));
  EXPECT_TRUE(removeBoth());
}

TEST(HostileInput, AHiddenTemporaryFolderIsNeverScheduledForDeletion) {
  RunScene scene;
  const std::string hidden = scene.folder().Join("hidden-temp");
  ASSERT_TRUE(CreateDirectoryA(hidden.c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}, {"data.txt", {'d'}}});
  ScopedEnvironment tmp("TMP", hidden + "\\");
  ScopedEnvironment tempVariable("TEMP", hidden + "\\");

  const std::vector<std::string> before = PendingDeleteList();
  ASSERT_TRUE(RunProgram(package, "", 30000, BuildBinFolder()).finished);
  const std::vector<std::string> after = PendingDeleteList();
  ASSERT_EQ(scene.Records().size(), 1u);
  const std::string work = Lower(ParentOf(scene.Records()[0].at("self")));
  EXPECT_EQ(ParentOf(work), Lower(hidden));
  auto count = [](const std::vector<std::string>& list, const std::string& path) {
    return std::count(list.begin(), list.end(), path);
  };
  EXPECT_EQ(count(after, Lower(hidden)), count(before, Lower(hidden))) << "the temporary folder itself";
  for (const std::string& path : {work, work + "\\setup.exe", work + "\\data.txt"}) {
    EXPECT_EQ(count(after, path), count(before, path) + 1) << path;
  }
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// With no usable temporary folder nothing may land in the current directory, and the
// run says what it could not write.
TEST(HostileInput, WithoutAUsableTemporaryFolderNothingIsWrittenAnywhere) {
  RunScene scene;
  TempFolder current;
  WriteFileText(current.Join("KVLodkinVictim\\..\\marker.txt"), "here");
  CreateDirectoryA(current.Join("KVLodkinVictim").c_str(), nullptr);
  WriteFileText(current.Join("KVLodkinVictim\\file.txt"), "victim");
  const std::vector<std::string> currentBefore = ListFolder(current.path());
  const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}});
  const std::string missing = scene.folder().Join("absent");

  struct Case {
    std::string temp;
    std::string boxStart;  // the box's text up to the code
    DWORD code;
  };
  const Case cases[] = {
      {"C:\\" + std::string(300, 't') + "\\", "Error: [%TEMP%] can not be written.[", ERROR_FILENAME_EXCED_RANGE},
      {missing + "\\", "Error: [" + missing + "\\KVLodkin0", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    ScopedEnvironment tmp("TMP", c.temp);
    ScopedEnvironment tempVariable("TEMP", c.temp);
    std::vector<std::string> boxes;
    const ProcessResult run = RunClosingWindows(package, "", 30000, current.path(), &boxes);
    ASSERT_TRUE(run.finished) << c.temp;
    EXPECT_EQ(run.exitCode, c.code) << c.temp;
    ASSERT_EQ(boxes.size(), 1u) << c.temp;
    EXPECT_TRUE(StartsWith(boxes[0], c.boxStart)) << boxes[0];
    EXPECT_TRUE(StartsWith(boxes[0].substr(boxes[0].rfind('[')), "[" + std::to_string(c.code) + "]")) << boxes[0];
    EXPECT_TRUE(scene.Records().empty()) << c.temp;

    const ProcessResult clean = RunProgram(LodkinExePath(), "-d KVLodkinVictim", 30000, current.path());
    ASSERT_TRUE(clean.finished);
    EXPECT_EQ(clean.exitCode, 1u) << c.temp;
    EXPECT_EQ(ListFolder(current.path()), currentBefore) << c.temp;
    EXPECT_TRUE(FileExists(current.Join("KVLodkinVictim\\file.txt"))) << c.temp;
  }
  EXPECT_FALSE(DirectoryExists(missing));
}

TEST(HostileInput, ExtractNeverWritesIntoAFolderItDidNotMake) {
  TempFolder folder;
  TempFolder scratch;
  const std::string package = folder.Join("install.exe");
  WriteTestPackage(package, LodkinExePath(), {{"SETUP.EXE", PseudoRandomBytes(100, 3)}}, scratch.path());
  CreateDirectoryA(folder.Join("install").c_str(), nullptr);
  for (int k = 1; k <= 99; ++k) {
    CreateDirectoryA(folder.Join("install(" + std::to_string(k) + ")").c_str(), nullptr);
  }
  WriteFileText(folder.Join("install(99)\\Lodkin.exe"), "planted");
  const std::vector<std::string> before = ListFolder(folder.path());
  ASSERT_EQ(before.size(), 101u);

  const ProcessResult result = RunProgram(package, "-e", 30000, BuildBinFolder());
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(ListFolder(folder.path()), before);
  EXPECT_EQ(ReadFileBytes(folder.Join("install(99)\\Lodkin.exe")),
            (std::vector<char>{'p', 'l', 'a', 'n', 't', 'e', 'd'}));
  EXPECT_EQ(ListFolder(folder.Join("install(99)")), std::vector<std::string>{"Lodkin.exe"});
  EXPECT_TRUE(ListFolder(folder.Join("install")).empty());
}

// Windows opens such names as devices wherever they lie ("lpt1.txt" is the printer
// port): the readers refuse the package whole, so nothing is written or started.
TEST(HostileInput, PackagesWithDeviceOrForbiddenNamesAreDamagedPackages) {
  const char* const names[] = {"PRN", "lpt1.txt", "NUL", "nul.txt", "Con.log", "COM9.tar.gz", "aux .x",
                               "a<b", "a|b", "why?", "star*", "quote\"d", "tab\tname"};
  for (const char* name : names) {
    RunScene scene;
    const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}, {name, {'x'}}});
    const ProcessResult extract = RunProgram(package, "-e", 30000, BuildBinFolder());
    ASSERT_TRUE(extract.finished) << name;
    EXPECT_EQ(extract.exitCode, 1u) << name;
    EXPECT_EQ(ListFolder(scene.folder().path()), std::vector<std::string>{"pack.exe"}) << name;
  }
  for (const char* name : {"PRN", "lpt1.txt", "nul.txt"}) {
    RunScene scene;
    const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}, {name, {'x'}}});
    std::vector<std::string> boxes;
    const ProcessResult run = RunClosingWindows(package, "", 30000, BuildBinFolder(), &boxes);
    ASSERT_TRUE(run.finished) << name;
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_FILE_CORRUPT)) << name;
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: [" + package + "] is damaged."}) << name;
    EXPECT_TRUE(scene.Records().empty()) << name << ": setup started without its files";
    EXPECT_TRUE(scene.NewTempWorkDirectories().empty()) << name;
  }
}

TEST(HostileInput, LongCommandLinesReachTheirProgramsWhole) {
  RunScene scene;
  const std::string package =
      scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}, {"tool.exe", StandInBytes()}});
  std::string properties = "-s";
  for (int i = 0; properties.size() < 3000; ++i) {
    properties += " PROP" + std::to_string(i) + "=value" + std::to_string(i);
  }
  std::string arguments;
  for (int i = 0; arguments.size() < 2000; ++i) arguments += "/arg" + std::to_string(i) + " ";
  arguments += "end";

  ASSERT_TRUE(RunProgram(package, properties, 30000, BuildBinFolder()).finished);
  ASSERT_TRUE(RunProgram(package, "-run tool.exe " + arguments, 30000, BuildBinFolder()).finished);
  const std::vector<StandInRecord> records = scene.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].at("tail"), properties);
  EXPECT_EQ(Lower(NameOf(records[1].at("self"))), "tool.exe");
  EXPECT_EQ(records[1].at("tail"), arguments);
  EXPECT_EQ(Lower(NameOf(records[2].at("self"))), "setup.exe");
}

TEST(HostileInput, RunStartsOnlyAMemberOfThePackage) {
  RunScene scene;
  const std::string package = scene.Package("pack.exe", {{"SETUP.EXE", StandInBytes()}});
  // Where "..\" from a work directory in the temporary folder leads.
  const std::string outside = WineTempFolder() + "\\outside" + Pid() + ".exe";
  WriteFileBytes(outside, StandInBytes());
  const ProcessResult result = RunProgram(package, "-run ..\\outside" + Pid() + ".exe", 30000, BuildBinFolder());
  DeleteFileA(outside.c_str());
  ASSERT_TRUE(result.finished);
  const std::vector<StandInRecord> records = scene.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), "setup.exe");
}

// A real small disk: members that do not fit are refused before the first byte is
// written, and the run takes away the work directory it made before it reports.
TEST(HostileInput, AFullDiskLeavesNothingBehindAndIsReported) {
  SmallDisk disk('T', 1536);
  if (!disk.mounted()) GTEST_SKIP() << "no small disk: " << disk.failure();
  RunScene scene;
  const std::string package = scene.Package(
      "pack.exe", {{"SETUP.EXE", StandInBytes()}, {"big.bin", PseudoRandomBytes(2 << 20, 5)}, {"after.txt", {'a'}}});
  {
    ScopedEnvironment tmp("TMP", disk.root());
    ScopedEnvironment tempVariable("TEMP", disk.root());
    std::vector<std::string> boxes;
    const ProcessResult run = RunClosingWindows(package, "", 30000, BuildBinFolder(), &boxes);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_DISK_FULL));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(StartsWith(boxes[0], "Error: [" + disk.root() + "KVLodkin")) << boxes[0];
    const std::string end = "] can not be written.[112]";
    EXPECT_EQ(boxes[0].substr(boxes[0].size() - std::min(boxes[0].size(), end.size())), end) << boxes[0];
    EXPECT_EQ(boxes[0].find('\\', disk.root().size() + 8), std::string::npos) << "the work directory is named";
    EXPECT_EQ(ListFolder(disk.root()), std::vector<std::string>{"Lodkin.log"}) << "the work directory is gone";
    DeleteFileA((disk.root() + "Lodkin.log").c_str());
    EXPECT_TRUE(scene.Records().empty());
  }

  // "-e" of a package that lies on the disk: its copy does not fit beside it.
  const std::string onDisk = disk.root() + "pkg.exe";
  TempFolder scratch;
  WriteTestPackage(onDisk, LodkinExePath(), {{"SETUP.EXE", PseudoRandomBytes(900 << 10, 6)}}, scratch.path());
  const ProcessResult extract = RunProgram(onDisk, "-e", 30000, BuildBinFolder());
  ASSERT_TRUE(extract.finished);
  EXPECT_EQ(extract.exitCode, 1u);
  EXPECT_EQ(ListFolder(disk.root()), std::vector<std::string>{"pkg.exe"});
}

TEST(PackagePath, APathThatDoesNotFitItsBufferIsRefused) {
  char own[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, own, sizeof(own));
  ASSERT_GT(length, 10u);
  char path[MAX_PATH];
  const struct {
    DWORD size;
    int fits;
  } cases[] = {{length + 1, 1}, {MAX_PATH, 1}, {length, 0}, {length - 5, 0}, {1, 0}};
  for (const auto& c : cases) {
    memset(path, 'X', sizeof(path));
    EXPECT_EQ(GetModulePath(path, c.size), c.fits) << c.size;
    EXPECT_STREQ(path, c.fits ? own : "") << c.size << ": a cut path is never handed on";
  }
}

}  // namespace
