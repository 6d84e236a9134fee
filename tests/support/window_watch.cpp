#include "support/window_watch.h"

#include <windows.h>

#include <map>

#include "support/test_files.h"

namespace {

struct WindowSurvey {
  DWORD processId;
  std::map<HWND, size_t>* known;
  std::vector<SeenWindow>* windows;
};

BOOL CALLBACK RecordWindowOf(HWND window, LPARAM context) {
  WindowSurvey* survey = reinterpret_cast<WindowSurvey*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != survey->processId) return TRUE;
  SeenWindow seen;
  char text[256] = {};
  GetClassNameA(window, text, sizeof(text));
  seen.className = text;
  GetWindowTextA(window, text, sizeof(text));
  seen.title = text;
  seen.visible = IsWindowVisible(window) != 0;
  auto found = survey->known->find(window);
  if (found == survey->known->end()) {
    (*survey->known)[window] = survey->windows->size();
    survey->windows->push_back(seen);
  } else if (seen.visible) {
    (*survey->windows)[found->second].visible = true;  // shown after it was made
  }
  return TRUE;
}

}  // namespace

WatchedRun RunWatchingWindows(const std::string& program, const std::string& arguments, unsigned timeoutMs,
                              const std::string& directory) {
  WatchedRun run;
  std::string commandLine = "\"" + program + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const DWORD start = GetTickCount();
  if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    return run;
  }
  run.result.started = true;
  std::map<HWND, size_t> known;
  WindowSurvey survey = {process.dwProcessId, &known, &run.windows};
  for (;;) {
    EnumWindows(RecordWindowOf, reinterpret_cast<LPARAM>(&survey));
    if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) {
      run.result.finished = true;
      GetExitCodeProcess(process.hProcess, &run.result.exitCode);
      break;
    }
    if (GetTickCount() - start > timeoutMs) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  run.milliseconds = GetTickCount() - start;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

std::vector<std::string> ReadCrLfLines(const std::string& path) {
  std::vector<std::string> lines;
  if (!FileExists(path)) return lines;
  const std::vector<char> bytes = ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}
