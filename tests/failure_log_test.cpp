// The failure log of package runs and the choice of a silent run, on real files and real
// window stations.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/failure_log.h"
#include "package/silent_run.h"
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
