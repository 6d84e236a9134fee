#include "core/compressed_pack.h"

#include <string.h>

#include "core/binary_file.h"

namespace {

int Fail(CompressedPackFailure* failure, PackOutcome outcome, const char* name = "") {
  failure->outcome = outcome;
  memset(failure->name, 0, sizeof(failure->name));
  strncpy(failure->name, name, sizeof(failure->name) - 1);
  return 0;
}

// The row's member name.
void GetMemberName(const PackFileList& list, int row, char (&path)[kCorePathSize], const char** name) {
  char member[260];
  list.GetMemberName(row, member);
  memset(path, 0, sizeof(path));
  memcpy(path, member, sizeof(member));
  *name = path;
}

int FailOnCompress(const PackFileList& list, CompressStatus status, int failedRow,
                   CompressedPackFailure* failure) {
  if (status == kCompressTooLarge) return Fail(failure, kPackTooLarge);
  if (status == kCompressCannotRead && failedRow >= 0 && failedRow < list.GetCount()) {
    char path[kCorePathSize];
    const char* name = nullptr;
    GetMemberName(list, failedRow, path, &name);
    return Fail(failure, kPackCannotOpenFile, name);
  }
  return Fail(failure, kPackCannotWrite);
}

int FailOnWrite(PackageWriteStatus status, const char* name, CompressedPackFailure* failure) {
  if (status == kPackageTooLarge) return Fail(failure, kPackTooLarge);
  if (status == kPackageReadFailed) return Fail(failure, kPackCannotOpenFile, name);
  return Fail(failure, kPackCannotWrite);
}

int WriteStoredMember(const PackFileList& list, int row, PackageWriter& writer, CompressedPackFailure* failure) {
  char path[kCorePathSize];
  const char* name = nullptr;
  GetMemberName(list, row, path, &name);
  // An empty folder is stored in a compressed package too: an entry without bytes.
  if (list.IsFolderRow(row)) {
    const PackageWriteStatus status = writer.AppendFolder(name);
    return status == kPackageWriteOk ? 1 : FailOnWrite(status, name, failure);
  }
  char source[kCorePathSize];
  list.GetRowText(row, source);
  BinaryFile member;
  if (!member.OpenForReading(source) || IsDirectory(source)) return Fail(failure, kPackCannotOpenFile, name);
  const PackageWriteStatus status = writer.AppendMember(member, name);
  return status == kPackageWriteOk ? 1 : FailOnWrite(status, name, failure);
}

int WriteGroup(const PackFileList& list, MemberCompressor& compressor, int index, PackageWriter& writer,
               CompressedPackFailure* failure) {
  const MemberGroup group = compressor.group(index);
  GroupStream stream;
  int failedRow = -1;
  const CompressStatus compressed = compressor.TakeStream(index, &stream, &failedRow);
  if (compressed != kCompressOk) return FailOnCompress(list, compressed, failedRow, failure);
  PackageWriteStatus status = writer.AppendGroupStream(stream.bytes, stream.length,
                                                       static_cast<uint32_t>(group.rowCount), stream.originalSize);
  if (status != kPackageWriteOk) return FailOnWrite(status, "", failure);
  for (int k = 0; k < group.rowCount; ++k) {
    char path[kCorePathSize];
    const char* name = nullptr;
    GetMemberName(list, group.firstRow + k, path, &name);
    status = writer.AppendCompressedMember(name, stream.originalSizes[k], stream.checksums[k]);
    if (status != kPackageWriteOk) return FailOnWrite(status, name, failure);
  }
  return 1;
}

}  // namespace

int PlanCompressedPack(const PackFileList& list, MemberCompressor& compressor, uint32_t* entries,
                       CompressedPackFailure* failure) {
  int failedRow = -1;
  const CompressStatus status = compressor.Plan(list, &failedRow);
  if (status != kCompressOk) return FailOnCompress(list, status, failedRow, failure);
  uint32_t total = static_cast<uint32_t>(list.GetCount());
  for (int k = 0; k < compressor.groupCount(); ++k) total += compressor.group(k).stored ? 0 : 1;
  *entries = total;
  return 1;
}

int WriteCompressedMembers(const PackFileList& list, MemberCompressor& compressor, PackageWriter& writer,
                           CompressedPackFailure* failure) {
  for (int k = 0; k < compressor.groupCount(); ++k) {
    const MemberGroup group = compressor.group(k);
    const int written = group.stored ? WriteStoredMember(list, group.firstRow, writer, failure)
                                     : WriteGroup(list, compressor, k, writer, failure);
    if (!written) return 0;
  }
  return 1;
}
