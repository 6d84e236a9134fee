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
  std::map<HWND, size_t> known;
  ProcessOptions options;
  options.timeoutMs = timeoutMs;
  options.directory = directory;
  options.whileRunning = [&](unsigned long processId) {
    WindowSurvey survey = {processId, &known, &run.windows};
    EnumWindows(RecordWindowOf, reinterpret_cast<LPARAM>(&survey));
  };
  const DWORD start = GetTickCount();
  run.result = RunCommandLine(program, QuotedCommandLine(program, arguments), options);
  run.milliseconds = GetTickCount() - start;
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
