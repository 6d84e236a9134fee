#include "core/pack_job.h"

#include <string.h>

#include "core/compressed_pack.h"
#include "core/name_code_page.h"
#include "core/pack_list_rules.h"
#include "core/pack_members.h"
#include "core/package_naming.h"
#include "core/package_writer.h"
#include "core/path_join.h"
#include "core/planned_package_length.h"

namespace {

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
    const PackOutcome stored = StoreMember(list, row, list.memberName(row), writer, result);
    if (stored != kPackCompleted) return stored;
  }
  return kPackCompleted;
}

// The refusals that come before anything is created, in their fixed order. An unusable
// top entry is reported where creating the package would fail (*havePackagePath 0),
// after the already-packed check, so that the order of the refusals stays the same.
PackOutcome CheckPackList(const PackMemberList& list, const PackFileList& rows, const PackOptions& options,
                          char (&packagePath)[kCorePathSize], int* havePackagePath, PackResult* result) {
  const unsigned setupPrograms = CountSetupPrograms(list);
  if (setupPrograms == 0) return SetPackOutcome(result, kPackNoSetupProgram);
  if (setupPrograms >= 2) return SetPackOutcome(result, kPackTooManySetupPrograms);

  char path[kCorePathSize];
  memset(path, 0, sizeof(path));
  rows.GetRowText(0, path);
  memset(packagePath, 0, sizeof(packagePath));
  if (options.packagePath != nullptr && options.packagePath[0] != 0) {
    *havePackagePath = ConcatPath(packagePath, options.packagePath, "");
  } else {
    *havePackagePath = BuildPackagePath(path, packagePath);
  }

  char name[kMemberNameSize];
  if (FindPackedMember(list, name) >= 0) return SetPackOutcome(result, kPackAlreadyPacked, name);
  return CheckMemberNames(list, result);
}

// The module image, the members and the trailer, into the open temporary package.
PackOutcome WritePackage(const PackMemberList& list, BinaryFile& module, const PackOptions& options,
                         CopyBuffer& buffer, BinaryFile& package, PackResult* result) {
  // Refused before gigabytes are copied only to be thrown away (compressed, the files
  // may well fit).
  const uint64_t planned =
      options.compressor == nullptr || options.observer != nullptr ? PlannedPackageLength(list, module) : 0;
  if (options.compressor == nullptr && planned > options.maxPackageLength) {
    return SetPackOutcome(result, kPackTooLarge);
  }
  if (options.observer != nullptr) options.observer->Expect(planned);
  if (!module.Seek(0)) return SetPackOutcome(result, kPackCannotOpenModule);
  uint32_t entries = static_cast<uint32_t>(list.GetCount());
  if (options.compressor != nullptr) {
    const PackOutcome grouped = options.compressor->Plan(list, &entries, result);
    if (grouped != kPackCompleted) return grouped;
  }
  PackageWriter writer(package, entries, buffer, options.maxPackageLength);
  writer.SetObserver(options.observer);
  writer.SetNameCodePage(CodePageToRecord(list, options));
  PackageWriteStatus status =
      options.program != nullptr ? options.program->AppendTo(writer) : writer.AppendModuleImage(module);
  module.Close();
  if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenModule);

  const PackOutcome written = options.compressor != nullptr
                                  ? options.compressor->WriteMembers(list, writer, result)
                                  : WriteStoredMembers(list, writer, result);
  if (written != kPackCompleted) return written;
  if (options.compressor != nullptr) return options.compressor->Finish(writer, result);
  status = writer.Finish();
  if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenFile);
  return kPackCompleted;
}

}  // namespace

PackOptions DefaultPackOptions() {
  PackOptions options = {nullptr, kMaxPackageLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return options;
}

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
  if (!buffer.isReady()) return SetPackOutcome(result, kPackCannotWrite);
  TemporaryPackage package(options.temporaryWatch);
  if (!havePackagePath || !package.Create(packagePath)) {
    return SetPackOutcome(result, kPackCannotCreate);
  }
  BinaryFile module;
  if (!module.OpenForReading(modulePath)) return SetPackOutcome(result, kPackCannotOpenModule);
  const PackOutcome written = WritePackage(list, module, options, buffer, package.file(), result);
  if (written != kPackCompleted) return written;
  if (!package.CloseChecked()) return SetPackOutcome(result, kPackCannotWrite);
  if (!package.MoveTo(packagePath)) return SetPackOutcome(result, kPackCannotCreate);
  return SetPackOutcome(result, kPackCompleted);
}
