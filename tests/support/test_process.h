// Starting the real Lodkin.exe (or a helper program) as a process of its own.
#pragma once
#include <string>

struct ProcessResult {
  bool started = false;
  bool finished = false;   // false when it was still running at the time limit (then killed)
  unsigned long exitCode = 0;
};

// Runs `program` with the command-line tail `arguments`, its current directory set to
// `directory` when not empty, and waits up to `timeoutMs`.
// Runs `program` with `commandLine` as the whole line it sees, its own name included as
// the caller writes it (quoted or not).
ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             unsigned timeoutMs = 30000, const std::string& directory = std::string());

ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         unsigned timeoutMs = 30000, const std::string& directory = std::string());
