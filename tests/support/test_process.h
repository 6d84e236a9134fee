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
ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         unsigned timeoutMs = 30000, const std::string& directory = std::string());
