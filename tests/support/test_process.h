// Starting the real Lodkin.exe (or a helper program) as a process of its own.
#pragma once
#include <functional>
#include <string>

struct ProcessResult {
  bool started = false;
  bool finished = false;   // false when it was still running at the time limit (then killed)
  unsigned long exitCode = 0;
};

// How a program runs: its current directory (the test's own when empty), how long it
// may take before it is killed, the file that takes its standard output and error (none
// when empty), and what to do every 5 ms while it runs, given its process id.
struct ProcessOptions {
  unsigned timeoutMs = 30000;
  std::string directory;
  std::string outputPath;
  std::function<void(unsigned long processId)> whileRunning;
};

// Runs `program` with `commandLine` as the whole line it sees, its own name included as
// the caller writes it (quoted or not).
ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             const ProcessOptions& options);
ProcessResult RunCommandLine(const std::string& program, const std::string& commandLine,
                             unsigned timeoutMs = 30000, const std::string& directory = std::string());

// The program's quoted path, then the command-line tail `arguments`.
std::string QuotedCommandLine(const std::string& program, const std::string& arguments);
ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         unsigned timeoutMs = 30000, const std::string& directory = std::string());
