#include "host/support/tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "support/test_files.h"

namespace {

std::string ReadText(const std::string& path) {
  if (!PathExists(path)) return std::string();
  const std::vector<char> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// The scripts point the tests at the Windows build that runs on this machine.
std::string WindowsBinFolder() {
  const char* chosen = getenv("LODKIN_WINDOWS_BIN");
  return chosen != nullptr && *chosen != '\0' ? chosen : LODKIN_WINDOWS_BIN;
}

// The native tool beside the chosen build's Lodkin.exe, which it packs by default.
std::string CliPath() {
  const std::string beside = WindowsBinFolder() + "/lodkin-cli";
  return PathExists(beside) ? beside : LODKIN_CLI_PATH;
}

RunResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const RunSettings& settings) {
  TempFolder capture;
  const std::string outPath = capture.Join("out"), errPath = capture.Join("err");
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);

  RunResult result;
  const pid_t child = fork();
  if (child < 0) return result;
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!settings.directory.empty() && chdir(settings.directory.c_str()) != 0) _exit(126);
    for (const auto& variable : settings.environment) setenv(variable.first.c_str(), variable.second.c_str(), 1);
    if (settings.fileSizeLimit != 0) {
      // A write past the limit then fails as on a full disk instead of ending the process.
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {settings.fileSizeLimit, settings.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const struct rlimit cpu = {settings.cpuSecondsLimit, settings.cpuSecondsLimit};
    if (settings.cpuSecondsLimit != 0) setrlimit(RLIMIT_CPU, &cpu);
    execvp(pointers[0], pointers.data());
    _exit(127);
  }
  int status = 0;
  const time_t deadline = time(nullptr) + settings.timeoutSeconds;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      result.finished = true;
      break;
    }
    if (settings.interruptSignal != 0 && !result.interrupted && settings.interruptWhen()) {
      kill(child, settings.interruptSignal);
      result.interrupted = true;
    }
    if (time(nullptr) > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    usleep(settings.interruptSignal != 0 ? 500 : 5000);
  }
  if (result.finished) result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  return result;
}

RunResult RunCli(const std::vector<std::string>& arguments, const RunSettings& settings) {
  return RunProcess(CliPath(), arguments, settings);
}

// The scripts name the loader of the build under test: 64-bit Wine is not on PATH.
std::string WineLoader() {
  const char* chosen = getenv("LODKIN_WINE");
  return chosen != nullptr && *chosen != '\0' ? chosen : "wine";
}

RunResult RunUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                       const RunSettings& settings) {
  RunSettings wine = settings;
  if (getenv("WINEPREFIX") == nullptr) {
    wine.environment.push_back({"WINEPREFIX", WindowsBinFolder() + "/../wineprefix"});
    wine.environment.push_back({"WINEARCH", WineLoader().find("wine64") != std::string::npos ? "win64" : "win32"});
    wine.environment.push_back({"WINEDEBUG", "-all"});
    wine.environment.push_back({"WINEDLLOVERRIDES", "mscoree,mshtml="});
  }
  std::vector<std::string> all = {program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return RunProcess(WineLoader(), all, wine);
}

std::string WinePath(const std::string& hostPath) {
  std::string path = "Z:" + hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::vector<std::string> OutputLines(const std::string& out, const std::string& key) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, key.size(), key) == 0) lines.push_back(line.substr(key.size()));
    start = end + 1;
  }
  return lines;
}
