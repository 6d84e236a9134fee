#include "package/package_run.h"

#include <errno.h>
#include <shlwapi.h>
#include <string.h>
#include <windows.h>

#include "core/package_reader.h"
#include "package/exit_code.h"
#include "package/run_command.h"
#include "package/work_directory.h"
#include "security/security_attribute.h"

static const char kCallerBlockName[] = "_SHM_VQINST_CALLER";
static const DWORD kCallerBlockSize = 1024;
static const char kInstalledSetupName[] = "KVSetup.exe";
static const char kNotFoundFormat[] = "Error: [%s] is Not Found.[%d]";
static const char kWriteFailedFormat[] = "Error: [%s] can not be written.[%d]";
static const char kDamagedFormat[] = "Error: [%s] is damaged.";
static const char kErrorCaption[] = "error";
static const char kFirstProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{2C95E0A7-61F3-4D8B-9A4E-0B7C3D12F5E9}";
static const char kSecondProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7D3A51C2-9E04-4B6F-8C21-5F0E93A7B468}";

// Room for a quoted work-directory path followed by a member name.
static const int kCommandSize = 2 * kPathBufferSize + 8;
// Room for a quoted work-directory path followed by the longest command line the
// system passes (32,767 characters): "-run" arguments are never cut.
static const int kRunCommandSize = 32768 + 2 * kPathBufferSize + 8;
static const int kMemberPathSize = 2 * kPathBufferSize + 2;

static int CarriesInstalledSetup(const PackageReader& package) {
  for (int i = 0; i < package.count(); ++i) {
    if (_stricmp(package.entry(i).name, kInstalledSetupName) == 0) return 1;
  }
  return 0;
}

// Both parts are at most 259 characters, so the path always fits.
static void FormatMemberPath(char (&memberPath)[kMemberPathSize], const char* workDirectory,
                             const char* name) {
  _snprintf(memberPath, sizeof(memberPath) - 1, "%s\\%s", workDirectory, name);
  memberPath[sizeof(memberPath) - 1] = 0;
}

// A write that the disk took only in part leaves no system error behind (the stream
// sees a short count and nothing more): a disk with no room left is then the cause.
static DWORD WriteFailureCode(DWORD systemError, const char* workDirectory) {
  if (systemError != 0) return systemError;
  if (errno == ENOSPC) return ERROR_DISK_FULL;
  ULARGE_INTEGER available, total, free;
  if (GetDiskFreeSpaceExA(workDirectory, &available, &total, &free) && available.QuadPart < 65536) {
    return ERROR_DISK_FULL;
  }
  return ERROR_WRITE_FAULT;
}

// Writes member `index` to `path`, checking it against its checksum as it goes. Returns
// kMemberIntact when it was written whole, matches and was closed; otherwise the file is
// deleted (a member is never left behind half written or damaged) and, for a write that
// failed, *error holds the system error code.
static MemberCopyResult WriteMember(PackageReader& package, int index, const char* workDirectory,
                                    const char* path, const CopyBuffer& buffer, DWORD* error) {
  BinaryFile member;
  if (!CreateOutputFile(member, path)) {
    *error = FailureCode(GetLastError(), ERROR_OPEN_FAILED);
    return kMemberCopyFailed;
  }
  SetLastError(0);
  errno = 0;
  MemberCopyResult result = package.CopyMember(index, member, buffer);
  DWORD code = result == kMemberCopyFailed ? WriteFailureCode(GetLastError(), workDirectory) : 0;
  if (!member.Close() && result != kMemberCopyFailed) {
    code = WriteFailureCode(GetLastError(), workDirectory);
    result = kMemberCopyFailed;
  }
  if (result == kMemberIntact) return result;
  *error = code;
  DeleteFileA(path);
  return result;
}

// Removes the members written so far and the work directory itself. Only the run's own
// names are deleted: whatever else appeared in the folder keeps it in place.
static void RemoveWrittenMembers(const PackageReader& package, int count, const char* workDirectory) {
  for (int i = 0; i < count; ++i) {
    char memberPath[kMemberPathSize];
    FormatMemberPath(memberPath, workDirectory, package.entry(i).name);
    DeleteFileA(memberPath);
  }
  RemoveDirectoryA(workDirectory);
}

// On failure the work directory is gone again, and *failed tells which member could not
// be written whole (failedPath and *error say where and why) or was damaged.
static MemberCopyResult ExtractMembers(PackageReader& package, const char* workDirectory,
                                       char (&failedPath)[kMemberPathSize], int* failed, DWORD* error) {
  CopyBuffer buffer;
  if (!buffer.isReady()) {
    *failed = 0;
    *error = ERROR_NOT_ENOUGH_MEMORY;
    RemoveWrittenMembers(package, 0, workDirectory);
    return kMemberCopyFailed;
  }
  for (int i = 0; i < package.count(); ++i) {
    FormatMemberPath(failedPath, workDirectory, package.entry(i).name);
    const MemberCopyResult result = WriteMember(package, i, workDirectory, failedPath, buffer, error);
    if (result != kMemberIntact) {
      *failed = i;
      RemoveWrittenMembers(package, i, workDirectory);
      return result;
    }
  }
  return kMemberIntact;
}

// The box of a run that could not write its files; the run starts nothing after it.
static DWORD ReportWriteFailure(const char* path, DWORD error) {
  char message[kMemberPathSize + 64];
  _snprintf(message, sizeof(message) - 1, kWriteFailedFormat, path, static_cast<int>(error));
  message[sizeof(message) - 1] = 0;
  MessageBoxA(NULL, message, kErrorCaption, MB_OK);
  return error;
}

// The box of a run that found a member not as it was packed; nothing is started after it.
static DWORD ReportDamagedMember(const char* name) {
  char message[kMemberPathSize + 64];
  _snprintf(message, sizeof(message) - 1, kDamagedFormat, name);
  message[sizeof(message) - 1] = 0;
  MessageBoxA(NULL, message, kErrorCaption, MB_OK);
  return ERROR_FILE_CORRUPT;
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

static int IsAnyProductInstalled() {
  return IsProductInstalled(kFirstProductKey) || IsProductInstalled(kSecondProductKey);
}

int RunPackage(char* commandLine, DWORD* exitCode) {
  // A plain program, or a package that cannot be read: the window opens, and that is
  // no failure of a package.
  SetExitCode(exitCode, 0);
  char packagePath[kPathBufferSize];
  if (!GetModulePath(packagePath, sizeof(packagePath))) return 0;

  char workDirectory[kPathBufferSize];
  int installedSetup = 0;
  char runCommand[kRunCommandSize];
  runCommand[0] = 0;
  const char* runOption = strstr(commandLine, "-run");
  {
    PackageReader package;
    if (!package.Open(packagePath)) return 0;
    installedSetup = CarriesInstalledSetup(package);
    DWORD error = 0;
    if (!CreateWorkDirectory(installedSetup, workDirectory, &error)) {
      SetExitCode(exitCode, ReportWriteFailure(workDirectory, error));
      return 0;
    }
    char failedPath[kMemberPathSize];
    int failed = 0;
    const MemberCopyResult extracted = ExtractMembers(package, workDirectory, failedPath, &failed, &error);
    if (extracted == kMemberDamaged) {
      SetExitCode(exitCode, ReportDamagedMember(package.entry(failed).name));
      return 0;
    }
    if (extracted != kMemberIntact) {
      SetExitCode(exitCode, ReportWriteFailure(failedPath, error));
      return 0;
    }
    if (runOption != NULL) {
      // The member named after "-run" is read from the fifth character on, wherever
      // "-run" stood; what follows the name stays that program's arguments.
      const char* text = commandLine + 4;
      while (*text == ' ') ++text;
      const int nameLength = RunMemberNameLength(text, package);
      if (nameLength > 0) {
        FormatQuotedCommand(runCommand, sizeof(runCommand), workDirectory, text, nameLength);
      }
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
      StartAndWait(command, exitCode);
    } else {
      SetExitCode(exitCode, ERROR_FILENAME_EXCED_RANGE);
    }
    return 1;  // the caller-path block lives until the process ends, soon after
  }

  // The "-run" program's exit code is not the package's result.
  if (runCommand[0] != 0) StartAndWait(runCommand, nullptr);

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
      SetExitCode(exitCode, FailureCode(error, ERROR_FILE_NOT_FOUND));
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
  if (ShellExecuteExA(&execute) && execute.hProcess != NULL) {
    SetExitCode(exitCode, WaitForExitCode(execute.hProcess));
  } else {
    SetExitCode(exitCode, ShellStartFailure(execute));
  }
  if (callerBlock != NULL) CloseHandle(callerBlock);
  return 1;
}
