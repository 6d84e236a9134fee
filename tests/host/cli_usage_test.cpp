// The command line of lodkin-cli: usage errors end with status 2, help and version on
// stdout; and the two pieces of its output that are made in-process: the progress line
// and the JSON strings.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/progress_display.h"
#include "host/support/tool_process.h"
#include "support/test_files.h"

namespace {

const char kTry[] = "Try 'lodkin-cli --help' for more information.\n";

TEST(CliUsage, WrongCommandLinesEndWithStatus2) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{}, "no command given"},
      {{"unpack", "x.exe"}, "unknown command 'unpack'"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"pack"}, "pack needs at least one FILE"},
      {{"pack", "-o"}, "option '-o' needs a value"},
      {{"pack", "-o", "a.exe", "-o", "b.exe", "setup.exe"}, "option '-o' given twice"},
      {{"pack", "--json", "setup.exe"}, "unknown option '--json' for pack"},
      {{"list"}, "list needs a PACKAGE"},
      {{"list", "a.exe", "b.exe"}, "list takes one PACKAGE"},
      {{"verify", "-C", "x", "a.exe"}, "unknown option '-C' for verify"},
      {{"extract", "a.exe", "-C"}, "option '-C' needs a value"},
      {{"extract", "--directory="}, "option '--directory=' needs a value"},
      {{"--version", "extra"}, "'--version' takes no arguments"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunCli(c.arguments);
    EXPECT_EQ(run.exitStatus, 2) << c.error;
    EXPECT_EQ(run.err, "lodkin-cli: error: " + c.error + "\n" + kTry) << c.error;
    EXPECT_EQ(run.out, "") << c.error;
  }
}

TEST(CliUsage, HelpAndVersionGoToStdout) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"pack", "--help"}, {"list", "x", "-h"}}) {
    const RunResult run = RunCli(arguments);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out.compare(0, 29, "Usage: lodkin-cli COMMAND [OP"), 0) << run.out;
    for (const char* command : {"pack [-o OUTPUT] [--stub PROGRAM] [--compress[=fast]] [--codepage N] FILE...",
                                "list [--json] [--codepage N] PACKAGE", "verify PACKAGE",
                                "extract [--codepage N] PACKAGE [-C DIR]"}) {
      EXPECT_NE(run.out.find(command), std::string::npos) << command;
    }
    EXPECT_EQ(run.err, "");
  }
  const RunResult version = RunCli({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "lodkin-cli 3.5.0.4\n");
  // "--" ends the options: what follows is a file, even when it looks like one.
  const RunResult dashed = RunCli({"verify", "--", "--help"});
  EXPECT_EQ(dashed.exitStatus, 1);
  EXPECT_EQ(dashed.err, "lodkin-cli: error: --help: cannot open the file\n");
}

double g_now = 0;
double FakeClock() { return g_now; }

std::string Written(FILE* file) {
  fflush(file);
  rewind(file);
  std::string text;
  int c;
  while ((c = fgetc(file)) != EOF) text += static_cast<char>(c);
  return text;
}

TEST(Progress, ShownOnlyForWorkThatTakesMoreThanAMomentAndThrottled) {
  const size_t kMiB = 1024 * 1024;
  // A quick job shows nothing at all.
  FILE* quick = tmpfile();
  g_now = 100;
  {
    ProgressDisplay progress("packed", 3 * kMiB, quick, FakeClock);
    progress.Observe(nullptr, kMiB);
    g_now = 100.4;
    progress.Observe(nullptr, 2 * kMiB);
    progress.Finish(1);
  }
  EXPECT_EQ(Written(quick), "");
  fclose(quick);

  // A long one: the first line after half a second, then at most one per 0.2 s, the
  // last with everything, and a line end.
  FILE* slow = tmpfile();
  g_now = 200;
  ProgressDisplay progress("packed", 1024 * kMiB + 1, slow, FakeClock);
  const double times[] = {200.1, 200.6, 200.65, 200.7, 200.9};
  for (double t : times) {
    g_now = t;
    progress.Observe(nullptr, 123 * kMiB);
  }
  // A job that failed ends where it stopped, against the total it set out for.
  progress.Finish(0);
  EXPECT_EQ(Written(slow), "\rpacked 246 MiB of 1,025 MiB\rpacked 615 MiB of 1,025 MiB\rpacked 615 MiB of 1,025 MiB\n");
  fclose(slow);

  // No terminal: no stream, nothing written, and nothing breaks.
  ProgressDisplay silent("extracted", kMiB, nullptr, FakeClock);
  g_now = 1000;
  silent.Observe(nullptr, kMiB);
  silent.Finish(1);
}

// A completed job's last line shows what it moved, counted as its total is: never
// "1,500 MiB of 1,501 MiB", nor the foreseen total when less was moved (a program
// packed without its signature).
TEST(Progress, ACompletedJobEndsAtItsTrueTotal) {
  const uint64_t kMiB = 1024 * 1024;
  struct Case {
    uint64_t foreseen, moved;
    const char* last;
  } cases[] = {
      {1500 * kMiB + kMiB / 2, 1500 * kMiB + kMiB / 2, "\rpacked 1,501 MiB of 1,501 MiB\n"},
      {1024 * kMiB, 1000 * kMiB + 5, "\rpacked 1,001 MiB of 1,001 MiB\n"},
      {3 * kMiB, 3 * kMiB, "\rpacked 3 MiB of 3 MiB\n"},
  };
  for (const Case& c : cases) {
    FILE* file = tmpfile();
    g_now = 300;
    ProgressDisplay progress("packed", c.foreseen, file, FakeClock);
    g_now = 301;
    progress.Observe(nullptr, static_cast<size_t>(c.moved));
    const std::string shown = Written(file);
    progress.Finish(1);
    EXPECT_EQ(Written(file).substr(shown.size()), c.last) << shown;
    fclose(file);
  }
}

TEST(JsonOutput, EveryNameBecomesAValidString) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"setup.exe", "\"setup.exe\""},
      {"a \"b\" \\ c", "\"a \\\"b\\\" \\\\ c\""},
      {"tab\there\x1f", "\"tab\\u0009here\\u001f\""},
      {"\xed\x95\x9c.txt", "\"\xed\x95\x9c.txt\""},        // UTF-8 kept
      {"\xc7\xd1.txt", "\"\\u00c7\\u00d1.txt\""},          // code-page bytes, not UTF-8
      {"\xc3", "\"\\u00c3\""},                             // a sequence cut short
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},       // a surrogate is no character
  };
  for (const auto& c : cases) {
    FILE* file = tmpfile();
    PrintJsonString(file, c.first.c_str());
    EXPECT_EQ(Written(file), c.second);
    fclose(file);
  }
}

}  // namespace
