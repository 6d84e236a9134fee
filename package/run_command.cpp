#include "package/run_command.h"

#include <string.h>
#include <windows.h>

#include <shellapi.h>

#include "core/path_join.h"
#include "package/exit_code.h"
#include "package/work_directory.h"
#include "win32/unique_resource.h"

int IsProductInstalled(const char* keyPath) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
  BYTE value[1024];
  DWORD length = sizeof(value);
  return RegQueryValueExA(key.get(), "UninstallString", NULL, NULL, value, &length) == ERROR_SUCCESS ? 1 : 0;
}

int RunMemberNameLength(const char* text, const PackageReader& package, int* index) {
  int best = 0;
  int bestIndex = -1;
  for (int i = 0; i < package.count(); ++i) {
    const char* name = package.entry(i).name;
    const int length = static_cast<int>(strlen(name));
    if (length <= best || _strnicmp(text, name, length) != 0) continue;
    if (text[length] == ' ' || text[length] == 0) {
      best = length;
      bestIndex = i;
    }
  }
  if (index != nullptr) *index = bestIndex;
  return best;
}

int FormatQuotedCommand(char* command, int commandSize, const char* directory, const char* text,
                        int nameLength) {
  char name[kPathBufferSize];
  char path[kMemberPathSize];
  const size_t capacity = static_cast<size_t>(commandSize);
  command[0] = 0;
  if (nameLength < 0 || nameLength >= kPathBufferSize) return 0;
  memcpy(name, text, nameLength);
  name[nameLength] = 0;
  // The quotes keep a blank in the path from making the system start a prefix of it.
  const int done = JoinPath(path, directory, name) && ConcatPath(command, capacity, "\"", path) &&
                   ConcatPath(command, capacity, command, "\"") &&
                   ConcatPath(command, capacity, command, text + nameLength);
  if (!done) command[0] = 0;
  return done;
}

DWORD WaitForExitCode(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) code = FailureCode(GetLastError(), kExitNotDone);
  return code;
}

int StartAndWait(char* command, DWORD* exitCode, MemberTree* heldUntilStarted) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  UniqueProcessInformation started;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, started.put())) {
    *exitCode = FailureCode(GetLastError(), kExitNotDone);
    return 0;
  }
  if (heldUntilStarted != nullptr) heldUntilStarted->ReleaseAll();
  *exitCode = WaitForExitCode(started.process());
  return 1;
}

// The shell reports a failed start in hInstApp, in its older codes, and does not always
// set the last error (Wine leaves it as it was). The codes 2, 3, 5, 8 and 11 are system
// error codes of the same meaning; the others are translated.
static DWORD ShellStartFailure(const SHELLEXECUTEINFOA& execute) {
  const INT_PTR code = reinterpret_cast<INT_PTR>(execute.hInstApp);
  switch (code) {
    case SE_ERR_FNF:
    case SE_ERR_PNF:
    case SE_ERR_ACCESSDENIED:
    case SE_ERR_OOM:
    case ERROR_BAD_FORMAT:
      return static_cast<DWORD>(code);
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
  }
  return FailureCode(GetLastError(), kExitNotDone);
}

int ShellStartAndWait(const char* file, const char* parameters, int quiet, DWORD* exitCode,
                      MemberTree* heldUntilStarted) {
  SHELLEXECUTEINFOA execute;
  memset(&execute, 0, sizeof(execute));
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | (quiet ? SEE_MASK_FLAG_NO_UI : 0);
  execute.lpVerb = "open";
  execute.lpFile = file;
  execute.lpParameters = parameters;
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&execute) || execute.hProcess == NULL) {
    *exitCode = ShellStartFailure(execute);
    return 0;
  }
  const UniqueHandle process(execute.hProcess);
  if (heldUntilStarted != nullptr) heldUntilStarted->ReleaseAll();
  *exitCode = WaitForExitCode(process.get());
  return 1;
}
