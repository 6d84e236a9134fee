#include "core/package_writer.h"

#include <string.h>

#include "core/member_checksum.h"
#include "core/name_field_records.h"
#include "core/pe_image.h"

PackageWriter::PackageWriter(BinaryFile& package, uint32_t memberCount, const CopyBuffer& buffer,
                             uint64_t maxLength)
    : package_(package), buffer_(buffer), capacity_(memberCount), written_(0),
      offset_(0), maxLength_(maxLength), observer_(nullptr), moduleImageChecksum_(0),
      lastGroup_(0), groupStart_(0), codePage_(0), compressed_(0), codePageRecorded_(0) {
  if (memberCount > 0) entries_.Allocate(memberCount);
}

PackageWriter::~PackageWriter() {}

static PackageWriteStatus FromCopyResult(CopyResult result) {
  if (result == kCopyWriteFailed) return kPackageWriteFailed;
  if (result == kCopyReadFailed) return kPackageReadFailed;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendWholeFile(BinaryFile& source, CopyObserver* checksum) {
  if (!buffer_.isReady()) return kPackageOutOfMemory;
  // One byte more than may still fit, so that a file that would pass the limit is seen.
  const uint64_t room = offset_ < maxLength_ ? maxLength_ - offset_ : 0;
  uint64_t copied = 0;
  ObserverPair observers(checksum, observer_);
  const CopyResult result = CopyBytes(source, package_, room + 1, buffer_, &copied, &observers);
  offset_ += copied;
  if (result != kCopyDone) return FromCopyResult(result);
  if (copied > room) return kPackageTooLarge;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendModuleImage(BinaryFile& program) {
  if (!buffer_.isReady()) return kPackageOutOfMemory;
  uint64_t length = 0;
  if (!program.GetLength(&length)) return kPackageReadFailed;
  ProgramImagePlan plan;
  PlanUnsignedProgram(program, length, &plan);
  const uint64_t room = offset_ < maxLength_ ? maxLength_ - offset_ : 0;
  if (plan.length > room) return kPackageTooLarge;
  uint64_t copied = 0;
  ModuleImageChecksum checksum(plan.layout.checksumOffset, plan.layout.directoryOffset);
  ObserverPair observers(&checksum, observer_);
  const CopyResult result = CopyProgramImage(program, package_, plan, buffer_, &copied, &observers);
  offset_ += copied;
  moduleImageChecksum_ = checksum.Finish();
  return FromCopyResult(result);
}

PackageWriteStatus PackageWriter::AppendModuleBytes(const char* bytes, size_t length, uint64_t checksumAt,
                                                 uint64_t directoryAt) {
  const uint64_t room = offset_ < maxLength_ ? maxLength_ - offset_ : 0;
  if (length > room) return kPackageTooLarge;
  if (!package_.Write(bytes, length)) return kPackageWriteFailed;
  ModuleImageChecksum checksum(checksumAt, directoryAt);
  checksum.Observe(bytes, length);
  if (observer_ != nullptr) observer_->Observe(bytes, length);
  offset_ += length;
  moduleImageChecksum_ = checksum.Finish();
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendMember(BinaryFile& source, const char* name) {
  if (!entries_.valid() || written_ >= capacity_) return kPackageOutOfMemory;
  PackageDirEntry& entry = entries_[written_];
  size_t nameLength = strlen(name);
  if (nameLength >= sizeof(entry.name)) nameLength = sizeof(entry.name) - 1;
  memcpy(entry.name, name, nameLength);
  entry.name[nameLength] = 0;
  entry.offset = static_cast<uint32_t>(offset_);
  MemberChecksum checksum;
  const PackageWriteStatus status = AppendWholeFile(source, &checksum);
  entry.size = static_cast<uint32_t>(offset_ - entry.offset);
  const ChecksumRecord record = {checksum.Finish(), moduleImageChecksum_};
  SealRecord(entry, record);
  ++written_;
  return status;
}

// A new entry without bytes at the running offset (the caller saw that there is room for
// one); null when the name is longer than `longestName`.
PackageDirEntry* PackageWriter::NewEntry(const char* name, size_t longestName) {
  const size_t nameLength = strlen(name);
  if (nameLength > longestName) return nullptr;
  PackageDirEntry& entry = entries_[written_];
  memcpy(entry.name, name, nameLength + 1);
  entry.offset = static_cast<uint32_t>(offset_);
  entry.size = 0;
  return &entry;
}

// Seals an entry without bytes of its own (a folder, a compressed member, a copy) with the
// checksum record of nothing, after its other records, and counts it.
PackageWriteStatus PackageWriter::CloseEntryWithoutBytes(PackageDirEntry& entry) {
  const ChecksumRecord record = {ChecksumOf("", 0), moduleImageChecksum_};
  SealRecord(entry, record);
  ++written_;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendFolder(const char* name) {
  if (!entries_.valid() || written_ >= capacity_) return kPackageOutOfMemory;
  PackageDirEntry* entry = NewEntry(name, sizeof(entry->name) - 1);
  if (entry == nullptr) return kPackageWriteFailed;
  return CloseEntryWithoutBytes(*entry);
}

PackageWriteStatus PackageWriter::AppendGroupStream(const char* stream, size_t length, uint32_t memberCount,
                                                   uint64_t originalSize) {
  PackageWriteStatus status = BeginGroupStream();
  if (status == kPackageWriteOk) status = PutGroupBytes(stream, length);
  return status == kPackageWriteOk ? EndGroupStream(memberCount, originalSize) : status;
}

PackageWriteStatus PackageWriter::BeginGroupStream() {
  if (!entries_.valid() || written_ >= capacity_) return kPackageOutOfMemory;
  groupStart_ = offset_;
  groupChecksum_.Reset();
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::PutGroupBytes(const char* bytes, size_t length) {
  if (length > maxLength_ || offset_ > maxLength_ - length) return kPackageTooLarge;
  if (!package_.Write(bytes, length)) return kPackageWriteFailed;
  if (observer_ != nullptr) observer_->Observe(bytes, length);
  groupChecksum_.Add(bytes, length);
  offset_ += length;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::EndGroupStream(uint32_t memberCount, uint64_t originalSize) {
  PackageDirEntry& entry = entries_[written_];
  memcpy(entry.name, kGroupEntryName, sizeof(kGroupEntryName));
  entry.offset = static_cast<uint32_t>(groupStart_);
  entry.size = static_cast<uint32_t>(offset_ - groupStart_);
  const GroupRecord group = {kCodecLzma, memberCount, originalSize};
  SealRecord(entry, group);
  const ChecksumRecord record = {groupChecksum_.Finish(), moduleImageChecksum_};
  SealRecord(entry, record);
  lastGroup_ = written_++;
  compressed_ = 1;
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::AppendCompressedMember(const char* name, uint32_t originalSize,
                                                        uint32_t checksum) {
  if (!entries_.valid() || written_ >= capacity_) return kPackageOutOfMemory;
  PackageDirEntry* entry = NewEntry(name, kMaxCompressedNameLength);
  if (entry == nullptr) return kPackageWriteFailed;
  const CompressedMemberRecord member = {lastGroup_, originalSize, checksum};
  SealRecord(*entry, member);
  return CloseEntryWithoutBytes(*entry);
}

PackageWriteStatus PackageWriter::AppendCopy(const char* name, uint32_t original, uint32_t originalSize,
                                            uint32_t checksum) {
  if (!entries_.valid() || written_ >= capacity_) return kPackageOutOfMemory;
  if (original >= written_) return kPackageWriteFailed;
  PackageDirEntry* entry = NewEntry(name, kMaxCompressedNameLength);
  if (entry == nullptr) return kPackageWriteFailed;
  const CopyRecord copy = {original, originalSize, checksum};
  SealRecord(*entry, copy);
  compressed_ = 1;
  return CloseEntryWithoutBytes(*entry);
}

int PackageWriter::RecordedChecksum(uint32_t index, uint32_t* checksum) const {
  if (index >= written_) return 0;
  CompressedMemberRecord member;
  ChecksumRecord record;
  if (ReadRecord(entries_[index], &member)) {
    *checksum = member.checksum;
    return 1;
  }
  if (!ReadRecord(entries_[index], &record)) return 0;
  *checksum = record.member;
  return 1;
}

namespace {

// Puts the code page record into the first entry with room for it; the entry's records
// after it, whose self-checks cover it, are sealed anew.
void RecordCodePage(PackageDirEntry* entries, uint32_t count, uint32_t codePage) {
  const CodePageRecord record = {codePage};
  for (uint32_t i = 0; i < count; ++i) {
    if (SealRecord(entries[i], record)) return;
  }
}

}  // namespace

const char* PackageWriter::CompleteDirectory(size_t* length) {
  if (codePage_ != 0 && !codePageRecorded_) RecordCodePage(entries_.get(), written_, codePage_);
  codePageRecorded_ = 1;
  *length = static_cast<size_t>(written_) * sizeof(PackageDirEntry);
  return reinterpret_cast<const char*>(entries_.get());
}

PackageWriteStatus PackageWriter::WriteTrailer(uint32_t count) {
  PackageTrailer trailer;
  memcpy(trailer.magic, kPackageMagic, kPackageMagicLength);
  trailer.count = static_cast<int32_t>(count);
  if (!package_.Write(&trailer, sizeof(trailer))) return kPackageWriteFailed;
  offset_ += sizeof(trailer);
  return kPackageWriteOk;
}

PackageWriteStatus PackageWriter::Finish() {
  if (capacity_ > 0 && !entries_.valid()) return kPackageOutOfMemory;
  size_t directoryBytes = 0;
  const char* directory = CompleteDirectory(&directoryBytes);
  if (offset_ + directoryBytes + sizeof(PackageTrailer) > maxLength_) return kPackageTooLarge;
  if (directoryBytes > 0 && !package_.Write(directory, directoryBytes)) return kPackageWriteFailed;
  offset_ += directoryBytes;
  return WriteTrailer(written_);
}

PackageWriteStatus PackageWriter::FinishWithTable(const char* stream, size_t length) {
  if (!entries_.valid()) return kPackageOutOfMemory;
  size_t directoryBytes = 0;
  const char* directory = CompleteDirectory(&directoryBytes);
  const uint64_t end = offset_ + length + sizeof(PackageDirEntry) + sizeof(PackageTrailer);
  if (length > maxLength_ || end > maxLength_) return kPackageTooLarge;
  PackageDirEntry holder;
  memset(&holder, 0, sizeof(holder));
  memcpy(holder.name, kTableEntryName, sizeof(kTableEntryName));
  holder.offset = static_cast<uint32_t>(offset_);
  holder.size = static_cast<uint32_t>(length);
  const TableRecord table = {kCodecLzma, written_, ChecksumOf(directory, directoryBytes)};
  SealRecord(holder, table);
  const ChecksumRecord record = {ChecksumOf(stream, length), moduleImageChecksum_};
  SealRecord(holder, record);
  if (!package_.Write(stream, length) || !package_.Write(&holder, sizeof(holder))) return kPackageWriteFailed;
  offset_ += length + sizeof(holder);
  return WriteTrailer(1);
}
