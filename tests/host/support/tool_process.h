// Programs started as processes of their own, their output caught in files (never in
// pipes: Wine's background services would inherit them and hold them open).
#pragma once
#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct RunSettings {
  std::string directory;                   // current folder; empty: the test's own
  uint64_t fileSizeLimit = 0;              // RLIMIT_FSIZE for the child, 0: none
  unsigned cpuSecondsLimit = 0;            // RLIMIT_CPU for the child, 0: none
  unsigned timeoutSeconds = 120;           // killed after this
  std::vector<std::pair<std::string, std::string>> environment;  // set in the child
  // Sent once to the child (not to the process group) as soon as interruptWhen holds.
  int interruptSignal = 0;
  std::function<bool()> interruptWhen;
};

struct RunResult {
  bool finished = false;  // false: killed at the time limit
  int exitStatus = -1;    // 128 + the signal for a process that a signal ended
  bool interrupted = false;  // interruptSignal was sent
  std::string out, err;
};

// Where the cross build put Lodkin.exe, stand_in_setup.exe and lodkin-cli itself;
// empty when the host build was configured without it.
std::string WindowsBinFolder();
std::string CliPath();

RunResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const RunSettings& settings = RunSettings());
// The native lodkin-cli.
RunResult RunCli(const std::vector<std::string>& arguments, const RunSettings& settings = RunSettings());

// Wine, with the private prefix of the cross build unless the caller's environment
// already names one (the scripts export it and keep a wineserver running).
std::string WineLoader();
RunResult RunUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                       const RunSettings& settings = RunSettings());
// A host path as a program under Wine sees it: Z: and backslashes.
std::string WinePath(const std::string& hostPath);

// Lines of a helper program's output that start with `key`, without it and without CR.
std::vector<std::string> OutputLines(const std::string& out, const std::string& key);
