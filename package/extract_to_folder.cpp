#include "package/extract_to_folder.h"

#include <windows.h>

#include "core/package_reader.h"
#include "core/member_checksum.h"
#include "core/pe_image.h"
#include "security/grant_file_access.h"

namespace {

const char kBareProgramName[] = "Lodkin.exe";
const char kMemberAccount[] = "Users";
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
// every byte as packed; a member that does not is removed again.
int WriteMember(PackageReader& reader, int index, const char* path, const CopyBuffer& buffer) {
  BinaryFile output;
  if (!CreateOutputFile(output, path)) return 0;
  int done = reader.CopyMember(index, output, buffer) == kMemberCopied;
  if (!output.Close()) done = 0;
  if (!done) RemoveFile(path);
  return done;
}

// The bare program: the bytes before member 0, without a signature that belonged to the
// package rather than to the program.
// A damaged program part is caught here too and removed again.
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
  if (!done) RemoveFile(path);
  return done;
}

}  // namespace

int ExtractPackageToFolder(char* /*commandLine*/) {
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
  if (!FormatPath(folder, "%s\\", path)) return 0;
  if (!CreateDirectoryA(folder, 0)) {
    for (int k = 1; k <= kFolderRetries; ++k) {
      char retry[16];
      snprintf(retry, sizeof(retry), "(%d)", k);
      if (!FormatPath(folder, "%s%s", path, retry)) return 0;
      if (CreateDirectoryA(folder, 0)) break;
    }
  }

  if (!FormatPath(path, "%s\\%s", folder, kBareProgramName)) return 0;
  CopyBuffer buffer;
  if (!buffer.isReady()) return 0;
  if (!WriteBareProgram(reader, path, buffer)) return 0;

  if (!FormatPath(path, "%s\\%s\\", folder, baseName)) return 0;
  if (!CreateDirectoryA(path, 0)) return 1;

  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& member = reader.entry(i);
    if (!FormatPath(path, "%s\\%s\\%s", folder, baseName, member.name)) return 0;
    if (!WriteMember(reader, i, path, buffer)) return 0;
    GrantFileAccess(path, kMemberAccount, kMemberAccess);
  }
  return 1;
}
