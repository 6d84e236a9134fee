// Interrupted downloads through the real program: a package cut anywhere past its program,
// or with more bytes appended than the trailer lookup tolerates, runs as a damaged
// package (1392, one log line, nothing left, the window only after a run started by
// hand), and "-e" of it ends with 1; the plain program, unsigned and signed, still opens
// its window and ends with 0.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/byte_poke.h"
#include "support/host_system.h"
#include "support/run_support.h"
#include "support/window_closer.h"
#include "support/window_watch.h"

namespace {

const unsigned kRunLimitMs = 20000;

struct Outcome {
  DWORD exitCode;
  bool windowOpened;
  bool anyWindow;
  std::vector<std::string> boxes;
  std::vector<std::string> logLines;
  std::vector<std::string> tempEntries;  // besides Lodkin.log
  std::vector<std::string> besidePackage;
  size_t starts;
};

class CutPackageRun : public ::testing::Test {
 protected:
  // One run of `bytes` as pkg.exe in a folder of its own, with a temporary folder of its own.
  Outcome Run(const std::vector<char>& bytes, const char* arguments, bool interactive) {
    TempFolder folder;
    TempFolder temp;
    const std::string package = folder.Join("pkg.exe");
    WriteFileBytes(package, bytes);
    ScopedEnvironment tmp("TMP", temp.path() + "\\");
    ScopedEnvironment tempVariable("TEMP", temp.path() + "\\");
    const size_t startsBefore = scene_.Records().size();
    WindowCloser closer;
    if (interactive) closer.Start();
    const WatchedRun run = RunWatchingWindows(package, arguments, kRunLimitMs, BuildBinFolder());
    if (interactive) closer.Finish();
    EXPECT_TRUE(run.result.finished) << arguments;
    Outcome outcome = {run.result.exitCode, false, false, closer.boxTexts, {}, {}, {},
                       scene_.Records().size() - startsBefore};
    // The closer may close the window before it is first drawn: made counts as opened.
    for (const SeenWindow& window : run.windows) outcome.windowOpened |= window.title == "Lodkin";
    outcome.anyWindow = !run.windows.empty();
    // A box caught between its making and its text reads empty: it is the same box.
    outcome.boxes.erase(std::remove(outcome.boxes.begin(), outcome.boxes.end(), std::string()), outcome.boxes.end());
    for (const std::string& name : ListFolder(temp.path())) {
      if (name == "Lodkin.log") {
        outcome.logLines = ReadCrLfLines(temp.Join(name));
      } else {
        outcome.tempEntries.push_back(name);
      }
    }
    for (const std::string& name : ListFolder(folder.path())) {
      if (name != "pkg.exe") outcome.besidePackage.push_back(name);
    }
    return outcome;
  }

  RunScene scene_;
};

TEST_F(CutPackageRun, ADamagedDownloadIsReportedAndThePlainProgramStillOpensItsWindow) {
  const std::vector<TestMember> members = {{"SETUP.EXE", StandInBytes()},
                                           {"data.cab", PseudoRandomBytes(40000, 2)},
                                           {"readme.txt", PseudoRandomBytes(900, 3)}};
  const std::vector<char> package = ReadFileBytes(scene_.Package("whole.exe", members));
  const std::vector<char> program = ReadFileBytes(LodkinExePath());
  const size_t m = program.size();
  const size_t setup = members[0].bytes.size();
  const size_t directory = package.size() - 20 - 3 * 268;
  // In the first member, in a later one, in the directory, in the trailer.
  const size_t cuts[] = {m + 1,         m + 2000,       m + setup - 1,   m + setup,       m + setup + 1,
                         m + setup + 20000, m + setup + 39999, m + setup + 40000, directory - 1, directory,
                         directory + 100, directory + 268, directory + 700, directory + 803, package.size() - 20,
                         package.size() - 17, package.size() - 9, package.size() - 5, package.size() - 3,
                         package.size() - 1};
  std::vector<std::pair<std::string, std::vector<char>>> damaged;
  for (size_t cut : cuts) {
    damaged.push_back({"cut at " + std::to_string(cut), std::vector<char>(package.begin(), package.begin() + cut)});
  }
  for (size_t more : {size_t(128), size_t(4096)}) {
    std::vector<char> longer = package;
    longer.insert(longer.end(), more, 'x');
    damaged.push_back({std::to_string(more) + " bytes appended", longer});
  }
  ASSERT_EQ(damaged.size(), 22u);

  for (const auto& one : damaged) {
    for (bool interactive : {false, true}) {
      const std::string what = one.first + (interactive ? ", by hand" : ", silent");
      const Outcome run = Run(one.second, interactive ? "" : "-s /quiet", interactive);
      EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_FILE_CORRUPT)) << what;
      EXPECT_EQ(run.starts, 0u) << what;
      EXPECT_TRUE(run.tempEntries.empty()) << what << ": " << run.tempEntries.front();
      EXPECT_TRUE(run.besidePackage.empty()) << what;
      ASSERT_EQ(run.logLines.size(), 1u) << what;
      const std::vector<std::string> fields = SplitTabs(run.logLines[0]);
      ASSERT_EQ(fields.size(), 4u) << run.logLines[0];
      EXPECT_EQ(fields[2], "1392") << what;
      EXPECT_EQ(fields[3], "Error: [" + fields[1] + "] is damaged.") << what;
      EXPECT_EQ(run.windowOpened, interactive) << what << ": the window only after a run started by hand";
      if (!interactive) {
        EXPECT_FALSE(run.anyWindow) << what << ": a silent run makes no window at all";
      }
      if (interactive) {
        EXPECT_EQ(run.boxes, std::vector<std::string>{fields[3]}) << what;
      }
    }
    const Outcome extract = Run(one.second, "-e", false);
    EXPECT_EQ(extract.exitCode, 1u) << one.first << ", -e";
    EXPECT_TRUE(extract.besidePackage.empty()) << one.first << ", -e: nothing written beside the package";
    EXPECT_FALSE(extract.windowOpened) << one.first << ", -e";
  }

  // Signed, as a signing tool leaves it: the loader does not check the signature itself.
  const struct {
    const char* what;
    std::vector<char> bytes;
  } plain[] = {{"the plain program", program},
               {"the plain program, signed", WithCertificateTable(program, PseudoRandomBytes(32, 5))}};
  for (const auto& one : plain) {
    const Outcome run = Run(one.bytes, "", true);
    EXPECT_EQ(run.exitCode, 0u) << one.what;
    EXPECT_TRUE(run.windowOpened) << one.what;
    EXPECT_TRUE(run.boxes.empty()) << one.what;
    EXPECT_TRUE(run.logLines.empty()) << one.what;
  }
}

}  // namespace
