// Start-up: the command-line copy, the choice of mode and the "-wait" delay.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/lodkin_app.h"
#include "app/startup_dispatch.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace {

// What the fake modes saw, in order.
std::vector<std::string> g_calls;
int g_runPackageResult = 0;
std::vector<DWORD> g_sleeps;
std::vector<std::string> g_debugLines;

DWORD g_modeExitCode = 0;

int FakeClean(char* line, DWORD* exitCode) {
  g_calls.push_back(std::string("clean:") + line);
  *exitCode = g_modeExitCode;
  return 1;
}
int FakeExtract(char* line, DWORD* exitCode) {
  g_calls.push_back(std::string("extract:") + line);
  *exitCode = g_modeExitCode;
  return 1;
}
int FakeRun(char* line, DWORD* exitCode) {
  g_calls.push_back(std::string("run:") + line);
  *exitCode = g_modeExitCode;
  return g_runPackageResult;
}
void FakeWindow() { g_calls.push_back("window"); }
void FakeSleep(DWORD ms) { g_sleeps.push_back(ms); g_calls.push_back("sleep"); }
void FakeDebug(const char* text) { g_debugLines.push_back(text); }

const StartupActions kFakes = {FakeClean, FakeExtract, FakeRun, FakeWindow, FakeSleep, FakeDebug};

std::vector<std::string> Dispatch(const std::string& tail, int runResult = 0) {
  g_calls.clear();
  g_sleeps.clear();
  g_debugLines.clear();
  g_runPackageResult = runResult;
  static char commandLine[kCommandLineSize];
  CopyCommandLine(commandLine, tail.c_str());
  DispatchStartup(commandLine, kFakes);
  return g_calls;
}

using Calls = std::vector<std::string>;

TEST(StartupDispatch, ChoosesExactlyOneModeInPriorityOrder) {
  EXPECT_EQ(Dispatch(""), (Calls{"run:", "window"}));
  EXPECT_EQ(Dispatch("", 1), (Calls{"run:"}));
  EXPECT_EQ(Dispatch("-d KVLodkin0004211"), (Calls{"clean:-d KVLodkin0004211"}));
  EXPECT_EQ(Dispatch("-dXname"), (Calls{"clean:-dXname"}));
  EXPECT_EQ(Dispatch("-d -e -wait 3"), (Calls{"clean:-d -e -wait 3"}));
  EXPECT_EQ(Dispatch("-e"), (Calls{"extract:-e"}));
  EXPECT_EQ(Dispatch("-e -wait 3"), (Calls{"extract:-e -wait 3"})) << "-e wins over -wait";
  // The options count only at the very start, and letter case counts.
  EXPECT_EQ(Dispatch("x -d name"), (Calls{"run:x -d name", "window"}));
  EXPECT_EQ(Dispatch(" -e"), (Calls{"run: -e", "window"}));
  EXPECT_EQ(Dispatch("-D name"), (Calls{"run:-D name", "window"}));
  EXPECT_EQ(Dispatch("-s /quiet", 1), (Calls{"run:-s /quiet"}));
}

TEST(StartupDispatch, WaitDelaysThePackageRunWhichGetsTheUnchangedLine) {
  EXPECT_EQ(Dispatch("-wait 3"), (Calls{"sleep", "sleep", "sleep", "run:-wait 3", "window"}));
  EXPECT_EQ(g_sleeps, (std::vector<DWORD>{1000, 1000, 1000}));
  EXPECT_EQ(g_debugLines, (std::vector<std::string>{"delay = 1 / 3 sec", "delay = 2 / 3 sec",
                                                    "delay = 3 / 3 sec", "delay = 4 / 3 sec"}));
  // Anywhere in the line, the count being the second word.
  EXPECT_EQ(Dispatch("/x 2 -wait", 1), (Calls{"sleep", "sleep", "run:/x 2 -wait"}));
}

TEST(StartupDispatch, WaitCountIsTheSecondBlankSeparatedWord) {
  struct Case { const char* line; int seconds; };
  const Case cases[] = {
      {"-wait", 0},          {"-wait 3", 3},         {"-wait 12abc", 12},  {"-wait -2", -2},
      {"-wait +4 x", 4},     {"-wait  3", 0},        {"-wait x3", 0},      {"-wait 2 -s", 2},
      {"-run setup.exe -wait 2", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWaitSeconds(c.line), c.seconds) << c.line;

  Dispatch("-wait");
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(g_debugLines, (std::vector<std::string>{"delay = 1 / 0 sec"}));
  Dispatch("-wait -5");
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(g_debugLines, (std::vector<std::string>{"delay = 1 / -5 sec"}));
  Dispatch("-run setup.exe -wait 2");
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_EQ(g_debugLines.size(), 1u);
}

TEST(CommandLineCopy, KeepsTheWholeLineAndZeroFillsTheRest) {
  static char buffer[kCommandLineSize];
  memset(buffer, 'G', sizeof(buffer));
  CopyCommandLine(buffer, "-e");
  EXPECT_STREQ(buffer, "-e");
  for (size_t i = 2; i < sizeof(buffer); ++i) ASSERT_EQ(buffer[i], 0) << i;

  // The longest line the system passes stays whole; only more than that is cut.
  for (size_t length : {400u, 32767u}) {
    std::string longLine = "-s " + std::string(length - 3, 'n');
    CopyCommandLine(buffer, longLine.c_str());
    EXPECT_EQ(std::string(buffer), longLine);
  }
  CopyCommandLine(buffer, ("-s " + std::string(40000, 'n')).c_str());
  EXPECT_EQ(strlen(buffer), kCommandLineSize - 1);
  CopyCommandLine(buffer, nullptr);
  EXPECT_STREQ(buffer, "");
}

TEST(StartupDispatch, TheModesExitCodeIsTheProcessExitCode) {
  struct Case {
    const char* line;
    int runResult;
    DWORD modeCode;
    Calls calls;
  };
  const Case cases[] = {
      {"-d name", 0, 1, {"clean:-d name"}},
      {"-e", 0, 1, {"extract:-e"}},
      {"-s /quiet", 1, 3010, {"run:-s /quiet"}},
      // A package that started nothing keeps its code through the window.
      {"", 0, 1603, {"run:", "window"}},
      {"", 0, 0, {"run:", "window"}},
  };
  for (const Case& c : cases) {
    g_calls.clear();
    g_runPackageResult = c.runResult;
    g_modeExitCode = c.modeCode;
    static char commandLine[kCommandLineSize];
    CopyCommandLine(commandLine, c.line);
    EXPECT_EQ(DispatchStartup(commandLine, kFakes), c.modeCode) << c.line;
    EXPECT_EQ(g_calls, c.calls) << c.line;
  }
  g_modeExitCode = 0;
}

TEST(ApplicationObject, MessageTableSendsOnlyTheHelpCommandToTheHelpHandler) {
  CLodkinApp app;
  const MessageMapEntry* help = FindMessageEntry(app.GetMessageMap(), WM_COMMAND, MAKEWPARAM(57670, 0));
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->controlId, 57670u);
  LRESULT result = 1;
  EXPECT_TRUE(app.DispatchToHandler(WM_COMMAND, MAKEWPARAM(57670, 0), 0, &result));
  EXPECT_FALSE(app.DispatchToHandler(WM_COMMAND, MAKEWPARAM(57671, 0), 0, &result));
  EXPECT_FALSE(app.DispatchToHandler(WM_SIZE, 0, 0, &result));
  EXPECT_EQ(AfxGetApp(), &app);
}

TEST(RealProgram, ExtractOnAPlainProgramEndsAtOnceAndWritesNothing) {
  TempFolder folder;
  // A copy of the plain program in a folder of its own: "-e" must leave it alone.
  std::string copy = folder.Join("tool.exe");
  WriteFileBytes(copy, ReadFileBytes(LodkinExePath()));
  ProcessResult result = RunProgram(copy, "-e", 20000);
  ASSERT_TRUE(result.started);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.exitCode, 1u) << "nothing was extracted";
  EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"tool.exe"}));
}

}  // namespace
