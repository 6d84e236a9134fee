#include "package/package_run.h"

#include <shlwapi.h>
#include <string.h>
#include <windows.h>

#include "core/package_reader.h"
#include "package/run_command.h"
#include "package/work_directory.h"
#include "security/security_attribute.h"

static const char kCallerBlockName[] = "_SHM_VQINST_CALLER";
static const DWORD kCallerBlockSize = 1024;
static const char kInstalledSetupName[] = "KVSetup.exe";
static const char kNotFoundFormat[] = "Error: [%s] is Not Found.[%d]";
static const char kErrorCaption[] = "error";
static const char kFirstProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{2C95E0A7-61F3-4D8B-9A4E-0B7C3D12F5E9}";
static const char kSecondProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7D3A51C2-9E04-4B6F-8C21-5F0E93A7B468}";

// Room for a quoted work-directory path followed by the rest of a command line.
static const int kCommandSize = 2 * kPathBufferSize + 8;

static int CarriesInstalledSetup(const PackageReader& package) {
  for (int i = 0; i < package.count(); ++i) {
    if (_stricmp(package.entry(i).name, kInstalledSetupName) == 0) return 1;
  }
  return 0;
}

static int ExtractMembers(PackageReader& package, const char* workDirectory) {
  CopyBuffer buffer;
  if (!buffer.isReady()) return 0;
  for (int i = 0; i < package.count(); ++i) {
    char memberPath[2 * kPathBufferSize + 2];
    _snprintf(memberPath, sizeof(memberPath) - 1, "%s\\%s", workDirectory, package.entry(i).name);
    memberPath[sizeof(memberPath) - 1] = 0;
    BinaryFile member;
    if (!CreateOutputFile(member, memberPath)) return 0;
    // A member that could not be written whole (a full disk) is not left behind half
    // written, and no setup program is started on a damaged set of files.
    const int written = package.CopyMember(i, member, buffer) == kMemberCopied;
    if (!member.Close() || !written) {
      DeleteFileA(memberPath);
      return 0;
    }
  }
  return 1;
}

// The handle stays open: it keeps the block alive for the setup program.
static HANDLE PublishCallerPath(const char* packagePath, LPSECURITY_ATTRIBUTES attributes) {
  HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, attributes, PAGE_READWRITE, 0,
                                    kCallerBlockSize, kCallerBlockName);
  if (block == NULL) return NULL;
  void* view = MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, 0);
  if (view != NULL) {
    memcpy(view, packagePath, strlen(packagePath) + 1);
    UnmapViewOfFile(view);
  }
  return block;
}

static int IsAnyProductInstalled() {
  return IsProductInstalled(kFirstProductKey) || IsProductInstalled(kSecondProductKey);
}

int RunPackage(char* commandLine) {
  char packagePath[kPathBufferSize];
  memset(packagePath, 0, sizeof(packagePath));
  GetModuleFileNameA(NULL, packagePath, sizeof(packagePath) - 1);

  char workDirectory[kPathBufferSize];
  int installedSetup = 0;
  char runCommand[kCommandSize];
  runCommand[0] = 0;
  const char* runOption = strstr(commandLine, "-run");
  {
    PackageReader package;
    if (!package.Open(packagePath)) return 0;
    installedSetup = CarriesInstalledSetup(package);
    CreateWorkDirectory(installedSetup, workDirectory);
    if (!ExtractMembers(package, workDirectory)) return 0;
    if (runOption != NULL) {
      // The member named after "-run" is read from the fifth character on, wherever
      // "-run" stood; what follows the name stays that program's arguments.
      const char* text = commandLine + 4;
      while (*text == ' ') ++text;
      FormatQuotedCommand(runCommand, sizeof(runCommand), workDirectory, text,
                          RunMemberNameLength(text, package));
    }
  }
  ScheduleDeleteAtReboot(workDirectory);

  CSecurityAttribute security;
  HANDLE callerBlock = PublishCallerPath(packagePath, security.m_pSecurityAttributes);

  if (installedSetup && commandLine[0] == 0 && IsAnyProductInstalled()) {
    char command[kCommandSize];
    const char* name = kInstalledSetupName;
    if (FormatQuotedCommand(command, sizeof(command), workDirectory, name,
                            static_cast<int>(strlen(name)))) {
      StartAndWait(command);
    }
    return 1;  // the caller-path block lives until the process ends, soon after
  }

  if (runCommand[0] != 0) StartAndWait(runCommand);

  char setupPath[kPathBufferSize + 16];
  _snprintf(setupPath, sizeof(setupPath) - 1, "%s\\SETUP.EXE", workDirectory);
  setupPath[sizeof(setupPath) - 1] = 0;
  if (!PathFileExistsA(setupPath)) {
    _snprintf(setupPath, sizeof(setupPath) - 1, "%s\\KVSET.EXE", workDirectory);
    if (!PathFileExistsA(setupPath)) {
      const DWORD error = GetLastError();
      char message[sizeof(setupPath) + 64];
      _snprintf(message, sizeof(message) - 1, kNotFoundFormat, setupPath, static_cast<int>(error));
      message[sizeof(message) - 1] = 0;
      MessageBoxA(NULL, message, kErrorCaption, MB_OK);
      return 0;  // the block lives on with the process, which opens the window next
    }
  }

  char quotedSetup[sizeof(setupPath) + 2];
  _snprintf(quotedSetup, sizeof(quotedSetup) - 1, "\"%s\"", setupPath);
  quotedSetup[sizeof(quotedSetup) - 1] = 0;
  SHELLEXECUTEINFOA execute;
  memset(&execute, 0, sizeof(execute));
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpVerb = "open";
  execute.lpFile = quotedSetup;
  execute.lpParameters = strncmp(commandLine, "-s", 2) == 0 ? commandLine : "";
  execute.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&execute);
  if (execute.hProcess != NULL) WaitForSingleObject(execute.hProcess, INFINITE);
  if (callerBlock != NULL) CloseHandle(callerBlock);
  return 1;
}
