// The window's Pack reads the running program's own path as the run does: a path that
// does not fit its buffer is never cut (a cut path could name another program), the
// module path stays empty, and the command refuses it. Wine starts no program from a
// path longer than 260 characters, so the buffer is made shorter than this test
// program's own path instead, and the two steps of the window's command are taken here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/recorded_report.h"
#include "support/file_bytes.h"
#include "support/test_files.h"
#include "support/test_pack_list.h"
#include "ui/pack_command.h"
#include "win32/module_path.h"

namespace {

TEST(WindowModulePath, APathThatDoesNotFitEndsInTheModuleBoxAndWritesNothing) {
  char own[MAX_PATH] = {};
  const unsigned length = GetModuleFileNameA(nullptr, own, sizeof(own));
  ASSERT_GT(length, 10u);
  struct Case {
    unsigned capacity;
    const char* status;
    const char* box;
    std::vector<std::string> filesAfter;
  };
  const Case cases[] = {
      {length - 4, "Error: can not open module file", "error:can not open module file ", {"data.txt", "setup.exe"}},
      {length, "Error: can not open module file", "error:can not open module file ", {"data.txt", "setup.exe"}},
      {length + 1, "Packaging is completed", "success:packaging is completed ", {}},
  };
  for (const Case& c : cases) {
    TempFolder files;
    WriteFileText(files.Join("setup.exe"), "setup");
    WriteFileText(files.Join("data.txt"), "data");
    RecordedReport report;
    char modulePath[MAX_PATH];
    GetModulePath(modulePath, c.capacity);
    RunPackCommand(TestList({files.Join("setup.exe"), files.Join("data.txt")}), report, modulePath);
    EXPECT_EQ(report.status, c.status) << c.capacity;
    EXPECT_EQ(report.events, (std::vector<std::string>{std::string("status:") + c.status, std::string("box:") + c.box}))
        << c.capacity;
    std::vector<std::string> expected = c.filesAfter;
    if (expected.empty()) {
      const std::string folderName = files.path().substr(files.path().rfind('\\') + 1);
      expected = {"KVPACK_" + folderName + ".exe", "data.txt", "setup.exe"};
    }
    EXPECT_EQ(ListFolder(files.path()), expected) << c.capacity << ": no package, whole or partial";
  }
}

// The window's command itself reads the whole path and packs this very program.
TEST(WindowModulePath, TheWindowsCommandPacksTheRunningProgram) {
  char own[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, own, sizeof(own)), 10u);
  TempFolder files;
  WriteFileText(files.Join("setup.exe"), "setup");
  RecordedReport report;
  RunPackCommandOfThisProgram(TestList({files.Join("setup.exe")}), report);
  EXPECT_EQ(report.status, "Packaging is completed");
  const std::string folderName = files.path().substr(files.path().rfind('\\') + 1);
  const std::vector<char> package = ReadFileBytes(files.Join("KVPACK_" + folderName + ".exe"));
  const std::vector<char> program = ReadFileBytes(own);
  // This unsigned program whole, the one member, its directory entry and the trailer.
  ASSERT_EQ(package.size(), program.size() + 5 + 268 + 20);
  EXPECT_EQ(std::string(package.end() - 20, package.end() - 4), "BRAMTOLEPACKFILE");
}

}  // namespace
