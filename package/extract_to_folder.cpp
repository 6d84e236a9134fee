#include "package/extract_to_folder.h"

#include "core/member_checksum.h"
#include "core/package_reader.h"
#include "core/pe_image.h"
#include "package/exit_code.h"
#include "security/builtin_group.h"
#include "security/grant_file_access.h"

namespace {

const char kBareProgramName[] = "Lodkin.exe";
const char kLookupAccountSidFailed[] = "LookupAccountSid() failed. Error %d\n";
const DWORD kMemberAccess = GENERIC_READ | GENERIC_EXECUTE;
const int kFolderRetries = 99;

// Formats into a 260-byte path buffer; a name that does not fit is refused rather than
// cut, since a cut name could point at another file.
int FormatPath(char (&buffer)[MAX_PATH], const char* format, const char* first,
               const char* second = 0, const char* third = 0) {
  int length = snprintf(buffer, MAX_PATH, format, first, second, third);
  return length >= 0 && length < MAX_PATH;
}

// Cuts the extension off the file-name part only: a '.' in a folder name stays, so the
// extraction folder is always made beside the package. Fills the base name.
void CutExtension(char (&path)[MAX_PATH], char (&baseName)[MAX_PATH]) {
  int nameStart = 0;
  for (int i = 0; path[i]; ++i) {
    if (path[i] == '\\') nameStart = i + 1;
  }
  int length = lstrlenA(path);
  for (int i = length - 1; i > nameStart && i >= 1; --i) {
    if (path[i] == '.') {
      path[i] = 0;
      break;
    }
  }
  lstrcpynA(baseName, path + nameStart, MAX_PATH);
}

// Writes member `index` to a new file. Returns 1 when the file was created and holds
// every byte as packed (a damaged member counts as not written).
int WriteMember(PackageReader& reader, int index, const char* path, const CopyBuffer& buffer) {
  BinaryFile output;
  if (!CreateOutputFile(output, path)) return 0;
  int done = reader.CopyMember(index, output, buffer) == kMemberIntact;
  if (!output.Close()) done = 0;
  return done;
}

// The bare program: the bytes before member 0, without a signature that belonged to the
// package rather than to the program. A damaged program part counts as not written.
int WriteBareProgram(PackageReader& reader, const char* path, const CopyBuffer& buffer) {
  BinaryFile output;
  if (!CreateOutputFile(output, path)) return 0;
  const uint64_t length = reader.moduleImageLength();
  ProgramImagePlan plan;
  PlanBareProgram(reader.file(), length, &plan);
  ModuleImageChecksum checksum(plan.layout.checksumOffset, plan.layout.directoryOffset);
  uint64_t copied = 0;
  int done = CopyProgramImage(reader.file(), output, plan, buffer, &copied, &checksum) == kCopyDone &&
             copied == length;
  uint32_t expected = 0;
  if (done && reader.ExpectedModuleImageChecksum(&expected) && checksum.Finish() != expected) done = 0;
  if (!output.Close()) done = 0;
  return done;
}

// Creates the extraction folder: "<cut path>\" or the first free "<cut path>(k)". Returns
// 0 when every name is taken: nothing is ever written into a folder this run did not make.
int CreateExtractionFolder(const char* cutPath, char (&folder)[MAX_PATH]) {
  if (!FormatPath(folder, "%s\\", cutPath)) return 0;
  if (CreateDirectoryA(folder, 0)) return 1;
  for (int k = 1; k <= kFolderRetries; ++k) {
    char retry[16];
    snprintf(retry, sizeof(retry), "(%d)", k);
    if (!FormatPath(folder, "%s%s", cutPath, retry)) return 0;
    if (CreateDirectoryA(folder, 0)) return 1;
  }
  return 0;
}

// What one run has written, so that a run that fails takes it away again.
struct WrittenOutput {
  const PackageReader* reader;
  const char* folder;
  const char* baseName;
  int programWritten;
  int subFolderCreated;
  int membersTouched;  // members 0..membersTouched-1 were created, whole or not

  void Remove() const {
    char path[MAX_PATH];
    for (int i = 0; i < membersTouched; ++i) {
      if (FormatPath(path, "%s\\%s\\%s", folder, baseName, reader->entry(i).name)) DeleteFileA(path);
    }
    if (subFolderCreated && FormatPath(path, "%s\\%s\\", folder, baseName)) RemoveDirectoryA(path);
    if (programWritten && FormatPath(path, "%s\\%s", folder, kBareProgramName)) DeleteFileA(path);
    RemoveDirectoryA(folder);
  }
};

}  // namespace

int ExtractPackageToFolder(char* /*commandLine*/, DWORD* exitCode) {
  SetExitCode(exitCode, kExitNotDone);
  char path[MAX_PATH] = {0};
  char folder[MAX_PATH] = {0};
  char baseName[MAX_PATH] = {0};
  DWORD pathLength = GetModuleFileNameA(0, path, MAX_PATH);
  if (pathLength == 0 || pathLength >= MAX_PATH) return 0;

  // Refuses plain programs and malformed directories, member names that would leave
  // the member folder included, before anything is created.
  PackageReader reader;
  if (!reader.Open(path)) return 0;

  CutExtension(path, baseName);
  if (!CreateExtractionFolder(path, folder)) return 0;
  WrittenOutput written = {&reader, folder, baseName, 0, 0, 0};
  CopyBuffer buffer;
  if (!buffer.isReady()) {
    written.Remove();
    return 0;
  }

  if (!FormatPath(path, "%s\\%s", folder, kBareProgramName)) {
    written.Remove();
    return 0;
  }
  written.programWritten = 1;
  if (!WriteBareProgram(reader, path, buffer)) {
    written.Remove();
    return 0;
  }

  if (!FormatPath(path, "%s\\%s\\", folder, baseName) || !CreateDirectoryA(path, 0)) {
    written.Remove();
    return 1;
  }
  written.subFolderCreated = 1;

  // The group's name as this system spells it: a localized system has no "Users".
  char usersGroup[512];
  const int haveUsersGroup = LookupBuiltinGroupName(kBuiltinUsersRid, usersGroup, sizeof(usersGroup));
  if (!haveUsersGroup && reader.count() > 0) printf(kLookupAccountSidFailed, (int)GetLastError());

  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& member = reader.entry(i);
    if (!FormatPath(path, "%s\\%s\\%s", folder, baseName, member.name)) {
      written.Remove();
      return 0;
    }
    written.membersTouched = i + 1;
    if (!WriteMember(reader, i, path, buffer)) {
      written.Remove();
      return 0;
    }
    if (haveUsersGroup) GrantFileAccess(path, usersGroup, kMemberAccess);
  }
  SetExitCode(exitCode, kExitDone);
  return 1;
}
