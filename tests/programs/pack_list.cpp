// Packs files through the Pack command's own code path, for tests driven from outside
// Wine. Usage: pack_list MODULE FILE...  (top entry first; the package goes beside it as
// KVPACK_<folder>.exe). MODULE stands for the running program's own file. Prints the
// status-line text; exits 0 when the package was written.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/pack_command.h"

namespace {

class ArgumentList : public PackFileList {
 public:
  ArgumentList(int count, char** rows) : rows_(rows, rows + count) {}
  int GetCount() const override { return static_cast<int>(rows_.size()); }
  void GetRowText(int row, char (&text)[260]) const override {
    strncpy(text, rows_[row].c_str(), sizeof(text) - 1);
    text[sizeof(text) - 1] = 0;
  }

 private:
  std::vector<std::string> rows_;
};

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
  ArgumentList list(argc - 2, argv + 2);
  PrintedReport report;
  RunPackCommand(list, report, argv[1]);
  printf("status %s\n", report.status.c_str());
  return report.status == "Packaging is completed" ? 0 : 1;
}
