// Packs a list of files through the Pack command's own code path, without a window,
// and prints how long the command took. Usage: pack_bench LISTFILE MODULE
// LISTFILE holds one full path a line, top entry first.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/recorded_report.h"
#include "tests/support/test_pack_list.h"
#include "ui/pack_command.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: pack_bench LISTFILE MODULE\n");
    return 2;
  }
  const TestList list(ReadListFile(argv[1]));
  RecordedReport report;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  RunPackCommand(list, report, argv[2]);
  QueryPerformanceCounter(&end);
  printf("pack_ms %.1f\nstatus %s\n", 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart,
         report.status.c_str());
  return report.status == "Packaging is completed" ? 0 : 1;
}
