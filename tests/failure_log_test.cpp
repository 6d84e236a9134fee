// The failure log of package runs and the choice of a silent run, on real files and real
// window stations; what a user plants at the log's names in the temporary folder they own
// neither takes a line nor loses a byte, through the real program run elevated.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/failure_log.h"
#include "package/silent_run.h"
#include "package/unfollowed_file.h"
#include "support/debug_output.h"
#include "support/host_system.h"
#include "support/run_support.h"
#include "support/test_files.h"

namespace {

std::string Text(const std::vector<char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(FailureLog, LineHoldsTimePackageCodeAndText) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 3;
  time.wDay = 7;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 1;
  char line[128];
  const int length = FormatFailureLine(line, sizeof(line), time, "C:\\dist\\KVPACK_app.exe", 1392,
                                       "Error: [data.cab] is damaged.");
  EXPECT_STREQ("2026-03-07 09:05:01\tC:\\dist\\KVPACK_app.exe\t1392\tError: [data.cab] is damaged.\r\n", line);
  EXPECT_EQ(static_cast<int>(strlen(line)), length);
  char small[40];
  EXPECT_EQ(0, FormatFailureLine(small, sizeof(small), time, "C:\\dist\\KVPACK_app.exe", 2, "text"));
  EXPECT_STREQ("", small);
}

struct KeepCase {
  const char* log;
  uint32_t lineLength;
  uint32_t limit;
  uint32_t expected;
};

TEST(FailureLog, KeepsTheNewestWholeLines) {
  const KeepCase cases[] = {
      {"aa\nbb\n", 4, 10, 0},        // everything fits
      {"aa\nbb\n", 5, 10, 3},        // one byte over: the first whole line goes
      {"aa\nbb\n", 7, 10, 3},        // the cut lands on the end of the first line
      {"aa\nbb\n", 8, 10, 6},        // both lines go
      {"aaaa\nb\n", 6, 8, 5},        // the cut at the start of the second line keeps it
      {"aaaa\nbb\n", 6, 8, 8},       // the cut inside the last line: only whole lines stay
      {"aa\nbbbb", 8, 8, 7},         // no line end after the cut: nothing is kept
  };
  for (const KeepCase& c : cases) {
    const uint32_t length = static_cast<uint32_t>(strlen(c.log));
    EXPECT_EQ(c.expected, FirstKeptByte(length, c.lineLength, c.limit, c.log, 0)) << c.log << " + " << c.lineLength;
  }
  // Only the tail of a long log is read: positions count from its start all the same.
  const char* log = "0123456789\nab\n";
  EXPECT_EQ(11u, FirstKeptByte(14, 5, 10, log + 4, 4));
}

TEST(FailureLog, AppendsWholeLinesAndStaysWithinItsLimit) {
  TempFolder folder;
  const std::string log = folder.Join("Lodkin.log");
  ASSERT_EQ(1, AppendFailureLine(log.c_str(), "C:\\a.exe", 2, "Error: first"));
  ASSERT_EQ(1, AppendFailureLine(log.c_str(), "C:\\a.exe", 112, "Error: second"));
  std::string text = Text(ReadFileBytes(log));
  ASSERT_EQ(2, std::count(text.begin(), text.end(), '\n'));
  EXPECT_NE(std::string::npos, text.find("\tC:\\a.exe\t2\tError: first\r\n"));
  EXPECT_EQ(text.size() - strlen("\tC:\\a.exe\t112\tError: second\r\n"), text.rfind("\tC:\\a.exe\t112\t"));

  // A log at its limit loses its oldest whole lines, keeps the rest in order, and takes
  // the new line last; nothing is left beside it.
  std::string full;
  for (int i = 0; full.size() < kFailureLogLimit - 40; ++i) full += "old line " + std::to_string(i) + "\r\n";
  WriteFileText(log, full);
  ASSERT_EQ(1, AppendFailureLine(log.c_str(), "C:\\a.exe", 1392, "Error: newest"));
  text = Text(ReadFileBytes(log));
  EXPECT_LE(text.size(), kFailureLogLimit);
  EXPECT_EQ(0u, text.find("old line "));
  EXPECT_NE(std::string::npos, full.find(text.substr(0, text.find("\r\n") + 2)));
  EXPECT_EQ(text.size() - strlen("\tC:\\a.exe\t1392\tError: newest\r\n"), text.rfind("\tC:\\a.exe\t1392\t"));
  EXPECT_EQ(std::vector<std::string>{"Lodkin.log"}, ListFolder(folder.path()));
}

TEST(FailureLog, AMissingFolderLogsNothing) {
  TempFolder folder;
  EXPECT_EQ(0, AppendFailureLine(folder.Join("gone\\Lodkin.log").c_str(), "C:\\a.exe", 2, "Error"));
  EXPECT_TRUE(ListFolder(folder.path()).empty());
}

// Wine follows links whatever FILE_FLAG_OPEN_REPARSE_POINT says: what Windows reports for
// a link opened as itself (a reparse point) is tried as data, beside a followed link.
TEST(FailureLog, OnlyAPlainFileOfOneNameAtItsOwnPathIsWritten) {
  const struct { DWORD attributes, links; const char *folder, *file; int plain; } cases[] = {
      {0x20, 1, "\\\\?\\C:\\T", "\\\\?\\c:\\t\\LODKIN.LOG", 1}, {0x20, 1, "\\\\?\\C:\\", "\\\\?\\C:\\Lodkin.log", 1},
      {FILE_ATTRIBUTE_REPARSE_POINT, 1, "\\\\?\\C:\\T", "\\\\?\\C:\\T\\Lodkin.log", 0},
      {FILE_ATTRIBUTE_DIRECTORY, 1, "\\\\?\\C:\\T", "\\\\?\\C:\\T\\Lodkin.log", 0}, {0x20, 2, "\\\\?\\C:\\T", "\\\\?\\C:\\T\\Lodkin.log", 0},
      {0x20, 1, "\\\\?\\C:\\T", "\\\\?\\C:\\W\\win.ini", 0}, {0x20, 1, "\\\\?\\C:\\T", "\\\\?\\C:\\TLodkin.log", 0}};
  for (const auto& c : cases) {
    BY_HANDLE_FILE_INFORMATION information = {c.attributes};
    information.nNumberOfLinks = c.links;
    EXPECT_EQ(c.plain, IsPlainOneNameFile(information, IsAtItsName(c.folder, c.file, "Lodkin.log"))) << c.file;
  }
}

// A failing run ("-s" without a setup program: exit code 2), something planted at the log's
// name or the rotation's, beside a short log and one near its limit.
TEST(FailureLog, NothingPlantedAtItsNamesIsWrittenMovedOrCut) {
  const std::pair<const char*, char> cases[] = {{"Lodkin.log", 's'}, {"Lodkin.log.new", 's'}, {"Lodkin.log", 'h'}, {"Lodkin.log", 'd'}};
  RunScene scene;
  const std::string package = scene.Package("pack.exe", {{"a.txt", {'a'}}});
  for (const auto& c : cases) {
    for (const bool nearLimit : {false, true}) {
      const std::string what = c.first + std::string(1, c.second) + (nearLimit ? " near the limit" : "");
      std::string lines;
      while (lines.size() < (nearLimit ? kFailureLogLimit - 40 : 100)) lines += "old line\r\n";
      TempFolder outside, temp;
      const std::string target = outside.Join("kept.txt"), planted = temp.Join(c.first), log = temp.Join("Lodkin.log");
      WriteFileText(target, lines);
      if (planted != log) WriteFileText(log, lines);
      if (c.second == 'd') CreateDirectoryA(planted.c_str(), nullptr);
      if (c.second == 'h') CreateHardLinkA(planted.c_str(), target.c_str(), nullptr);
      if (c.second == 's') ASSERT_TRUE(MakeHostSymlink(target, planted)) << what;
      std::vector<std::string> texts;
      const ScopedEnvironment tmp("TMP", temp.path()), tempVariable("TEMP", temp.path());
      EXPECT_EQ(RunCollectingDebugOutput(QuotedCommandLine(package, "-s"), &texts).exitCode, 2u) << what;
      EXPECT_EQ(Text(ReadFileBytes(target)), lines) << what << ": the outside file changed";
      EXPECT_EQ(c.second == 'd', DirectoryExists(planted)) << what;
      // Far from the limit the rotation's name is never used: the line goes in the log.
      const bool logged = planted != log && !nearLimit;
      bool said = false;
      for (const std::string& text : texts) said = said || text.find("Not logged: [" + planted + "]") == 0;
      EXPECT_NE(logged, said) << what;
      if (planted != log) EXPECT_EQ(logged, Text(ReadFileBytes(log)) != lines) << what;
      if (c.second == 's') RemoveWithoutFollowing(planted);
    }
  }
}

TEST(SilentRun, DecidedByTheOptionAndTheStationsVisibility) {
  USEROBJECTFLAGS visible = {};
  visible.dwFlags = WSF_VISIBLE;
  USEROBJECTFLAGS hidden = {};
  EXPECT_EQ(1, IsSilentRun(1, 1, visible));
  EXPECT_EQ(0, IsSilentRun(0, 1, visible));
  EXPECT_EQ(1, IsSilentRun(0, 1, hidden));
  EXPECT_EQ(1, IsSilentRun(0, 0, visible));  // no station to ask: nobody can see a box

  // Real stations: the tests' own, which shows the windows that the window tests drive,
  // and one made here, which no user can see.
  EXPECT_EQ(0, IsSilentProcess(0));
  EXPECT_EQ(1, IsSilentProcess(1));
  USEROBJECTFLAGS flags;
  HWINSTA made = CreateWindowStationA("LodkinTestStation", 0, WINSTA_ALL_ACCESS, NULL);
  ASSERT_NE(nullptr, made);
  ASSERT_EQ(1, GetStationFlags(made, &flags));
  EXPECT_EQ(1, IsSilentRun(0, 1, flags));
  CloseWindowStation(made);
  EXPECT_EQ(0, GetStationFlags(NULL, &flags));
}

}  // namespace
