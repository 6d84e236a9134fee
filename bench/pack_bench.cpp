// Packs a list of files through the Pack command's own code path, without a window,
// and prints how long the command took. Usage: pack_bench LISTFILE MODULE
// LISTFILE holds one full path a line, top entry first.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/pack_command.h"

namespace {

class ListFromFile : public PackFileList {
 public:
  explicit ListFromFile(const char* listPath) {
    FILE* file = fopen(listPath, "r");
    char line[1024];
    while (file != nullptr && fgets(line, sizeof(line), file) != nullptr) {
      line[strcspn(line, "\r\n")] = 0;
      if (line[0] != 0) rows_.push_back(line);
    }
    if (file != nullptr) fclose(file);
  }
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
  void ShowMessage(const char* text, const char* caption) override {}
  std::string status;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: pack_bench LISTFILE MODULE\n");
    return 2;
  }
  ListFromFile list(argv[1]);
  PrintedReport report;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  RunPackCommand(list, report, argv[2]);
  QueryPerformanceCounter(&end);
  printf("pack_ms %.1f\nstatus %s\n", 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart,
         report.status.c_str());
  return report.status == "Packaging is completed" ? 0 : 1;
}
