#include "core/pack_job.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "core/binary_file.h"
#include "core/code_page_record.h"
#include "core/compressed_pack.h"
#include "core/member_layout.h"
#include "core/member_name.h"
#include "core/pack_members.h"
#include "core/package_writer.h"
#include "core/path_join.h"
#include "core/pe_image.h"

namespace {

const char* const kSetupProgramNames[] = {"setup.exe", "kvsetup.exe", "kvset.exe"};
const char kPackageMarker[] = "kvpack";

// Only A to Z change, whatever the locale.
void LowerAscii(char* text) {
  for (; *text != 0; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
}

// The lower-cased own name of a row's member (the last part of its name); 1 when the
// member lies at the top of the package.
int GetLowerFileName(const PackFileList& list, int row, char (&name)[260]) {
  char member[260];
  list.GetMemberName(row, member);
  const char* last = strrchr(member, kMemberSeparator);
  memset(name, 0, sizeof(name));
  const char* own = last != nullptr ? last + 1 : member;
  memcpy(name, own, strlen(own));
  LowerAscii(name);
  return last == nullptr;
}

void SetName(PackResult* result, const char* name) {
  memset(result->name, 0, sizeof(result->name));
  memcpy(result->name, name, strnlen(name, sizeof(result->name) - 1));
}

PackOutcome Finish(PackResult* result, PackOutcome outcome, const char* name = "") {
  result->outcome = outcome;
  SetName(result, name);
  return outcome;
}

// The open temporary package and its file: whatever is not committed is closed and
// deleted when the command leaves.
class TemporaryPackage {
 public:
  explicit TemporaryPackage(TemporaryFileWatch* watch) : watch_(watch) { memset(path_, 0, sizeof(path_)); }
  ~TemporaryPackage() { Discard(); }
  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;

  // A fresh file in the package's own folder, so that the final move stays on one
  // volume. It is created new, never truncated.
  int Create(const char* packagePath) {
    if (watch_ != nullptr) watch_->Creating();
    const int created = CreateFile(packagePath);
    if (watch_ != nullptr) watch_->Created(created ? path_ : nullptr, &file_);
    return created;
  }

  BinaryFile& file() { return file_; }

  // Closes the file (a failed close is a failed write).
  int CloseChecked() { return file_.Close(); }

  // Moves the whole package over the package path, replacing an earlier one only now.
  int MoveTo(const char* packagePath) {
    if (!MoveFileOver(path_, packagePath)) return 0;
    Release();
    return 1;
  }

  void Discard() {
    file_.Close();
    if (path_[0] != 0) RemoveFile(path_);
    Release();
  }

 private:
  int CreateFile(const char* packagePath) {
    char folder[kCorePathSize];
    if (!ConcatPath(folder, packagePath, "")) return 0;
    folder[GetFileNameOffset(folder)] = 0;
    unsigned seed = static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(clock() << 12);
    for (unsigned attempt = 0; attempt < 4096; ++attempt) {
      char name[16];
      snprintf(name, sizeof(name), "KVP%04X.tmp", (seed + attempt * 40503u) & 0xFFFF);
      if (!ConcatPath(path_, folder, name)) break;
      if (file_.CreateNew(path_)) return 1;
      if (!PathExists(path_)) break;  // the folder itself is missing or closed to us
    }
    path_[0] = 0;
    return 0;
  }

  // The watch learns that the file is gone only after it is: an interruption in
  // between removes a name that no longer exists, never leaves the file behind.
  void Release() {
    if (path_[0] != 0 && watch_ != nullptr) watch_->Released();
    path_[0] = 0;
  }

  TemporaryFileWatch* watch_;
  BinaryFile file_;
  char path_[kCorePathSize];
};

PackOutcome FromWriteStatus(PackageWriteStatus status, int isModule, const char* name,
                            PackResult* result) {
  if (status == kPackageTooLarge) return Finish(result, kPackTooLarge);
  if (status == kPackageReadFailed && isModule) return Finish(result, kPackCannotOpenModule);
  if (status == kPackageReadFailed) return Finish(result, kPackCannotOpenFile, name);
  return Finish(result, kPackCannotWrite);
}

// The package's length as its files are now: the program part, the files in list order
// up to the first one that cannot be opened (whose refusal then comes from the copy), and,
// when every file opened, the directory and the trailer. The copy checks again, for
// files that change meanwhile.
uint64_t PlannedPackageLength(const PackFileList& list, BinaryFile& module) {
  uint64_t moduleLength = 0;
  if (!module.GetLength(&moduleLength)) return 0;
  ProgramImagePlan plan;
  PlanUnsignedProgram(module, moduleLength, &plan);
  uint64_t total = plan.length;
  const int count = list.GetCount();
  char path[kCorePathSize];
  for (int row = 0; row < count; ++row) {
    if (list.IsFolderRow(row)) continue;
    memset(path, 0, sizeof(path));
    list.GetRowText(row, path);
    BinaryFile member;
    uint64_t length = 0;
    if (!member.OpenForReading(path) || IsDirectory(path) || !member.GetLength(&length)) return total;
    total += length;
  }
  return total + static_cast<uint64_t>(count) * sizeof(PackageDirEntry) + sizeof(PackageTrailer);
}

#ifdef _WIN32
int BuildPackagePathForPlatform(const char* topEntry, int last, char (&folderName)[kCorePathSize],
                                int* folderLength) {
  if (last > 3) {
    int before = last - 1;
    while (before >= 0 && topEntry[before] != '\\') --before;
    if (before < 0) return 0;
    memcpy(folderName, topEntry + before + 1, last - before - 1);
    *folderLength = last + 1;
    return 1;
  }
  if (last == 2 && topEntry[1] == ':') {
    // A drive root: the package is named after the drive letter.
    folderName[0] = topEntry[0];
    *folderLength = 3;
    return 1;
  }
  return 0;
}
#else
int BuildPackagePathForPlatform(const char* topEntry, int last, char (&folderName)[kCorePathSize],
                                int* folderLength) {
  // The root folder has no name to give the package.
  if (last <= 0) return 0;
  int before = last - 1;
  while (before >= 0 && topEntry[before] != '/') --before;
  if (before < 0 || last - before - 1 == 0) return 0;
  memcpy(folderName, topEntry + before + 1, last - before - 1);
  *folderLength = last + 1;
  return 1;
}
#endif

// A name that no reader would take would make a package that never runs; a name the
// package's code page cannot hold would be stored as another name.
PackOutcome CheckMemberNames(const PackMemberList& list, PackResult* result) {
  const int count = list.GetCount();
  for (int row = 0; row < count; ++row) {
    const char* name = list.memberName(row);
    if (list.nameFault(row) == kMemberNameNotEncoded) return Finish(result, kPackNameNotEncoded, name);
    // A name too long for a directory entry is refused as unsafe, never cut.
    char field[260];
    list.GetMemberName(row, field);
    if (list.nameFault(row) != kMemberNameFits || CheckMemberName(field, list.nameCodePage()) != kNameSafe) {
      return Finish(result, kPackUnsafeMemberName, name);
    }
  }
  if (count < 2) return kPackCompleted;
  MemberNameRef* names = static_cast<MemberNameRef*>(malloc(static_cast<size_t>(count) * sizeof(MemberNameRef)));
  if (names == nullptr) return Finish(result, kPackCannotWrite);
  for (int row = 0; row < count; ++row) {
    names[row].name = list.memberName(row);
    names[row].index = row;
  }
  int32_t row = -1;
  const NameClash clash = FindNameClash(names, count, list.nameCodePage(), &row);
  free(names);
  switch (clash) {
    case kNoNameClash: return kPackCompleted;
    case kNameClashFileBesideFolder: return Finish(result, kPackFileBesideFolder, list.memberName(row));
    case kNameClashEqualNames: return Finish(result, kPackEqualNames, list.memberName(row));
    case kNameClashNoMemory: break;
  }
  return Finish(result, kPackCannotWrite);
}

// The code page a package records: only where a name needs one to be read.
uint32_t CodePageToRecord(const PackMemberList& list, const PackOptions& options) {
  if (options.codePage == nullptr) return 0;
  for (int row = 0; row < list.GetCount(); ++row) {
    if (!IsAsciiName(list.memberName(row))) return options.codePage->id;
  }
  return 0;
}

// Every member copied as it is, in list order.
PackOutcome WriteStoredMembers(const PackMemberList& list, PackageWriter& writer, PackResult* result) {
  for (int row = 0; row < list.GetCount(); ++row) {
    if (!StoreMember(list, row, list.memberName(row), writer, result)) return result->outcome;
  }
  return kPackCompleted;
}

}  // namespace

PackOptions DefaultPackOptions() {
  PackOptions options = {nullptr, kMaxPackageLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return options;
}

void PackFileList::GetMemberName(int row, char (&name)[260]) const {
  char path[kCorePathSize];
  memset(path, 0, sizeof(path));
  GetRowText(row, path);
  memset(name, 0, sizeof(name));
  const char* fileName = path + GetFileNameOffset(path);
  memcpy(name, fileName, strnlen(fileName, sizeof(name) - 1));
}

int PackFileList::IsFolderRow(int) const { return 0; }

int GetFileNameOffset(const char* path) { return GetFileNameOffset(path, ByteNameCodePage()); }

int GetFileNameOffset(const char* path, const NameCodePage& codePage) {
  int offset = 0;
  for (int i = 0; path[i] != 0; i += CharacterLength(codePage, path + i)) {
    if (i >= 1 && path[i] == kPathSeparator) offset = i + 1;
  }
  return offset;
}

unsigned CountSetupPrograms(const PackFileList& list) {
  unsigned count = 0;
  char name[260];
  for (int row = 0; row < list.GetCount(); ++row) {
    if (list.IsFolderRow(row) || !GetLowerFileName(list, row, name)) continue;
    for (unsigned k = 0; k < sizeof(kSetupProgramNames) / sizeof(kSetupProgramNames[0]); ++k) {
      if (strcmp(name, kSetupProgramNames[k]) == 0) ++count;
    }
  }
  return count;
}

int FindPackedMember(const PackFileList& list, char (&lowerName)[260]) {
  for (int row = 0; row < list.GetCount(); ++row) {
    if (list.IsFolderRow(row)) continue;
    GetLowerFileName(list, row, lowerName);
    if (strstr(lowerName, kPackageMarker) != nullptr) return row;
  }
  memset(lowerName, 0, sizeof(lowerName));
  return -1;
}

int BuildPackagePath(const char* topEntry, char (&packagePath)[kCorePathSize]) {
  memset(packagePath, 0, sizeof(packagePath));
  const int length = static_cast<int>(strlen(topEntry));
  int last = length - 1;
  while (last >= 0 && topEntry[last] != kPathSeparator) --last;
  if (last < 0) return 0;

  char folderName[kCorePathSize];
  memset(folderName, 0, sizeof(folderName));
  int folderLength = 0;  // characters of the top entry's path kept, closing separator included
  if (!BuildPackagePathForPlatform(topEntry, last, folderName, &folderLength)) return 0;
  char fileName[kCorePathSize];
  char folder[kCorePathSize];
  memcpy(folder, topEntry, folderLength);
  folder[folderLength] = 0;
  return ConcatPath(fileName, "KVPACK_", folderName) && ConcatPath(fileName, fileName, ".exe") &&
         ConcatPath(packagePath, folder, fileName);
}

namespace {

// The refusals that come before anything is created, in their fixed order. An unusable
// top entry is reported where creating the package would fail (*havePackagePath 0),
// after the already-packed check, so that the order of the refusals stays the same.
PackOutcome CheckPackList(const PackMemberList& list, const PackFileList& rows, const PackOptions& options,
                          char (&packagePath)[kCorePathSize], int* havePackagePath, PackResult* result) {
  const unsigned setupPrograms = CountSetupPrograms(list);
  if (setupPrograms == 0) return Finish(result, kPackNoSetupProgram);
  if (setupPrograms >= 2) return Finish(result, kPackTooManySetupPrograms);

  char path[kCorePathSize];
  memset(path, 0, sizeof(path));
  rows.GetRowText(0, path);
  memset(packagePath, 0, sizeof(packagePath));
  if (options.packagePath != nullptr && options.packagePath[0] != 0) {
    *havePackagePath = ConcatPath(packagePath, options.packagePath, "");
  } else {
    *havePackagePath = BuildPackagePath(path, packagePath);
  }

  char name[260];
  if (FindPackedMember(list, name) >= 0) return Finish(result, kPackAlreadyPacked, name);
  return CheckMemberNames(list, result);
}

// The module image, the members and the trailer, into the open temporary package.
PackOutcome WritePackage(const PackMemberList& list, BinaryFile& module, const PackOptions& options,
                         CopyBuffer& buffer, BinaryFile& package, PackResult* result) {
  // Refused before gigabytes are copied only to be thrown away (compressed, the files
  // may well fit).
  const uint64_t planned =
      options.compressor == nullptr || options.observer != nullptr ? PlannedPackageLength(list, module) : 0;
  if (options.compressor == nullptr && planned > options.maxPackageLength) return Finish(result, kPackTooLarge);
  if (options.observer != nullptr) options.observer->Expect(planned);
  if (!module.Seek(0)) return Finish(result, kPackCannotOpenModule);
  uint32_t entries = static_cast<uint32_t>(list.GetCount());
  CompressedPackFailure failure;
  if (options.compressor != nullptr && !PlanCompressedPack(list, *options.compressor, &entries, &failure)) {
    return Finish(result, failure.outcome, failure.name);
  }
  PackageWriter writer(package, entries, buffer, options.maxPackageLength);
  writer.SetObserver(options.observer);
  writer.SetNameCodePage(CodePageToRecord(list, options));
  PackageWriteStatus status = writer.AppendModuleImage(module);
  module.Close();
  if (status != kPackageWriteOk) return FromWriteStatus(status, 1, "", result);

  if (options.compressor != nullptr) {
    if (!WriteCompressedMembers(list, *options.compressor, writer, &failure)) {
      return Finish(result, failure.outcome, failure.name);
    }
  } else {
    const PackOutcome written = WriteStoredMembers(list, writer, result);
    if (written != kPackCompleted) return written;
  }
  status = writer.Finish();
  if (status != kPackageWriteOk) return FromWriteStatus(status, 0, "", result);
  return kPackCompleted;
}

}  // namespace

PackOutcome PackFiles(const PackFileList& rows, const char* modulePath, const PackOptions& options,
                      PackResult* result) {
  PackMemberList list;
  if (options.codePage != nullptr) list.SetNameCodePage(*options.codePage);
  const PackOutcome built = list.Build(rows, options.walker, options.encoder, result);
  if (built != kPackCompleted) return built;
  char packagePath[kCorePathSize];
  int havePackagePath = 0;
  const PackOutcome checked = CheckPackList(list, rows, options, packagePath, &havePackagePath, result);
  if (checked != kPackCompleted) return checked;

  CopyBuffer buffer;
  if (!buffer.isReady()) return Finish(result, kPackCannotWrite);
  TemporaryPackage package(options.temporaryWatch);
  if (!havePackagePath || !package.Create(packagePath)) {
    return Finish(result, kPackCannotCreate);
  }
  BinaryFile module;
  if (!module.OpenForReading(modulePath)) return Finish(result, kPackCannotOpenModule);
  const PackOutcome written = WritePackage(list, module, options, buffer, package.file(), result);
  if (written != kPackCompleted) return written;
  if (!package.CloseChecked()) return Finish(result, kPackCannotWrite);
  if (!package.MoveTo(packagePath)) return Finish(result, kPackCannotCreate);
  return Finish(result, kPackCompleted);
}

const char* PackStatusText(PackOutcome outcome) {
  switch (outcome) {
    case kPackCompleted: return "Packaging is completed";
    case kPackNoSetupProgram: return "Error: add \"setup.exe\"";
    case kPackTooManySetupPrograms: return "Error: too many \"setup.exe\"";
    case kPackAlreadyPacked: return nullptr;
    case kPackUnsafeMemberName: return "Error: can not pack files";
    case kPackCannotCreate: return "Error: can not create packaging file";
    case kPackCannotOpenModule: return "Error: can not open module file";
    case kPackCannotOpenFile: return "Error: can not open files";
    case kPackCannotWrite: return "Error: can not write packaging file";
    case kPackTooLarge: return "Error: package exceeds 4 GB";
    case kPackFileChanged: return "Error: can not pack files";
    case kPackLinkInFolder: return "Error: can not pack files";
    case kPackFileBesideFolder: return "Error: can not pack files";
    case kPackNameNotEncoded: return "Error: can not pack files";
    case kPackEqualNames: return "Error: can not pack files";
  }
  return nullptr;
}

void FormatPackMessage(const PackResult& result, char (&text)[300]) {
  memset(text, 0, sizeof(text));
  const char* format = "%s";
  const char* fixed = "";
  switch (result.outcome) {
    case kPackCompleted: fixed = "packaging is completed "; break;
    case kPackNoSetupProgram: fixed = "add \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" "; break;
    case kPackTooManySetupPrograms:
      fixed = "too many \"setup.exe\",\"kvsetup.exe\" or \"kvset.exe\" ";
      break;
    case kPackAlreadyPacked: format = "Error: \"%s\" is already packed."; break;
    case kPackUnsafeMemberName: format = "\"%s\" is not a valid member name "; break;
    case kPackCannotCreate: fixed = "can not create packaging file "; break;
    case kPackCannotOpenModule: fixed = "can not open module file "; break;
    case kPackCannotOpenFile: format = "can not open \"%s\" "; break;
    case kPackCannotWrite: fixed = "can not write packaging file "; break;
    case kPackTooLarge: fixed = "package exceeds 4 GB "; break;
    case kPackFileChanged: format = "\"%s\" changed while it was packed "; break;
    case kPackLinkInFolder: format = "\"%s\" is a link: a folder to pack must not hold links "; break;
    case kPackFileBesideFolder: format = "\"%s\" is packed both as a file and as a folder "; break;
    case kPackNameNotEncoded: format = "\"%s\" cannot be written in the package's code page "; break;
    case kPackEqualNames:
      format = "\"%s\" is packed twice: Windows takes names equal but for letter case as one ";
      break;
  }
  snprintf(text, sizeof(text), format, fixed[0] != 0 ? fixed : result.name);
}

const char* PackCaption(PackOutcome outcome) { return outcome == kPackCompleted ? "success" : "error"; }
