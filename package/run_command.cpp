#include "package/run_command.h"

#include <string.h>
#include <windows.h>

#include "package/exit_code.h"

int IsProductInstalled(const char* keyPath) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  BYTE value[1024];
  DWORD length = sizeof(value);
  const LONG read = RegQueryValueExA(key, "UninstallString", NULL, NULL, value, &length);
  RegCloseKey(key);
  return read == ERROR_SUCCESS ? 1 : 0;
}

int RunMemberNameLength(const char* text, const PackageReader& package) {
  int best = 0;
  for (int i = 0; i < package.count(); ++i) {
    const char* name = package.entry(i).name;
    const int length = static_cast<int>(strlen(name));
    if (length <= best || _strnicmp(text, name, length) != 0) continue;
    if (text[length] == ' ' || text[length] == 0) best = length;
  }
  return best;
}

int FormatQuotedCommand(char* command, int commandSize, const char* directory, const char* text,
                        int nameLength) {
  const int written = _snprintf(command, commandSize, "\"%s\\%.*s\"%s", directory, nameLength,
                                text, text + nameLength);
  if (written < 0 || written >= commandSize) {
    command[0] = 0;
    return 0;
  }
  return 1;
}

DWORD WaitForExitCode(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) code = FailureCode(GetLastError(), kExitNotDone);
  return code;
}

int StartAndWait(char* command, DWORD* exitCode) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof(process));
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    SetExitCode(exitCode, FailureCode(GetLastError(), kExitNotDone));
    return 0;
  }
  SetExitCode(exitCode, WaitForExitCode(process.hProcess));
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 1;
}
