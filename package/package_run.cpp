#include "package/package_run.h"

#include <errno.h>
#include <shlwapi.h>
#include <string.h>
#include <windows.h>

#include "core/member_name.h"
#include "core/package_reader.h"
#include "core/path_join.h"
#include "package/disk_space.h"
#include "package/exit_code.h"
#include "package/member_tree.h"
#include "package/own_package.h"
#include "package/reboot_deletion.h"
#include "package/run_command.h"
#include "package/run_failure.h"
#include "package/silent_run.h"
#include "package/system_threads.h"
#include "package/work_directory.h"
#include "package/work_directory_owner.h"
#include "security/security_attribute.h"
#include "win32/unique_resource.h"

static const char* const kCallerBlockName = "_SHM_VQINST_CALLER";
static const DWORD kCallerBlockSize = 1024;
static const char* const kInstalledSetupName = "KVSetup.exe";
static const char* const kSetupName = "SETUP.EXE";
static const char* const kOtherSetupName = "KVSET.EXE";
static const char* const kStartedNames[] = {kSetupName, kOtherSetupName, kInstalledSetupName};
static const char* const kNotFoundFormat = "Error: [%s] is Not Found.[%d]";
static const char* const kWriteFailedFormat = "Error: [%s] can not be written.[%d]";
static const char* const kDamagedFormat = "Error: [%s] is damaged.";
static const char* const kUnreadableFormat = "Error: [%s] can not be read.[%d]";
// No box of the run says this: the shell shows its own. The log still needs a line.
static const char* const kNotStartedFormat = "Error: [%s] can not be started.[%d]";
static const char* const kFirstProductKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{2C95E0A7-61F3-4D8B-9A4E-0B7C3D12F5E9}";
static const char* const kSecondProductKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7D3A51C2-9E04-4B6F-8C21-5F0E93A7B468}";

// Room for a quoted work-directory path followed by a member name.
static const int kCommandSize = 2 * kPathBufferSize + 8;
// Room for a quoted work-directory path followed by the longest command line the
// system passes (32,767 characters): "-run" arguments are never cut.
static const int kRunCommandSize = 32768 + 2 * kPathBufferSize + 8;

static int CarriesInstalledSetup(const PackageReader& package) {
  for (int i = 0; i < package.count(); ++i) {
    if (_stricmp(package.entry(i).name, kInstalledSetupName) == 0) return 1;
  }
  return 0;
}

// A write that the disk took only in part leaves no system error behind (the stream
// sees a short count and nothing more): a disk with no room left is then the cause.
static DWORD WriteFailureCode(DWORD systemError, const char* workDirectory) {
  if (systemError != 0) return systemError;
  if (errno == ENOSPC || IsNearlyFull(workDirectory)) return ERROR_DISK_FULL;
  return ERROR_WRITE_FAULT;
}

// The system error code of a copy that failed: a shortage of memory is one, never a
// full disk; a read names what the package's file reported.
static DWORD CopyFailureCode(MemberCopyResult result, const char* workDirectory) {
  if (result == kMemberNoMemory) return ERROR_NOT_ENOUGH_MEMORY;
  if (result == kMemberReadFailed) return FailureCode(GetLastError(), ERROR_READ_FAULT);
  return WriteFailureCode(GetLastError(), workDirectory);
}

// Writes member `index` to `path`, checking it against its checksum as it goes; a folder
// entry is made and its record checked. Returns kMemberIntact when it was written whole,
// matches and was closed; otherwise, unless damaged, *error holds the system error code
// (ERROR_ALREADY_EXISTS for anything of that name that the run did not make).
// The work directory's owner takes away whatever a failed run wrote.
static MemberCopyResult WriteMember(PackageReader& package, int index, const char* workDirectory,
                                    const char* path, MemberTree& tree, const CopyBuffer& buffer, DWORD* error) {
  if (!tree.MakeFoldersFor(index, path, error)) return kMemberWriteFailed;
  BinaryFile member;
  // A folder entry holds no bytes: its copy writes nothing and checks its record.
  const int folder = IsFolderMemberName(package.entry(index).name, package.nameCodePage());
  if (!folder && !tree.CreateMemberFile(index, path, member, error)) {
    *error = FailureCode(*error, ERROR_OPEN_FAILED);
    return kMemberWriteFailed;
  }
  SetLastError(0);
  errno = 0;
  MemberCopyResult result = package.CopyMember(index, member, buffer);
  if (result != kMemberIntact) *error = CopyFailureCode(result, workDirectory);
  if (folder) return result;
  if (!member.Close() && result == kMemberIntact) {
    *error = WriteFailureCode(GetLastError(), workDirectory);
    result = kMemberWriteFailed;
  }
  if (result == kMemberIntact && !tree.HoldMemberFile(index, path, error)) result = kMemberWriteFailed;
  return result;
}

// The programs that the run may start stay held from their writing until they have
// started, wherever they stand in the package: the setup programs and the "-run"
// member (`runMember`, -1 for none).
static void HoldProgramsUntilStarted(const PackageReader& package, int runMember, MemberTree& tree) {
  for (int i = 0; i < package.count(); ++i) {
    int started = i == runMember;
    for (const char* name : kStartedNames) started |= _stricmp(package.entry(i).name, name) == 0;
    if (started) tree.HoldUntilStarted(i);
  }
}

// On failure *failed tells which member could not be written whole (failedPath and
// *error say where and why) or was damaged.
static MemberCopyResult ExtractMembers(PackageReader& package, WorkDirectory& work, int runMember,
                                       char (&failedPath)[kMemberPathSize], int* failed, DWORD* error) {
  CopyBuffer buffer;
  MemberTree& tree = work.members();
  MemberCopyResult result = kMemberIntact;
  *failed = 0;
  *error = ERROR_NOT_ENOUGH_MEMORY;
  ConcatPath(failedPath, work.path(), "");
  if (!buffer.isReady() || !tree.Start(package, work.path())) {
    result = kMemberNoMemory;
  } else {
    HoldProgramsUntilStarted(package, runMember, tree);
  }
  package.SetWrittenMembers(&tree);
  for (int i = 0; i < package.count() && result == kMemberIntact; ++i) {
    *failed = i;
    // Both parts are under 260 characters: the path always fits the buffer, and every
    // path was held against the system's limits before the first member.
    JoinPath(failedPath, work.path(), package.entry(i).name);
    result = WriteMember(package, i, work.path(), failedPath, tree, buffer, error);
  }
  return result;
}

// The block holds the package's path for the setup program; the handle keeps it alive
// until the run returns.
static UniqueHandle PublishCallerPath(const char* packagePath) {
  CSecurityAttribute security;
  UniqueHandle block(CreateFileMappingA(INVALID_HANDLE_VALUE, security.m_pSecurityAttributes, PAGE_READWRITE,
                                        0, kCallerBlockSize, kCallerBlockName));
  if (!block.valid()) return block;
  const UniqueView view(MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, 0));
  if (view.valid()) memcpy(view.get(), packagePath, strlen(packagePath) + 1);
  return block;
}

static int IsAnyProductInstalled() {
  return IsProductInstalled(kFirstProductKey) || IsProductInstalled(kSecondProductKey);
}

// The program's own file, when it is a package whose directory can be read. A damaged
// package and a path that does not fit are failures of the run; a plain program is not.
static int FindPackage(PackageReader& package, char (&packagePath)[kPathBufferSize],
                       const RunFailureReporter& reporter, DWORD* exitCode) {
  switch (OpenOwnPackage(package, packagePath, sizeof(packagePath))) {
    case kOwnPackageReady:
      return 1;
    case kOwnPackageDamaged:
      *exitCode = ReportRunFailure(reporter, kDamagedFormat, packagePath, ERROR_FILE_CORRUPT);
      return 0;
    case kOwnPathTooLong:
      *exitCode = ReportRunFailure(reporter, kUnreadableFormat, packagePath, ERROR_FILENAME_EXCED_RANGE);
      return 0;
    case kOwnNoMemory:
      *exitCode = ReportRunFailure(reporter, kWriteFailedFormat, packagePath, ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    case kOwnPlainProgram:
      break;
  }
  return 0;
}

static int MakeWorkDirectory(int besideModule, WorkDirectory& work, const RunFailureReporter& reporter,
                             DWORD* exitCode) {
  DWORD error = 0;
  if (work.Create(besideModule, &error)) return 1;
  // The log lives in the temporary folder: when that is what failed, the line would fail too.
  const FailureReport report = besideModule ? kBoxAndLog : kBoxOnly;
  *exitCode = ReportRunFailure(reporter, kWriteFailedFormat, work.path(), error, report);
  return 0;
}

// Every member into the work directory. A member path too long for the system, and
// members that cannot all fit (as a full disk), are refused before the first byte is
// written.
static int ExtractPackage(PackageReader& package, WorkDirectory& work, int runMember,
                          const RunFailureReporter& reporter, DWORD* exitCode) {
  char failedPath[kMemberPathSize];
  if (FindMemberPathPastLimit(package, work.path(), failedPath)) {
    *exitCode = ReportRunFailure(reporter, kWriteFailedFormat, failedPath, ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  if (!HasRoomFor(work.path(), MemberBytes(package))) {
    *exitCode = ReportRunFailure(reporter, kWriteFailedFormat, work.path(), ERROR_DISK_FULL);
    return 0;
  }
  int failed = 0;
  DWORD error = 0;
  const MemberCopyResult extracted = ExtractMembers(package, work, runMember, failedPath, &failed, &error);
  if (extracted == kMemberIntact) return 1;
  if (extracted == kMemberDamaged) {
    *exitCode = ReportRunFailure(reporter, kDamagedFormat, package.entry(failed).name, ERROR_FILE_CORRUPT);
  } else {
    // A member that could not be read names the package; one not written, the member's path.
    const int unread = extracted == kMemberReadFailed;
    *exitCode = ReportRunFailure(reporter, unread ? kUnreadableFormat : kWriteFailedFormat,
                                 unread ? reporter.packagePath : failedPath, error);
  }
  return 0;
}

// The "-run" command: the member that the text names, quoted, and the rest of the text as
// its arguments. Empty without "-run" or when the text names no member.
static void PrepareRunCommand(const StartOptions& options, const PackageReader& package,
                              const char* workDirectory, char (&runCommand)[kRunCommandSize]) {
  runCommand[0] = 0;
  const char* text = options.RunText();
  if (text == nullptr) return;
  const int nameLength = RunMemberNameLength(text, package);
  if (nameLength > 0) FormatQuotedCommand(runCommand, sizeof(runCommand), workDirectory, text, nameLength);
}

// How a start of the run's programs ended, and so whether the packaging window opens.
enum RunOutcome {
  kRunStarted,           // a setup program ran: the process ends with its exit code
  kRunFailedShowWindow,  // nothing to start: the window opens after the box
  kRunFailedSilently,    // the start failed: logged (the shell shows a box of its own), the process ends
};

// KVSetup.exe of an installed product, started directly and waited for.
static RunOutcome StartInstalledSetup(WorkDirectory& work, const RunFailureReporter& reporter, DWORD* exitCode) {
  char command[kCommandSize];
  const char* name = kInstalledSetupName;
  DWORD code = ERROR_FILENAME_EXCED_RANGE;
  if (FormatQuotedCommand(command, sizeof(command), work.path(), name, static_cast<int>(strlen(name))) &&
      StartAndWait(command, &code, &work.members())) {
    work.Keep();
    *exitCode = code;
    return kRunStarted;
  }
  *exitCode = ReportRunFailure(reporter, kNotStartedFormat, command, code, kLogOnly);
  return kRunFailedSilently;
}

// SETUP.EXE, else KVSET.EXE, in the work directory (any letter case: the file system
// looks them up). Reports the last name tried when neither is there.
static int FindSetupProgram(const char* workDirectory, char (&setupPath)[kPathBufferSize + 16],
                            const RunFailureReporter& reporter, DWORD* exitCode) {
  if (JoinPath(setupPath, workDirectory, kSetupName) && PathFileExistsA(setupPath)) return 1;
  if (JoinPath(setupPath, workDirectory, kOtherSetupName) && PathFileExistsA(setupPath)) return 1;
  const DWORD error = FailureCode(GetLastError(), ERROR_FILE_NOT_FOUND);
  *exitCode = ReportRunFailure(reporter, kNotFoundFormat, setupPath, error);
  return 0;
}

// Through the shell, in quotes, with the whole command line as parameters after "-s".
// The shell shows a box of its own when the start fails, unless the run is silent.
static RunOutcome StartSetupProgram(const char* setupPath, const StartOptions& options, WorkDirectory& work,
                                    const RunFailureReporter& reporter, DWORD* exitCode) {
  char quoted[kPathBufferSize + 18];
  ConcatPath(quoted, "\"", setupPath);
  ConcatPath(quoted, quoted, "\"");
  DWORD code = 0;
  if (ShellStartAndWait(quoted, options.SetupArguments(), IsSilentProcess(options.silentSwitches), &code,
                        &work.members())) {
    work.Keep();
    *exitCode = code;
    return kRunStarted;
  }
  *exitCode = ReportRunFailure(reporter, kNotStartedFormat, setupPath, code, kLogOnly);
  return kRunFailedSilently;
}

// The programs of a run that has extracted its members: KVSetup.exe of an installed
// product, or the "-run" member and then the setup program. Every member stays held
// until the setup program has started, the "-run" member's run included.
static RunOutcome StartPrograms(const StartOptions& options, int installedSetup, char* runCommand,
                                WorkDirectory& work, const RunFailureReporter& reporter, DWORD* exitCode) {
  if (installedSetup && options.IsEmpty() && IsAnyProductInstalled()) {
    return StartInstalledSetup(work, reporter, exitCode);
  }
  // The "-run" program's exit code is not the package's result.
  DWORD runExitCode = 0;
  if (runCommand[0] != 0) StartAndWait(runCommand, &runExitCode);
  char setupPath[kPathBufferSize + 16];
  if (!FindSetupProgram(work.path(), setupPath, reporter, exitCode)) return kRunFailedShowWindow;
  return StartSetupProgram(setupPath, options, work, reporter, exitCode);
}

int RunPackage(const StartOptions& options, DWORD* exitCode) {
  // A plain program: the window opens, and that is no failure of a package.
  *exitCode = 0;
  char packagePath[kPathBufferSize];
  char runCommand[kRunCommandSize];
  const RunFailureReporter reporter = {packagePath, options.silentSwitches};
  // Declared before the package: whatever way the run ends, its owner removes it last.
  WorkDirectory work;
  int installedSetup = 0;
  {
    SystemThreads threads;  // outlives the reader, which joins its threads
    PackageReader package;
    package.SetWorkerThreads(&threads);
    if (!FindPackage(package, packagePath, reporter, exitCode)) return 0;
    installedSetup = CarriesInstalledSetup(package);
    if (!MakeWorkDirectory(installedSetup, work, reporter, exitCode)) return 0;
    int runMember = -1;
    if (options.RunText() != nullptr) RunMemberNameLength(options.RunText(), package, &runMember);
    if (!ExtractPackage(package, work, runMember, reporter, exitCode)) return 0;
    PrepareRunCommand(options, package, work.path(), runCommand);
    // Only what the run made, read from the package's directory.
    ScheduleDeletionsAtReboot(work.members());
  }  // the package file is closed before any program starts
  const UniqueHandle callerBlock = PublishCallerPath(packagePath);
  return StartPrograms(options, installedSetup, runCommand, work, reporter, exitCode) != kRunFailedShowWindow;
}
