#include "support/test_process.h"

#include <windows.h>

#include <vector>

namespace {

// True when the process ended within the time limit.
bool WaitForEnd(const PROCESS_INFORMATION& process, const ProcessOptions& options, DWORD start) {
  if (!options.whileRunning) return WaitForSingleObject(process.hProcess, options.timeoutMs) == WAIT_OBJECT_0;
  for (;;) {
    options.whileRunning(process.dwProcessId);
    if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start > options.timeoutMs) return false;
  }
}

}  // namespace

std::string QuotedCommandLine(const std::string& program, const std::string& arguments) {
  return "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
}

ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         unsigned timeoutMs, const std::string& directory) {
  return RunCommandLine(program, QuotedCommandLine(program, arguments), timeoutMs, directory);
}

ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             unsigned timeoutMs, const std::string& directory) {
  ProcessOptions options;
  options.timeoutMs = timeoutMs;
  options.directory = directory;
  return RunCommandLine(program, commandLine, options);
}

ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             const ProcessOptions& options) {
  ProcessResult result;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!options.outputPath.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    output = CreateFileA(options.outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                         nullptr);
    if (output == INVALID_HANDLE_VALUE) return result;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION process = {};
  const DWORD start = GetTickCount();
  result.started = CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE,
                                  0, nullptr, options.directory.empty() ? nullptr : options.directory.c_str(),
                                  &startup, &process) != 0;
  // The child has its own copy of the output handle.
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (!result.started) return result;
  result.finished = WaitForEnd(process, options, start);
  if (result.finished) {
    GetExitCodeProcess(process.hProcess, &result.exitCode);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}
