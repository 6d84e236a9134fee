// Runs that nobody watches: the real Lodkin.exe started with "-s /quiet" ends every failure
// by itself, with the exit code of the same run started by hand, shows no window at any
// moment, leaves nothing in the temporary folder but one line of Lodkin.log; started
// without "-s" the same packages still show their box and the packaging window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/disk_space.h"
#include "package/own_package.h"
#include "package/silent_run.h"
#include "support/byte_poke.h"
#include "support/host_system.h"
#include "support/run_support.h"
#include "support/window_closer.h"
#include "support/window_watch.h"

namespace {

const unsigned kRunLimitMs = 20000;

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}
bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Damage done to a written package, in place.
void FlipMemberByte(const std::string& package, int member) {
  PackageReader reader;
  ASSERT_EQ(reader.Open(package.c_str()), 1);
  const uint32_t at = reader.entry(member).offset + reader.entry(member).size / 2;
  reader.file().Close();
  std::vector<char> bytes = ReadFileBytes(package);
  bytes[at] ^= 0x20;
  WriteFileBytes(package, bytes);
}
// Entry 0's size reaching far past the members: the reader refuses the directory.
void BreakDirectory(const std::string& package) {
  std::vector<char> bytes = ReadFileBytes(package);
  const size_t count = GetU32(bytes, bytes.size() - 4);
  PutU32(bytes, bytes.size() - 20 - 268 * count + 264, 0x7FFFFFF0u);
  WriteFileBytes(package, bytes);
}

struct FailureCase {
  const char* what;
  std::vector<TestMember> members;
  std::function<void(const std::string&)> damage;  // null: the package as written
  bool smallTemp;                                   // TEMP on a 2 MiB disk
  DWORD code;
  // The text of the box and the log line, as its start and end; {temp} and {package}
  // stand for the run's temporary folder and the package's path.
  std::string textStart;
  std::string textEnd;
  bool ownBox;  // false: the run has no box of its own (the shell may show one)
};

std::string Fill(std::string text, const std::string& temp, const std::string& package) {
  for (const auto& field : {std::make_pair(std::string("{temp}"), temp),
                            std::make_pair(std::string("{package}"), package)}) {
    const size_t at = text.find(field.first);
    if (at != std::string::npos) text.replace(at, field.first.size(), field.second);
  }
  return text;
}

// The one line of Lodkin.log: local time, package, exit code, the text. Returns the text.
std::string OneLogLine(const std::string& temp, const std::string& package, DWORD code, const std::string& what) {
  const std::vector<std::string> lines = ReadCrLfLines(temp + "\\Lodkin.log");
  EXPECT_EQ(lines.size(), 1u) << what;
  if (lines.empty()) return std::string();
  const std::vector<std::string> fields = SplitTabs(lines[0]);
  EXPECT_EQ(fields.size(), 4u) << lines[0];
  if (fields.size() != 4) return std::string();
  EXPECT_EQ(fields[0].size(), strlen("2026-03-07 09:05:01")) << fields[0];
  EXPECT_EQ(fields[0][4], '-') << fields[0];
  EXPECT_EQ(fields[1], package) << what;
  EXPECT_EQ(fields[2], std::to_string(code)) << what;
  return fields[3];
}

class SilentRunScene : public ::testing::Test {
 protected:
  // The folder that the run takes as its temporary folder, fresh for every run.
  struct RunTemp {
    std::unique_ptr<TempFolder> folder;
    std::string path;
  };
  RunTemp FreshTemp(bool small) {
    RunTemp temp;
    if (small) {
      for (const std::string& name : ListFolder(disk_->root())) {
        const std::string path = disk_->root() + name;
        if (DirectoryExists(path)) RemoveTree(path);
        DeleteFileA(path.c_str());
      }
      temp.path = disk_->root().substr(0, 2);
    } else {
      temp.folder.reset(new TempFolder());
      temp.path = temp.folder->path();
    }
    return temp;
  }

  void RunCase(const FailureCase& c, bool silent) {
    const std::string what = std::string(c.what) + (silent ? ", silent" : ", interactive");
    const std::string package = scene_.Package("pack.exe", c.members);
    if (c.damage) c.damage(package);
    const RunTemp temp = FreshTemp(c.smallTemp);
    ScopedEnvironment tmp("TMP", temp.path + "\\");
    ScopedEnvironment tempVariable("TEMP", temp.path + "\\");
    WindowCloser closer;  // only boxes and windows of an interactive run are there to close
    if (!silent) closer.Start();
    const WatchedRun run = RunWatchingWindows(package, silent ? "-s /quiet" : "", kRunLimitMs, BuildBinFolder());
    if (!silent) closer.Finish();

    ASSERT_TRUE(run.result.finished) << what << ": still running after " << kRunLimitMs << " ms";
    EXPECT_EQ(run.result.exitCode, c.code) << what;
    const std::string logged = OneLogLine(temp.path, package, c.code, what);
    EXPECT_TRUE(StartsWith(logged, Fill(c.textStart, temp.path, package)) &&
                EndsWith(logged, Fill(c.textEnd, temp.path, package)))
        << what << ": " << logged;
    EXPECT_EQ(ListFolder(temp.path), std::vector<std::string>{"Lodkin.log"}) << what << ": nothing else stays";
    EXPECT_TRUE(scene_.Records().empty()) << what << ": no setup program ran";

    bool windowOpened = false;
    for (const SeenWindow& window : run.windows) windowOpened |= window.title == "Lodkin" && window.visible;
    if (silent) {
      for (const SeenWindow& window : run.windows) {
        ADD_FAILURE() << what << ": a window of class " << window.className << " \"" << window.title << "\""
                      << (window.visible ? " (shown)" : " (hidden)");
      }
      return;
    }
    if (c.ownBox) EXPECT_EQ(closer.boxTexts, std::vector<std::string>{logged}) << what;
    EXPECT_EQ(windowOpened, c.ownBox) << what << ": the packaging window follows the run's own box";
  }

  void SetUp() override { disk_.reset(new SmallDisk('U', 2048)); }
  void TearDown() override { disk_.reset(); }

  std::unique_ptr<SmallDisk> disk_;
  RunScene scene_;
};

// Every way a run can fail, each started silently and by hand. The full disk needs a
// small volume for the temporary folder, which not every machine can mount.
std::vector<FailureCase> FailureCases() {
  const std::vector<char> standIn = StandInBytes();
  return {
      {"no setup program", {{"readme.txt", {'h', 'i'}}}, nullptr, false, ERROR_FILE_NOT_FOUND,
       "Error: [{temp}\\KVLodkin", "\\KVSET.EXE] is Not Found.[2]", true},
      {"a damaged member", {{"SETUP.EXE", standIn}, {"data.cab", PseudoRandomBytes(20000, 3)}},
       [](const std::string& p) { FlipMemberByte(p, 1); }, false, ERROR_FILE_CORRUPT,
       "Error: [data.cab] is damaged.", "", true},
      {"a damaged directory", {{"SETUP.EXE", standIn}, {"data.cab", PseudoRandomBytes(2000, 4)}},
       BreakDirectory, false, ERROR_FILE_CORRUPT, "Error: [{package}] is damaged.", "", true},
      {"members larger than the free space", {{"SETUP.EXE", standIn}, {"big.bin", PseudoRandomBytes(3 << 20, 5)}},
       nullptr, true, ERROR_DISK_FULL, "Error: [U:\\KVLodkin", "] can not be written.[112]", true},
      {"a member whose path passes 259 characters", {{"SETUP.EXE", standIn}, {std::string(243, 'n'), {'x'}}},
       nullptr, false, ERROR_FILENAME_EXCED_RANGE, "Error: [{temp}\\KVLodkin",
       "\\" + std::string(243, 'n') + "] can not be written.[206]", true},
      {"names equal but for letter case", {{"SETUP.EXE", standIn}, {"setup.exe", standIn}}, nullptr, false,
       ERROR_FILE_CORRUPT, "Error: [{package}] is damaged.", "", true},
      {"a package cut short", {{"SETUP.EXE", standIn}, {"data.cab", PseudoRandomBytes(5000, 6)}},
       [](const std::string& p) {
         std::vector<char> bytes = ReadFileBytes(p);
         bytes.resize(bytes.size() - 300);
         WriteFileBytes(p, bytes);
       },
       false, ERROR_FILE_CORRUPT, "Error: [{package}] is damaged.", "", true},
      {"a setup program that cannot start", {{"SETUP.EXE", PseudoRandomBytes(3000, 9)}}, nullptr, false,
       ERROR_BAD_FORMAT, "Error: [{temp}\\KVLodkin", "\\SETUP.EXE] can not be started.[11]", false},
  };
}

TEST_F(SilentRunScene, EveryFailureEndsByItselfWithTheInteractiveExitCode) {
  for (const FailureCase& c : FailureCases()) {
    if (c.smallTemp) continue;  // the next test
    RunCase(c, true);
    RunCase(c, false);
  }
}

TEST_F(SilentRunScene, AFullTemporaryDiskEndsByItselfWithTheInteractiveExitCode) {
  if (!disk_->mounted()) GTEST_SKIP() << "no small disk: " << disk_->failure();
  for (const FailureCase& c : FailureCases()) {
    if (!c.smallTemp) continue;
    RunCase(c, true);
    RunCase(c, false);
  }
}

// The error mode a silent run sets before anything else: no system box for a crash, a
// critical error or a file that cannot be opened. A run by hand (the test's station is
// visible) leaves the mode as it found it.
TEST(SilentRunDecisions, ASilentRunShowsNoSystemBox) {
  const UINT silentMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
  const struct {
    int silentOption;
    UINT before;
    UINT after;
  } cases[] = {{1, 0, silentMode}, {1, SEM_FAILCRITICALERRORS, silentMode}, {0, 0, 0},
               {0, SEM_NOOPENFILEERRORBOX, SEM_NOOPENFILEERRORBOX}};
  const UINT original = SetErrorMode(0);
  for (const auto& c : cases) {
    SetErrorMode(c.before);
    QuietSystemBoxesWhenSilent(c.silentOption);
    const UINT mode = SetErrorMode(0);
    EXPECT_EQ(mode, c.after) << c.silentOption << " " << c.before;
  }
  SetErrorMode(original);
}

// The decisions that the runs above take, on the cases that a process cannot be made to
// meet under Wine: a module path longer than the buffer, a volume whose space is unknown.
TEST(SilentRunDecisions, OwnPackageAndFreeSpace) {
  struct Case {
    DWORD length;
    int opened;
    PackageStatus status;
    OwnPackageState expected;
  };
  const Case cases[] = {
      {40, 1, kPackageOk, kOwnPackageReady},
      {40, 0, kPackageNoTrailer, kOwnPlainProgram},
      {40, 0, kPackageCutShort, kOwnPackageDamaged},
      {40, 0, kPackageEqualNames, kOwnPackageDamaged},
      {40, 0, kPackageCannotOpen, kOwnPlainProgram},
      {40, 0, kPackageMemberOutside, kOwnPackageDamaged},
      {40, 0, kPackageUnsafeName, kOwnPackageDamaged},
      {40, 0, kPackageNegativeCount, kOwnPackageDamaged},
      {40, 0, kPackageDirectoryOutside, kOwnPackageDamaged},
      {40, 0, kPackageNoMemory, kOwnNoMemory},  // a shortage, not a damaged package
      {260, 0, kPackageCannotOpen, kOwnPathTooLong},  // the system cut it at the buffer
      {259, 1, kPackageOk, kOwnPackageReady},
      {0, 0, kPackageCannotOpen, kOwnPlainProgram},   // no path at all: nothing to report
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyOwnPackage(c.length, 260, c.opened, c.status), c.expected) << c.length << " " << c.status;
  }

  EXPECT_EQ(FitsFreeSpace(1, 100, 100), 1);
  EXPECT_EQ(FitsFreeSpace(1, 99, 100), 0);
  EXPECT_EQ(FitsFreeSpace(1, 0x100000000ull, 0xFFFFFFFFull + 2), 0) << "sums past 4 GiB";
  EXPECT_EQ(FitsFreeSpace(0, 0, 100), 1) << "unknown space: the writes decide";

  // The real sum of a package and the real free space of the volume the tests run on.
  RunScene scene;
  const std::string package =
      scene.Package("pack.exe", {{"SETUP.EXE", PseudoRandomBytes(1000, 1)}, {"a", {}}, {"b", PseudoRandomBytes(77, 2)}});
  PackageReader reader;
  ASSERT_EQ(reader.Open(package.c_str()), 1);
  EXPECT_EQ(MemberBytes(reader), 1077u);
  EXPECT_EQ(HasRoomFor(scene.folder().path().c_str(), MemberBytes(reader)), 1);
  EXPECT_EQ(HasRoomFor(scene.folder().path().c_str(), 1ull << 60), 0);
}

}  // namespace
