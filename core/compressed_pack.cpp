#include "core/compressed_pack.h"

#include <string.h>

#include "core/binary_file.h"
#include "core/growable_block.h"

namespace {

// Each row's directory entry, once written: where a later copy of its bytes points.
typedef GrowableBlock<uint32_t> RowEntries;

// A row that is not compressed: a copy of an earlier row's bytes, or its own bytes as
// they are.
PackOutcome WriteUncompressedRow(const PackFileList& list, const MemberCompressor& compressor, int row,
                                 const char* name, PackageWriter& writer, RowEntries& rowEntries,
                                 PackResult* result) {
  rowEntries[row] = writer.entryCount();
  RowCopy copy;
  if (!compressor.FindCopy(row, &copy)) return StoreMember(list, row, name, writer, result);
  // The earlier file was read again since the two were compared: it must still hold those bytes.
  uint32_t written = 0;
  if (writer.RecordedChecksum(rowEntries[copy.original], &written) && written != copy.checksum) {
    char original[kMemberNameSize];
    list.GetMemberName(copy.original, original);
    return SetPackOutcome(result, kPackFileChanged, original);
  }
  const PackageWriteStatus status = writer.AppendCopy(name, rowEntries[copy.original], copy.size, copy.checksum);
  return status == kPackageWriteOk ? kPackCompleted : SetWriteFailure(result, status, kPackCannotOpenFile, name);
}

PackOutcome FailOnCompress(const PackFileList& list, CompressStatus status, int failedRow, PackResult* result) {
  if (status == kCompressTooLarge) return SetPackOutcome(result, kPackTooLarge);
  const int named = status == kCompressCannotRead || status == kCompressFileChanged;
  if (named && failedRow >= 0 && failedRow < list.GetCount()) {
    char name[kMemberNameSize];
    list.GetMemberName(failedRow, name);
    return SetPackOutcome(result, status == kCompressFileChanged ? kPackFileChanged : kPackCannotOpenFile, name);
  }
  return SetPackOutcome(result, kPackCannotWrite);
}

// The package as a group's sink: the stream goes to the file as it is made.
class GroupStreamSink : public ByteSink {
 public:
  explicit GroupStreamSink(PackageWriter& writer) : writer_(writer), status_(kPackageWriteOk) {}
  int Put(const char* bytes, size_t length) override {
    status_ = writer_.PutGroupBytes(bytes, length);
    return status_ == kPackageWriteOk;
  }
  PackageWriteStatus status() const { return status_; }

 private:
  PackageWriter& writer_;
  PackageWriteStatus status_;
};

// The group's stream, then its span in list order: the compressed rows' entries (no bytes
// of their own) and the stored rows' bytes, so that each entry starts where the one
// before it ends.
PackOutcome WriteGroup(const PackFileList& list, MemberCompressor& compressor, int index, PackageWriter& writer,
                       RowEntries& rowEntries, PackResult* result) {
  const MemberGroup group = compressor.group(index);
  PackageWriteStatus status = writer.BeginGroupStream();
  if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenFile);
  GroupStreamSink sink(writer);
  GroupMembers stream;
  int failedRow = -1;
  const CompressStatus compressed = compressor.WriteStream(index, sink, &stream, &failedRow);
  if (compressed == kCompressSinkFailed) return SetWriteFailure(result, sink.status(), kPackCannotOpenFile);
  if (compressed != kCompressOk) return FailOnCompress(list, compressed, failedRow, result);
  uint32_t members = 0;
  for (int k = 0; k < group.rowCount; ++k) members += !compressor.IsStoredRow(group.firstRow + k);
  status = writer.EndGroupStream(members, stream.originalSize);
  if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenFile);
  for (int k = 0; k < group.rowCount; ++k) {
    const int row = group.firstRow + k;
    char name[kMemberNameSize];
    list.GetMemberName(row, name);
    if (compressor.IsStoredRow(row)) {
      const PackOutcome stored = WriteUncompressedRow(list, compressor, row, name, writer, rowEntries, result);
      if (stored != kPackCompleted) return stored;
      continue;
    }
    rowEntries[row] = writer.entryCount();
    status = writer.AppendCompressedMember(name, stream.originalSizes[k], stream.checksums[k]);
    if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenFile, name);
  }
  return kPackCompleted;
}

}  // namespace

PackOutcome StoreMember(const PackFileList& list, int row, const char* memberName, PackageWriter& writer,
                        PackResult* result) {
  if (list.IsFolderRow(row)) {
    const PackageWriteStatus status = writer.AppendFolder(memberName);
    return status == kPackageWriteOk ? kPackCompleted
                                     : SetWriteFailure(result, status, kPackCannotOpenFile, memberName);
  }
  char source[kCorePathSize];
  list.GetRowText(row, source);
  BinaryFile member;
  uint64_t length = 0;
  if (!member.OpenForReading(source) || IsDirectory(source) || !member.GetLength(&length)) {
    return SetPackOutcome(result, kPackCannotOpenFile, memberName);
  }
  const uint64_t offset = writer.runningOffset();
  const PackageWriteStatus status = writer.AppendMember(member, memberName);
  if (status != kPackageWriteOk) return SetWriteFailure(result, status, kPackCannotOpenFile, memberName);
  if (writer.runningOffset() - offset != length) return SetPackOutcome(result, kPackFileChanged, memberName);
  return kPackCompleted;
}

PackOutcome PlanCompressedPack(const PackFileList& list, MemberCompressor& compressor, uint32_t* entries,
                               PackResult* result) {
  int failedRow = -1;
  const CompressStatus status = compressor.Plan(list, &failedRow);
  if (status != kCompressOk) return FailOnCompress(list, status, failedRow, result);
  uint32_t total = static_cast<uint32_t>(list.GetCount());
  for (int k = 0; k < compressor.groupCount(); ++k) total += compressor.group(k).stored ? 0 : 1;
  *entries = total;
  return kPackCompleted;
}

PackOutcome WriteCompressedMembers(const PackFileList& list, MemberCompressor& compressor, PackageWriter& writer,
                                   PackResult* result) {
  RowEntries rowEntries;
  if (!rowEntries.Allocate(list.GetCount() > 0 ? list.GetCount() : 1)) return SetPackOutcome(result, kPackCannotWrite);
  for (int k = 0; k < compressor.groupCount(); ++k) {
    const MemberGroup group = compressor.group(k);
    char name[kMemberNameSize];
    if (group.stored) list.GetMemberName(group.firstRow, name);
    const PackOutcome written =
        group.stored ? WriteUncompressedRow(list, compressor, group.firstRow, name, writer, rowEntries, result)
                     : WriteGroup(list, compressor, k, writer, rowEntries, result);
    if (written != kPackCompleted) return written;
  }
  return kPackCompleted;
}

PackOutcome FinishCompressedPackage(MemberCompressor& compressor, PackageWriter& writer, PackResult* result) {
  PackageWriteStatus status = kPackageWriteOk;
  if (!writer.holdsCompressedMembers()) {
    status = writer.Finish();
  } else {
    size_t length = 0;
    const char* directory = writer.CompleteDirectory(&length);
    const char* stream = nullptr;
    size_t streamLength = 0;
    const CompressStatus compressed = compressor.CompressDirectory(directory, length, &stream, &streamLength);
    if (compressed != kCompressOk) return SetPackOutcome(result, kPackCannotWrite);
    status = writer.FinishWithTable(stream, streamLength);
  }
  return status == kPackageWriteOk ? kPackCompleted : SetWriteFailure(result, status, kPackCannotOpenFile);
}

PackOutcome CompressedPackWriter::Plan(const PackFileList& list, uint32_t* entries, PackResult* result) {
  return PlanCompressedPack(list, compressor_, entries, result);
}

PackOutcome CompressedPackWriter::WriteMembers(const PackFileList& list, PackageWriter& writer, PackResult* result) {
  return WriteCompressedMembers(list, compressor_, writer, result);
}

PackOutcome CompressedPackWriter::Finish(PackageWriter& writer, PackResult* result) {
  return FinishCompressedPackage(compressor_, writer, result);
}
