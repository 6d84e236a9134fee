#include "package/extract_to_folder.h"

#include <string.h>

#include "core/member_checksum.h"
#include "core/member_name.h"
#include "core/package_reader.h"
#include "core/path_join.h"
#include "core/path_limits.h"
#include "core/pe_image.h"
#include "package/clean_work_directory.h"
#include "package/disk_space.h"
#include "package/exit_code.h"
#include "package/held_directory.h"
#include "package/member_tree.h"
#include "package/system_threads.h"
#include "security/builtin_group.h"
#include "security/grant_file_access.h"
#include "win32/module_path.h"
#include "win32/system_code_page.h"

namespace {

const char kBareProgramName[] = "Lodkin.exe";
const DWORD kMemberAccess = GENERIC_READ | GENERIC_EXECUTE;
const int kFolderRetries = 99;

// Writes member `index` to a new file (a folder entry, whose folder is already made, is
// only checked), and opens the file to `usersGroup` (none when NULL). Returns 1 when the
// file was created and holds every byte as packed (a damaged member counts as not
// written).
int WriteMember(PackageReader& reader, int index, const char* path, MemberTree& tree, const CopyBuffer& buffer,
                const char* usersGroup) {
  BinaryFile output;
  DWORD error = 0;
  // A folder entry holds no bytes: its copy writes nothing and checks its record.
  if (!IsFolderMemberName(reader.entry(index).name, reader.nameCodePage()) &&
      !tree.CreateMemberFile(index, path, output, &error)) {
    return 0;
  }
  int done = reader.CopyMember(index, output, buffer) == kMemberIntact;
  // While the file is still open without delete sharing: the path is this file, never a
  // link put in its place (past the held files' limit nothing else would stop that). A
  // damaged one is taken away with the rest.
  if (output.isOpen() && usersGroup != NULL) GrantFileAccess(path, usersGroup, kMemberAccess);
  if (output.isOpen() && !output.Close()) done = 0;
  if (done && !IsFolderMemberName(reader.entry(index).name, reader.nameCodePage()) &&
      !tree.HoldMemberFile(index, path, &error)) {
    done = 0;
  }
  return done;
}

// The bare program: the bytes before member 0, without a signature that belonged to the
// package rather than to the program. A damaged program part counts as not written.
int WriteBareProgram(PackageReader& reader, const char* path, const CopyBuffer& buffer) {
  BinaryFile output;
  // Only a new file: anything of that name in the new folder was put there by someone else.
  if (!output.CreateNew(path)) return 0;
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

// Creates the first free extraction folder beside the package: its path without the
// extension, then with "(1)" to "(99)" after it. Returns 0 when every name is taken:
// nothing is ever written into a folder this run did not make.
// The folder is held from its creation on: beside the package, in a folder that the user
// owns, the user could otherwise rename it and put a link in its place.
int CreateExtractionFolder(const char* packagePath, char (&folder)[kPathBufferSize], UniqueHandle* held) {
  for (int attempt = 0; attempt <= kFolderRetries; ++attempt) {
    if (!ExtractionFolderPath(folder, sizeof(folder), packagePath, attempt)) return 0;
    if (CreateHeldDirectory(folder, NULL, held) == 0) return 1;
  }
  folder[0] = 0;
  return 0;
}

// What one run writes, step by step. Unless the run keeps it, everything it wrote is
// taken away again when it goes: the one clean-up of every failure. The extraction
// folder is new, and everything below it is made new, so all that it holds is this
// run's; something of a member's name that the run did not make is a failure.
class ExtractionOutput {
 public:
  explicit ExtractionOutput(const PackageReader& reader) : reader_(reader), kept_(0) {
    folder_[0] = 0;
    memberFolder_[0] = 0;
  }
  ~ExtractionOutput() {
    // Its own handles would keep the files and folders from being deleted.
    tree_.ReleaseAll();
    memberFolderHeld_.reset();
    folderHeld_.reset();
    if (!kept_ && folder_[0] != 0) DeleteDirectoryAndFiles(folder_);
  }
  ExtractionOutput(const ExtractionOutput&) = delete;
  ExtractionOutput& operator=(const ExtractionOutput&) = delete;

  int MakeFolder(const char* packagePath) { return CreateExtractionFolder(packagePath, folder_, &folderHeld_); }

  // The bare program and every member must fit before the first byte is written.
  int HasRoomForAll() const { return HasRoomFor(folder_, reader_.moduleImageLength() + MemberBytes(reader_)); }

  int WriteProgram(PackageReader& reader, const CopyBuffer& buffer) {
    char path[kPathBufferSize];
    return JoinPath(path, folder_, kBareProgramName) && WriteBareProgram(reader, path, buffer);
  }

  // The member sub-folder takes the package's file name without its extension.
  int MakeMemberFolder(const char* packagePath) {
    char cutPath[kPathBufferSize];
    if (!ExtractionFolderPath(cutPath, sizeof(cutPath), packagePath, 0)) return 0;
    const char* lastSeparator = strrchr(cutPath, '\\');
    const char* baseName = lastSeparator != nullptr ? lastSeparator + 1 : cutPath;
    return JoinPath(memberFolder_, folder_, baseName) && CreateHeldDirectory(memberFolder_, NULL, &memberFolderHeld_) == 0;
  }

  // Each member written whole, in the folders its name gives, and each file opened to
  // the Users group.
  int WriteMembers(PackageReader& reader, const CopyBuffer& buffer) {
    // The group's name as this system spells it: a localized system has no "Users". A
    // system that cannot name it leaves the files with the access their folder gives.
    char usersGroup[512];
    const int haveUsersGroup = LookupBuiltinGroupName(kBuiltinUsersRid, usersGroup, sizeof(usersGroup));
    if (!tree_.Start(reader, memberFolder_)) return 0;
    reader.SetWrittenMembers(&tree_);
    // The folder is named after the package, whose name may end in a double-byte character.
    const NameCodePage codePage = SystemNameCodePage();
    for (int i = 0; i < reader.count(); ++i) {
      char path[kPathBufferSize];
      DWORD error = 0;
      if (!JoinPathIn(path, memberFolder_, reader.entry(i).name, codePage) || !tree_.MakeFoldersFor(i, path, &error) ||
          !WriteMember(reader, i, path, tree_, buffer, haveUsersGroup ? usersGroup : NULL)) {
        return 0;
      }
    }
    return 1;
  }

  void Keep() { kept_ = 1; }

 private:
  const PackageReader& reader_;
  char folder_[kPathBufferSize];  // made by this run; empty until then
  char memberFolder_[kPathBufferSize];
  // The member files and folders, held until the run ends: nothing can take their place
  // between their writing and the access given to the Users group.
  MemberTree tree_;
  UniqueHandle folderHeld_;
  UniqueHandle memberFolderHeld_;
  int kept_;
};

}  // namespace

int ExtractPackageToFolder(const StartOptions& /*options*/, DWORD* exitCode) {
  *exitCode = kExitNotDone;
  char packagePath[kPathBufferSize];
  if (!GetModulePath(packagePath, sizeof(packagePath))) return 0;
  // Refuses plain programs and malformed directories, member names that would leave
  // the member folder included, before anything is created.
  SystemThreads threads;  // outlives the reader, which joins its threads
  PackageReader reader;
  reader.SetHostCodePage(SystemNameCodePage());
  reader.SetWorkerThreads(&threads);
  if (!reader.Open(packagePath)) return 0;
  CopyBuffer buffer;
  if (!buffer.isReady()) return 0;
  ExtractionOutput output(reader);
  if (!output.MakeFolder(packagePath) || !output.HasRoomForAll() || !output.WriteProgram(reader, buffer) ||
      !output.MakeMemberFolder(packagePath) || !output.WriteMembers(reader, buffer)) {
    return 0;
  }
  output.Keep();
  *exitCode = kExitDone;
  return 1;
}
