// Start-up: the one reading of the command line, the choice of mode and the "-wait" delay.
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

int FakeClean(const StartOptions& options, DWORD* exitCode) {
  g_calls.push_back(std::string("clean:") + options.line);
  *exitCode = g_modeExitCode;
  return 1;
}
int FakeExtract(const StartOptions& options, DWORD* exitCode) {
  g_calls.push_back(std::string("extract:") + options.line);
  *exitCode = g_modeExitCode;
  return 1;
}
int FakeRun(const StartOptions& options, DWORD* exitCode) {
  g_calls.push_back(std::string("run:") + options.line);
  *exitCode = g_modeExitCode;
  return g_runPackageResult;
}
void FakeWindow() { g_calls.push_back("window"); }
void FakeSleep(DWORD ms) { g_sleeps.push_back(ms); g_calls.push_back("sleep"); }
void FakeDebug(const char* text) { g_debugLines.push_back(text); }

int FakeSilent(const StartOptions& options) { return options.silentSwitches; }

const StartupActions kFakes = {FakeClean, FakeExtract, FakeRun, FakeWindow, FakeSilent, FakeSleep, FakeDebug};

std::vector<std::string> Dispatch(const std::string& tail, int runResult = 0) {
  g_calls.clear();
  g_sleeps.clear();
  g_debugLines.clear();
  g_runPackageResult = runResult;
  static StartOptions options;
  ParseCommandLine(tail.c_str(), &options);
  DispatchStartup(options, kFakes);
  return g_calls;
}

using Calls = std::vector<std::string>;

const StartOptions& Parse(const char* line) {
  static StartOptions options;
  ParseCommandLine(line, &options);
  return options;
}

// Every rule of the one parser, from one table: the mode, the "-d" name, the "-wait"
// count, the "-run" member text, the setup program's arguments.
TEST(CommandLineParse, EachRuleOfTheLine) {
  struct Case {
    const char* line;
    StartMode mode;
    const char* cleanName;  // "-d" only
    int waits;
    int waitSeconds;
    const char* runText;    // null: no "-run"
    const char* setupArguments;
  };
  const Case cases[] = {
      {"", kStartPackageRun, nullptr, 0, 0, nullptr, ""},
      {"-d KVLodkin0004211", kStartCleanUp, "KVLodkin0004211", 0, 0, nullptr, ""},
      {"-dXname", kStartCleanUp, "name", 0, 0, nullptr, ""},
      {"-d  name", kStartCleanUp, " name", 0, 0, nullptr, ""},
      {"-d", kStartCleanUp, "", 0, 0, nullptr, ""},
      {"-dX", kStartCleanUp, "", 0, 0, nullptr, ""},
      {"-d name -wait 3", kStartCleanUp, "name -wait 3", 1, 0, nullptr, ""},
      {"-d -e", kStartCleanUp, "-e", 0, 0, nullptr, ""},
      {"-e -d", kStartExtract, nullptr, 0, 0, nullptr, ""},
      {"-D name", kStartPackageRun, nullptr, 0, 0, nullptr, ""},
      {" -e", kStartPackageRun, nullptr, 0, 0, nullptr, ""},
      {"-wait 3", kStartPackageRun, nullptr, 1, 3, nullptr, ""},
      {"/x 2 -wait", kStartPackageRun, nullptr, 1, 2, nullptr, ""},
      {"-wait\t3", kStartPackageRun, nullptr, 1, 0, nullptr, ""},
      {"-wait \t3", kStartPackageRun, nullptr, 1, 3, nullptr, ""},
      {"-wait \t 3", kStartPackageRun, nullptr, 1, 0, nullptr, ""},
      {"-wait 0000000000000000000000000000000000000000000000000000000000000000000007", kStartPackageRun,
       nullptr, 1, 7, nullptr, ""},
      {"-run setup.exe -wait 2", kStartPackageRun, nullptr, 1, 0, "setup.exe -wait 2", ""},
      {"-run   tool.exe /a", kStartPackageRun, nullptr, 0, 0, "tool.exe /a", ""},
      // Wherever "-run" stands, its text starts at the fifth character.
      {"/q -run tool.exe", kStartPackageRun, nullptr, 0, 0, "run tool.exe", ""},
      {"-run", kStartPackageRun, nullptr, 0, 0, "", ""},
      {"-s /quiet", kStartPackageRun, nullptr, 0, 0, nullptr, "-s /quiet"},
      {"-silent -run x", kStartPackageRun, nullptr, 0, 0, "ent -run x", "-silent -run x"},
      {"/q -s", kStartPackageRun, nullptr, 0, 0, nullptr, ""},
      {"-S /quiet", kStartPackageRun, nullptr, 0, 0, nullptr, ""},
  };
  for (const Case& c : cases) {
    const StartOptions& options = Parse(c.line);
    EXPECT_EQ(options.mode, c.mode) << c.line;
    if (c.cleanName != nullptr) EXPECT_STREQ(options.CleanName(), c.cleanName) << c.line;
    EXPECT_EQ(options.waits, c.waits) << c.line;
    EXPECT_EQ(options.waitSeconds, c.waitSeconds) << c.line;
    if (c.runText == nullptr) {
      EXPECT_EQ(options.RunText(), nullptr) << c.line;
    } else {
      EXPECT_STREQ(options.RunText(), c.runText) << c.line;
    }
    EXPECT_STREQ(options.SetupArguments(), c.setupArguments) << c.line;
    EXPECT_EQ(options.IsEmpty(), c.line[0] == 0 ? 1 : 0) << c.line;
  }
}

TEST(CommandLineTail, SkipsTheProgramNameAsWindowsDoes) {
  const struct { const char* whole; const char* tail; } cases[] = {
      {"\"C:\\dist\\KVPACK_app.exe\" -s /quiet", "-s /quiet"},
      {"C:\\dist\\KVPACK_app.exe -s /quiet", "-s /quiet"},
      {"\"C:\\Program Files\\a.exe\"\t \t-e", "-e"},
      {"\"C:\\Program Files\\a.exe\"-e", ""},          // the name runs on after its quote
      {"C:\\a\"b c\"\\x.exe -d n", "-d n"},                // quotes open and close inside it
      {"\"C:\\no end quote.exe -e", ""},
      {"C:\\caf\xE9\\\xC0\xFF.exe -e", "-e"},             // bytes from 0x80 belong to the name
      {"C:\\\xBC\xB3\xC4\xA1\\KVPACK_app.exe -s /quiet", "-s /quiet"},
      {"a.exe -wait 3 ", "-wait 3 "},
      {"a.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string whole = c.whole;
    EXPECT_STREQ(CommandLineTail(&whole[0]), c.tail) << c.whole;
  }
  EXPECT_EQ(CommandLineTail(nullptr), nullptr);
}

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
  for (const Case& c : cases) EXPECT_EQ(Parse(c.line).waitSeconds, c.seconds) << c.line;

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
  static StartOptions options;
  char* buffer = options.line;
  memset(buffer, 'G', sizeof(options.line));
  ParseCommandLine("-e", &options);
  EXPECT_STREQ(buffer, "-e");
  for (size_t i = 2; i < sizeof(options.line); ++i) ASSERT_EQ(buffer[i], 0) << i;

  // The longest line the system passes stays whole; only more than that is cut.
  for (size_t length : {400u, 32767u}) {
    std::string longLine = "-s " + std::string(length - 3, 'n');
    ParseCommandLine(longLine.c_str(), &options);
    EXPECT_EQ(std::string(buffer), longLine);
    EXPECT_EQ(std::string(options.SetupArguments()), longLine);
  }
  ParseCommandLine(("-s " + std::string(40000, 'n')).c_str(), &options);
  EXPECT_EQ(strlen(buffer), kCommandLineSize - 1);
  ParseCommandLine(nullptr, &options);
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
      // Nobody can close a window in a silent run: it ends with the same code instead.
      {"-s /quiet", 0, 2, {"run:-s /quiet"}},
      {"-s /quiet", 0, 1392, {"run:-s /quiet"}},
  };
  for (const Case& c : cases) {
    g_calls.clear();
    g_runPackageResult = c.runResult;
    g_modeExitCode = c.modeCode;
    EXPECT_EQ(DispatchStartup(Parse(c.line), kFakes), c.modeCode) << c.line;
    EXPECT_EQ(g_calls, c.calls) << c.line;
  }
  g_modeExitCode = 0;
}

// The entry point reaches the application object through AfxGetApp.
TEST(ApplicationObject, IsTheOneTheEntryPointFinds) {
  CLodkinApp app;
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
