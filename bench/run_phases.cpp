// Where the time of a package run goes: the same steps as the run, each timed on its own
// with the product's own functions (the restart records from a walk of the directory, as
// the tests make them). Usage: run_phases PACKAGE
// Prints one "phase milliseconds" line per step; the work directory is left in place.
#include <windows.h>

#include <cstdio>

#include "core/package_reader.h"
#include "package/work_directory.h"
#include "tests/support/directory_deletions.h"
#include "tests/support/output_file.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * now.QuadPart / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: run_phases PACKAGE\n");
    return 2;
  }
  double create = 0, copy = 0, close = 0;
  double mark = Now();
  PackageReader package;
  if (!package.Open(argv[1])) return 1;
  char workDirectory[kPathBufferSize];
  DWORD error = 0;
  UniqueHandle held;
  if (!CreateWorkDirectory(0, workDirectory, &held, &error)) return 1;
  const double open = Now() - mark;
  CopyBuffer buffer;
  for (int i = 0; i < package.count(); ++i) {
    char memberPath[2 * kPathBufferSize + 2];
    snprintf(memberPath, sizeof(memberPath), "%s\\%s", workDirectory, package.entry(i).name);
    BinaryFile member;
    mark = Now();
    if (!CreateOutputFile(member, memberPath)) return 1;
    double next = Now();
    create += next - mark;
    mark = next;
    if (package.CopyMember(i, member, buffer) != kMemberIntact) return 1;
    next = Now();
    copy += next - mark;
    mark = next;
    if (!member.Close()) return 1;
    close += Now() - mark;
  }
  mark = Now();
  ScheduleDeleteAtReboot(workDirectory);
  const double records = Now() - mark;

  char setup[kPathBufferSize + 16];
  snprintf(setup, sizeof(setup), "\"%s\\SETUP.EXE\"", workDirectory);
  mark = Now();
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpVerb = "open";
  execute.lpFile = setup;
  execute.lpParameters = "";
  execute.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&execute);
  if (execute.hProcess != nullptr) WaitForSingleObject(execute.hProcess, INFINITE);
  const double start = Now() - mark;
  printf("open %.1f\ncreate %.1f\ncopy %.1f\nclose %.1f\nrecords %.1f\nsetup %.1f\n", open, create, copy,
         close, records, start);
  return 0;
}
