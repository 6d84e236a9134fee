#include "support/test_process.h"

#include <windows.h>

#include <vector>

ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         unsigned timeoutMs, const std::string& directory) {
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  return RunCommandLine(program, commandLine, timeoutMs, directory);
}

ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             unsigned timeoutMs, const std::string& directory) {
  ProcessResult result;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    return result;
  }
  result.started = true;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    result.finished = true;
    GetExitCodeProcess(process.hProcess, &result.exitCode);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}
