// Stand-in for a packaged setup program: appends to the file named by the environment
// variable LODKIN_STAND_IN_RECORD what it was handed, one "key=value" line each, and a
// blank line after the last:
//   self=<own path>  cmdline=<whole command line>  tail=<text after the program token>
//   cwd=<current directory>  files=<names beside it, '|'-separated, sorted ignoring case>
//   caller=<text of _SHM_VQINST_CALLER, or "(none)">  caller_rw=<1 when opened read-write>
//   pid=<its own process id>
// It exits with the code in LODKIN_STAND_IN_EXIT_CODE_<NAME> (NAME: its own file name
// without extension, upper-cased, so that two members of one package can differ), else
// in LODKIN_STAND_IN_EXIT_CODE, else with 0.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

static std::string CommandTail(const char* line) {
  const char* p = line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ') ++p;
  }
  while (*p == ' ') ++p;
  return p;
}

static std::string FilesBeside(const std::string& self) {
  const std::string folder = self.substr(0, self.find_last_of('\\'));
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) < 0;
  });
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : "|") + name;
  return joined;
}

static int ExitCodeFor(const std::string& self) {
  std::string name = self.substr(self.find_last_of('\\') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  char value[32] = {};
  if (GetEnvironmentVariableA(("LODKIN_STAND_IN_EXIT_CODE_" + name).c_str(), value, sizeof(value)) == 0 &&
      GetEnvironmentVariableA("LODKIN_STAND_IN_EXIT_CODE", value, sizeof(value)) == 0) {
    return 0;
  }
  return static_cast<int>(strtoul(value, nullptr, 10));
}

int main() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const int exitCode = ExitCodeFor(self);
  char recordPath[MAX_PATH] = {};
  if (GetEnvironmentVariableA("LODKIN_STAND_IN_RECORD", recordPath, MAX_PATH) == 0) return exitCode;  // nothing to record: exit at once, as the benchmark wants
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);

  std::string caller = "(none)";
  int callerReadWrite = 0;
  HANDLE block = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, "_SHM_VQINST_CALLER");
  if (block != nullptr) {
    const char* view = static_cast<const char*>(MapViewOfFile(block, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 1024));
    if (view != nullptr) {
      callerReadWrite = 1;
      caller.assign(view, strnlen(view, 1024));
      UnmapViewOfFile(view);
    }
    CloseHandle(block);
  }

  FILE* record = fopen(recordPath, "ab");
  if (record == nullptr) return 3;
  const char* line = GetCommandLineA();
  fprintf(record, "self=%s\ncmdline=%s\ntail=%s\ncwd=%s\nfiles=%s\ncaller=%s\ncaller_rw=%d\npid=%lu\n\n", self,
          line, CommandTail(line).c_str(), cwd, FilesBeside(self).c_str(), caller.c_str(),
          callerReadWrite, GetCurrentProcessId());
  fclose(record);
  return exitCode;
}
