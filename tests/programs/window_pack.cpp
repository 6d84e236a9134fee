// Packs the files named on its command line (top row first) with the packaging window's
// own Pack command, so that a test outside Wine can compare what the window writes:
//   window_pack.exe MODULE FILE...
// Prints the status line and the box ("caption:text"); exits 0 when the pack completed.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_pack_list.h"
#include "ui/pack_command.h"

namespace {

class PrintedReport : public PackReport {
 public:
  void SetStatusText(const char* text) override { printf("status:%s\n", text); }
  void ShowMessage(const char* text, const char* caption) override {
    printf("box:%s:%s\n", caption, text);
    completed = std::string(caption) == "success";
  }
  bool completed = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::vector<std::string> rows(argv + 2, argv + argc);
  PrintedReport report;
  RunPackCommand(TestList(rows), report, argv[1]);
  return report.completed ? 0 : 1;
}
