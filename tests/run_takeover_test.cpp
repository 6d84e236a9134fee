// Another process of the same user, without the run's elevation, watching the temporary
// folder while a package runs: it tries to swap the setup program once it is written,
// and to plant a folder or a link in the new work directory before the run makes the
// member folder of that name. Neither may change what runs or where anything goes.
// (Wine enforces no access lists, so here the planting itself succeeds: what is shown is
// that the run refuses what it did not make and holds what it wrote.)
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/host_system.h"
#include "support/run_support.h"
#include "support/test_files.h"
#include "support/test_process.h"
#include "support/window_closer.h"

namespace {

// A member large enough that its extraction leaves the watcher time to act.
const size_t kSlowMemberSize = 64u << 20;

// Waits, on a thread of its own, for the first new work directory and acts on it.
class WorkDirectoryWatcher {
 public:
  explicit WorkDirectoryWatcher(std::function<void(const std::string&)> act)
      : act_(act), before_(WorkDirectoriesIn(WineTempFolder())) {}
  void Start() { thread_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr); }
  void Finish() {
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 30000);
    CloseHandle(thread_);
  }
  bool acted() const { return acted_; }

 private:
  static DWORD WINAPI Loop(void* self) {
    WorkDirectoryWatcher* watcher = static_cast<WorkDirectoryWatcher*>(self);
    while (!watcher->stop_) {
      for (const std::string& directory : WorkDirectoriesIn(WineTempFolder())) {
        if (watcher->before_.count(directory)) continue;
        watcher->act_(directory);
        watcher->acted_ = true;
        return 0;
      }
    }
    return 0;
  }
  std::function<void(const std::string&)> act_;
  std::set<std::string> before_;
  HANDLE thread_ = nullptr;
  volatile LONG stop_ = 0;
  bool acted_ = false;
};

long long SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// `program`, packed after `filesBefore` small files (past the thousand held at most besides
// the programs a run starts) and started as `tail` says. `conclusive` is set when the
// watcher's attempt came while the run was still writing.
void TryHeldUntilStarted(int filesBefore, const std::string& program, const std::string& tail, bool* conclusive) {
  RunScene scene;
  const std::vector<char> setup = StandInBytes();
  std::vector<TestMember> members;
  for (int i = 0; i < filesBefore; ++i) members.push_back({"f" + std::to_string(i), {'x'}});
  members.insert(members.end(), {{program, setup}, {"slow.bin", PseudoRandomBytes(kSlowMemberSize, 3)}});
  if (program != "SETUP.EXE") members.push_back({"SETUP.EXE", setup});
  const std::string package = scene.Package("pack.exe", members);
  const std::vector<char> other = ReadFileBytes(BuildBinFolder() + "\\load_by_name.exe");
  DWORD openError = 0;
  bool swapped = false;
  bool beforeTheStart = false;
  WorkDirectoryWatcher watcher([&](const std::string& directory) {
    const std::string path = directory + "\\" + program;
    WaitUntil([&] { return SizeOf(path) == static_cast<long long>(setup.size()); }, 60000);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    openError = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      swapped = WriteFile(file, other.data(), static_cast<DWORD>(other.size()), &written, nullptr) && SetEndOfFile(file);
      CloseHandle(file);
    }
    beforeTheStart = SizeOf(directory + "\\slow.bin") < static_cast<long long>(kSlowMemberSize);
  });
  watcher.Start();
  std::vector<std::string> boxes;
  const ProcessResult result = RunClosingWindows(package, tail, 180000, BuildBinFolder(), &boxes);
  watcher.Finish();
  ASSERT_TRUE(result.finished) << program << " after " << filesBefore;
  ASSERT_TRUE(watcher.acted());
  EXPECT_TRUE(boxes.empty());
  if (!beforeTheStart) return;  // too late to tell anything
  *conclusive = true;
  EXPECT_FALSE(swapped) << program << " after " << filesBefore;
  EXPECT_EQ(openError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  const std::vector<StandInRecord> records = scene.Records();
  ASSERT_EQ(records.size(), program == "SETUP.EXE" ? 1u : 2u) << "the packed programs ran";
  EXPECT_EQ(Lower(NameOf(records[0].at("self"))), Lower(program));
  EXPECT_EQ(result.exitCode, 0u);
}

// The watcher races the run's writing of the large member: a try it loses shows nothing
// either way, so the scene is played again, up to three times.
void ExpectHeldUntilStarted(int filesBefore, const std::string& program, const std::string& tail) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    bool conclusive = false;
    TryHeldUntilStarted(filesBefore, program, tail, &conclusive);
    if (conclusive || ::testing::Test::HasFatalFailure()) return;
  }
  ADD_FAILURE() << program << " after " << filesBefore << ": the attempt came too late three times";
}

TEST(RunTakeover, TheProgramsItStartsCannotBeSwappedBetweenTheirWritingAndTheirStart) {
  ExpectHeldUntilStarted(0, "SETUP.EXE", "");
  ExpectHeldUntilStarted(1500, "SETUP.EXE", "");
  ExpectHeldUntilStarted(1500, "tool.exe", "-run tool.exe");
}

TEST(RunTakeover, AFolderOrLinkPlantedInTheWorkDirectoryStopsTheRunAndNothingGoesThroughIt) {
  struct Case {
    const char* what;
    bool link;
  };
  const Case cases[] = {{"a folder", false}, {"a link to another folder", true}};
  for (const Case& c : cases) {
    RunScene scene;
    TempFolder outside;
    const std::string package = scene.Package(
        "pack.exe", {{"slow.bin", PseudoRandomBytes(kSlowMemberSize, 5)},
                     {"app\\x.dll", {'d', 'l', 'l'}},
                     {"SETUP.EXE", StandInBytes()}});
    std::string workDirectory;
    WorkDirectoryWatcher watcher([&](const std::string& directory) {
      workDirectory = directory;
      const std::string planted = directory + "\\app";
      if (c.link) {
        MakeHostSymlink(outside.path(), planted);
      } else {
        CreateDirectoryA(planted.c_str(), nullptr);
      }
    });
    watcher.Start();
    std::vector<std::string> boxes;
    const ProcessResult result = RunClosingWindows(package, "", 120000, BuildBinFolder(), &boxes);
    watcher.Finish();
    ASSERT_TRUE(result.finished) << c.what;
    ASSERT_TRUE(watcher.acted()) << c.what;
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << c.what;
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Error: [" + workDirectory + "\\app\\x.dll] can not be written.[183]"})
        << c.what;
    EXPECT_TRUE(scene.Records().empty()) << c.what << ": nothing started";
    EXPECT_TRUE(ListFolder(outside.path()).empty()) << c.what << ": nothing written through the link";
    EXPECT_FALSE(FileExists(workDirectory + "\\slow.bin")) << c.what << ": what the run wrote is gone";
    RemoveWithoutFollowing(workDirectory);
  }
}

}  // namespace
