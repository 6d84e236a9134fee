// The window's Pack reads the running program's own path as the run does: a path that
// does not fit its buffer is never cut (a cut path could name another program). Wine
// starts no program from a path longer than 260 characters, so the buffer is made
// shorter than this test program's own path instead.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_pack_list.h"
#include "ui/pack_command.h"

namespace {

struct RecordedReport : PackReport {
  void SetStatusText(const char* text) override { status = text; }
  void ShowMessage(const char* text, const char* caption) override {
    boxes.push_back(std::string(caption) + ": " + text);
  }
  std::string status;
  std::vector<std::string> boxes;
};

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
      {length - 4, "Error: can not open module file", "error: can not open module file ", {"data.txt", "setup.exe"}},
      {length, "Error: can not open module file", "error: can not open module file ", {"data.txt", "setup.exe"}},
      {length + 1, "Packaging is completed", "success: packaging is completed ", {}},
  };
  for (const Case& c : cases) {
    TempFolder files;
    WriteFileText(files.Join("setup.exe"), "setup");
    WriteFileText(files.Join("data.txt"), "data");
    RecordedReport report;
    RunPackCommandOfThisProgram(TestList({files.Join("setup.exe"), files.Join("data.txt")}), report, c.capacity);
    EXPECT_EQ(report.status, c.status) << c.capacity;
    EXPECT_EQ(report.boxes, std::vector<std::string>{c.box}) << c.capacity;
    std::vector<std::string> expected = c.filesAfter;
    if (expected.empty()) {
      const std::string folderName = files.path().substr(files.path().rfind('\\') + 1);
      expected = {"KVPACK_" + folderName + ".exe", "data.txt", "setup.exe"};
    }
    EXPECT_EQ(ListFolder(files.path()), expected) << c.capacity << ": no package, whole or partial";
  }
}

}  // namespace
