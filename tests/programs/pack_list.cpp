// Packs files through the Pack command's own code path, for tests driven from outside
// Wine. Usage: pack_list MODULE FILE...  (top entry first; the package goes beside it as
// KVPACK_<folder>.exe). MODULE stands for the running program's own file. Prints the
// status-line text; exits 0 when the package was written.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_pack_list.h"
#include "ui/pack_command.h"

namespace {

class PrintedReport : public PackReport {
 public:
  void SetStatusText(const char* text) override { status = text; }
  void ShowMessage(const char* text, const char* caption) override {
    printf("%s: %s\n", caption, text);
  }
  std::string status;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: pack_list MODULE FILE...\n");
    return 2;
  }
  const TestList list(std::vector<std::string>(argv + 2, argv + argc));
  PrintedReport report;
  RunPackCommand(list, report, argv[1]);
  printf("status %s\n", report.status.c_str());
  return report.status == "Packaging is completed" ? 0 : 1;
}
