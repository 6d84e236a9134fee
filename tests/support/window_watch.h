// Starts a program and watches, while it runs, every top-level window that its process
// owns: a silent run must never show one, not even for a moment.
#pragma once
#include <string>
#include <vector>

#include "support/test_process.h"

struct SeenWindow {
  std::string className;
  std::string title;
  bool visible = false;
};

struct WatchedRun {
  ProcessResult result;
  std::vector<SeenWindow> windows;  // each window once, in the order first seen
  unsigned long milliseconds = 0;   // from the start to the end of the process
};

// Runs `program` with `arguments` (current directory `directory`), listing the process's
// top-level windows every 5 ms until it ends or `timeoutMs` passes (then it is killed).
WatchedRun RunWatchingWindows(const std::string& program, const std::string& arguments, unsigned timeoutMs,
                              const std::string& directory);

// Lines of a text file that ends each line with CR LF, without their ends.
std::vector<std::string> ReadCrLfLines(const std::string& path);
// The tab-separated fields of a line.
std::vector<std::string> SplitTabs(const std::string& line);
