// Runs a program under Wine for the native tests and closes the boxes it shows, as the
// Windows tests' WindowCloser does in-process: usage run_closing_boxes PROGRAM [TAIL].
// Prints "exit=CODE" and one "box=TEXT" line per box, then exits 0; 2 when the program
// could not be started or did not end within a minute.
#include <stdio.h>
#include <windows.h>

#include <string>

#include "support/window_closer.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string command = std::string("\"") + argv[1] + "\"";
  for (int i = 2; i < argc; ++i) command += std::string(" ") + argv[i];
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  WindowCloser closer;
  closer.Start();
  if (!CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    closer.Finish();
    return 2;
  }
  const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  closer.Finish();
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  printf("exit=%lu\n", static_cast<unsigned long>(code));
  for (const std::string& text : closer.boxTexts) printf("box=%s\n", text.c_str());
  return waited == WAIT_OBJECT_0 ? 0 : 2;
}
