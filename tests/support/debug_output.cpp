#include "support/debug_output.h"

#include <windows.h>

ProcessResult RunCollectingDebugOutput(const std::string& commandLine, std::vector<std::string>* texts) {
  ProcessResult result;
  STARTUPINFOA startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  result.started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                                  nullptr, &startup, &process);
  DEBUG_EVENT e;
  while (result.started && !result.finished && WaitForDebugEvent(&e, 60000)) {
    if (e.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
      std::string text(e.u.DebugString.nDebugStringLength, '\0');
      ReadProcessMemory(process.hProcess, e.u.DebugString.lpDebugStringData, &text[0], text.size(), nullptr);
      texts->push_back(text.c_str());
    }
    if (e.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) CloseHandle(e.u.CreateProcessInfo.hFile);
    result.finished = e.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
    result.exitCode = result.finished ? e.u.ExitProcess.dwExitCode : 0;
    // The first breakpoint is the debugger's own; any other exception is the program's.
    const bool ours = e.dwDebugEventCode != EXCEPTION_DEBUG_EVENT ||
                      e.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT;
    ContinueDebugEvent(e.dwProcessId, e.dwThreadId, ours ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED);
  }
  if (!result.finished) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}
