#include "core/compressed_pack.h"

#include <string.h>

#include "core/binary_file.h"

namespace {

int Fail(CompressedPackFailure* failure, PackOutcome outcome, const char* name = "") {
  failure->outcome = outcome;
  memset(failure->name, 0, sizeof(failure->name));
  memcpy(failure->name, name, strnlen(name, sizeof(failure->name) - 1));
  return 0;
}

int FailOnCompress(const PackFileList& list, CompressStatus status, int failedRow,
                   CompressedPackFailure* failure) {
  if (status == kCompressTooLarge) return Fail(failure, kPackTooLarge);
  if (status == kCompressCannotRead && failedRow >= 0 && failedRow < list.GetCount()) {
    char name[260];
    list.GetMemberName(failedRow, name);
    return Fail(failure, kPackCannotOpenFile, name);
  }
  return Fail(failure, kPackCannotWrite);
}

int FailOnWrite(PackageWriteStatus status, const char* name, CompressedPackFailure* failure) {
  if (status == kPackageTooLarge) return Fail(failure, kPackTooLarge);
  if (status == kPackageReadFailed) return Fail(failure, kPackCannotOpenFile, name);
  return Fail(failure, kPackCannotWrite);
}

// The group's stream, then its span in list order: the compressed rows' entries (no bytes
// of their own) and the stored rows' bytes, so that each entry starts where the one
// before it ends.
int WriteGroup(const PackFileList& list, MemberCompressor& compressor, int index, PackageWriter& writer,
               CompressedPackFailure* failure) {
  const MemberGroup group = compressor.group(index);
  GroupStream stream;
  int failedRow = -1;
  const CompressStatus compressed = compressor.TakeStream(index, &stream, &failedRow);
  if (compressed != kCompressOk) return FailOnCompress(list, compressed, failedRow, failure);
  uint32_t members = 0;
  for (int k = 0; k < group.rowCount; ++k) members += !compressor.IsStoredRow(group.firstRow + k);
  PackageWriteStatus status = writer.AppendGroupStream(stream.bytes, stream.length, members, stream.originalSize);
  if (status != kPackageWriteOk) return FailOnWrite(status, "", failure);
  for (int k = 0; k < group.rowCount; ++k) {
    const int row = group.firstRow + k;
    char name[260];
    list.GetMemberName(row, name);
    if (compressor.IsStoredRow(row)) {
      if (!StoreMember(list, row, name, writer, failure)) return 0;
      continue;
    }
    status = writer.AppendCompressedMember(name, stream.originalSizes[k], stream.checksums[k]);
    if (status != kPackageWriteOk) return FailOnWrite(status, name, failure);
  }
  return 1;
}

}  // namespace

int StoreMember(const PackFileList& list, int row, const char* memberName, PackageWriter& writer,
                CompressedPackFailure* failure) {
  if (list.IsFolderRow(row)) {
    const PackageWriteStatus status = writer.AppendFolder(memberName);
    return status == kPackageWriteOk ? 1 : FailOnWrite(status, memberName, failure);
  }
  char source[kCorePathSize];
  list.GetRowText(row, source);
  BinaryFile member;
  uint64_t length = 0;
  if (!member.OpenForReading(source) || IsDirectory(source) || !member.GetLength(&length)) {
    return Fail(failure, kPackCannotOpenFile, memberName);
  }
  const uint64_t offset = writer.runningOffset();
  const PackageWriteStatus status = writer.AppendMember(member, memberName);
  if (status != kPackageWriteOk) return FailOnWrite(status, memberName, failure);
  if (writer.runningOffset() - offset != length) return Fail(failure, kPackFileChanged, memberName);
  return 1;
}

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
    char name[260];
    if (group.stored) list.GetMemberName(group.firstRow, name);
    const int written = group.stored ? StoreMember(list, group.firstRow, name, writer, failure)
                                     : WriteGroup(list, compressor, k, writer, failure);
    if (!written) return 0;
  }
  return 1;
}
