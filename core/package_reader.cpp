#include "core/package_reader.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "core/member_checksum.h"
#include "core/member_name.h"
#include "core/name_clash.h"
#include "core/name_field_records.h"
#include "core/pe_image.h"
#include "core/program_end.h"

// The least stream a directory table takes per entry: each entry's records end in a
// self-check of 4 bytes that no encoder can predict. docs/format.md states the bound.
static const uint32_t kLeastStreamBytesPerEntry = 4;
// The decoded table is looked at in steps of this many bytes.

int LocatePackageTrailer(BinaryFile& file, PackageTrailerInfo* info) {
  uint64_t length = 0;
  if (!file.GetLength(&length)) return 0;
  uint64_t tableStart = 0;
  const int signedFile = FindCertificateTable(file, length, &tableStart);
  const uint64_t end = signedFile ? tableStart : length;
  if (end < sizeof(PackageTrailer)) return 0;

  // One read covers all 128 positions (less near the start of a small file).
  const uint64_t last = end - sizeof(PackageTrailer);  // where a slack-free trailer starts
  const uint64_t lowest = last > kMaxTrailingSlack ? last - kMaxTrailingSlack : 0;
  unsigned char tail[kMaxTrailingSlack + sizeof(PackageTrailer)];
  const size_t tailLength = static_cast<size_t>(end - lowest);
  if (!file.ReadAt(lowest, tail, tailLength)) return 0;

  for (unsigned slack = 0; slack <= kMaxTrailingSlack; ++slack) {
    // The scan never looks before the start of the file.
    if (slack > 0 && slack >= last) return 0;
    const unsigned char* candidate = tail + (last - slack - lowest);
    if (memcmp(candidate, kPackageMagic, kPackageMagicLength) == 0) {
      PackageTrailer trailer;
      memcpy(&trailer, candidate, sizeof(trailer));
      info->logicalEnd = end;
      info->signedPackage = signedFile;
      info->slack = slack;
      info->count = trailer.count;
      return 1;
    }
  }
  return 0;
}

PackageReader::PackageReader()
    : entryCount_(0), count_(0), written_(nullptr), directoryStart_(0), status_(kPackageCannotOpen), badEntry_(-1), nameProblem_(kNameSafe),
      hostCodePage_(ByteNameCodePage()), haveHostCodePage_(0), codePage_(ByteNameCodePage()) {
  memset(&trailer_, 0, sizeof(trailer_));
  memset(badName_, 0, sizeof(badName_));
}

void PackageReader::SetHostCodePage(const NameCodePage& codePage) {
  hostCodePage_ = codePage;
  haveHostCodePage_ = 1;
}

PackageReader::~PackageReader() {}

int PackageReader::Refuse(PackageStatus status, int entry) {
  source_.Forget();
  memset(badName_, 0, sizeof(badName_));
  if (entry >= 0 && entries_.valid()) memcpy(badName_, entries_[entry].name, sizeof(badName_) - 1);
  if (status != kPackageUnsafeName) nameProblem_ = kNameSafe;
  file_.Close();
  entries_.Free();
  slots_.Free();
  entryCount_ = 0;
  count_ = 0;
  directoryStart_ = 0;
  status_ = status;
  badEntry_ = entry;
  return 0;
}

int PackageReader::Open(const char* path) {
  Refuse(kPackageCannotOpen);
  if (!file_.OpenForReading(path)) return 0;
  if (!LocatePackageTrailer(file_, &trailer_)) {
    // A plain program ends with its image; anything after it is what is left of a
    // package that lost its end (an interrupted download) or had bytes appended.
    return Refuse(GoesOnPastProgram(file_) ? kPackageCutShort : kPackageNoTrailer);
  }
  if (trailer_.count < 0) return Refuse(kPackageNegativeCount);
  // No writer makes a package whose bytes reach 4 GiB: the 32-bit offsets could not
  // describe them. Past that, the directory's byte count would no longer fit a 32-bit
  // size, and a cut allocation would be walked by the whole count.
  if (trailer_.logicalEnd > kMaxPackageLength) return Refuse(kPackageBeyondFormatLimit);

  const uint64_t directoryBytes = static_cast<uint64_t>(trailer_.count) * sizeof(PackageDirEntry);
  const uint64_t beforeTrailer = trailer_.logicalEnd - sizeof(PackageTrailer) - trailer_.slack;
  if (directoryBytes > beforeTrailer) return Refuse(kPackageDirectoryOutside);
  directoryStart_ = beforeTrailer - directoryBytes;
  if (directoryBytes > static_cast<uint64_t>(SIZE_MAX)) return Refuse(kPackageNoMemory);

  if (trailer_.count > 0) {
    // The count is bounded by the file's size above, so this allocation is too.
    if (!entries_.Allocate(static_cast<size_t>(trailer_.count))) return Refuse(kPackageNoMemory);
    if (!file_.ReadAt(directoryStart_, entries_.get(), static_cast<size_t>(directoryBytes))) {
      return Refuse(kPackageDirectoryUnreadable);
    }
  }
  entryCount_ = trailer_.count;
  const int inTable = entryCount_ == 1 && IsTableEntry(entries_[0]);
  if (inTable) {
    const PackageStatus table = ReadTable();
    if (table != kPackageOk) return Refuse(table, 0);
  }
  return CheckDirectory(inTable);
}

int PackageReader::CheckDirectory(int copiesAllowed) {
  const uint32_t recorded = FindRecordedCodePage(entries_.get(), entryCount_);
  codePage_ = recorded == 0 ? ByteNameCodePage() : haveHostCodePage_ ? hostCodePage_ : MakeNameCodePage(recorded);
  for (int i = 0; i < entryCount_; ++i) {
    const PackageDirEntry& entry = entries_[i];
    nameProblem_ = IsGroupEntry(entry) ? kNameSafe : CheckMemberName(entry.name, codePage_);
    if (nameProblem_ != kNameSafe) return Refuse(kPackageUnsafeName, i);
    if (static_cast<uint64_t>(entry.offset) + entry.size > directoryStart_) {
      return Refuse(kPackageMemberOutside, i);
    }
  }
  if (entryCount_ > 0) {
    if (!slots_.Allocate(static_cast<size_t>(entryCount_))) return Refuse(kPackageNoMemory);
  }
  // A record is never a member: a group that counts more members than follow it, or
  // whose count reaches another group's entry, would make one of one.
  const int overrun = FindOverrunningGroup(entries_.get(), entryCount_);
  if (overrun >= 0) return Refuse(kPackageGroupOverrun, overrun);
  count_ = MapMembers(entries_.get(), entryCount_, slots_.get(), copiesAllowed);
  if (!CheckLayout()) return 0;
  source_.Attach(file_, entries_.get(), slots_.get(), count_);
  status_ = kPackageOk;
  return 1;
}

PackageStatus PackageReader::ReadTable() {
  const PackageDirEntry holder = entries_[0];
  TableRecord record;
  // Far more entries than a package of 4 GiB could use: the table's size fits 32 bits.
  const uint32_t kMostEntries = 0x7FFFFFFFu / sizeof(PackageDirEntry);
  // Every entry holds self-checks of 4 bytes that do not compress: a real table takes 9
  // to 15 bytes of its stream per entry, never fewer than kLeastStreamBytesPerEntry. A
  // count past that is refused before memory is taken; the decoding then gives out at
  // most 268 bytes for every 4 of the stream.
  if (!ReadRecord(holder, &record) || record.codec != kCodecLzma || record.entryCount == 0 ||
      record.entryCount > kMostEntries || record.entryCount > holder.size / kLeastStreamBytesPerEntry) {
    return kPackageTableDamaged;
  }
  if (static_cast<uint64_t>(holder.offset) + holder.size > directoryStart_) return kPackageMemberOutside;
  const size_t bytes = static_cast<size_t>(record.entryCount) * sizeof(PackageDirEntry);
  GrowableBlock<PackageDirEntry> entries;
  if (!entries.Allocate(record.entryCount)) return kPackageNoMemory;
  char* table = reinterpret_cast<char*>(entries.get());
  const GroupDecodeStatus status =
      source_.DecodeRecords(file_, holder.offset, holder.size, table, bytes, sizeof(PackageDirEntry));
  if (status == kGroupDecodeNoMemory) return kPackageNoMemory;
  if (status != kGroupDecodeOk) return kPackageTableDamaged;
  if (ChecksumOf(table, bytes) != record.checksum) return kPackageTableDamaged;
  entries_.Swap(entries);
  entryCount_ = static_cast<int>(record.entryCount);
  // The member data ends where the table's bytes begin.
  directoryStart_ = holder.offset;
  return kPackageOk;
}

namespace {

// The members' names, each counted by its directory entry.
class ReaderMemberNames : public MemberNameSource {
 public:
  ReaderMemberNames(const PackageDirEntry* entries, const MemberSlot* slots, int count)
      : entries_(entries), slots_(slots), count_(count) {}
  int count() const override { return count_; }
  MemberNameRef at(int position) const override {
    const MemberNameRef ref = {entries_[slots_[position].entry].name, slots_[position].entry};
    return ref;
  }

 private:
  const PackageDirEntry* entries_;
  const MemberSlot* slots_;
  int count_;
};

}  // namespace

int PackageReader::CheckLayout() {
  for (int i = 0; i < count_; ++i) {
    const MemberSlot& slot = slots_[i];
    // A folder is made, never written: bytes of its own would be lost without a word.
    if (IsFolderMemberName(entries_[slot.entry].name, codePage_) && (slot.group >= 0 || slot.originalSize != 0)) {
      return Refuse(kPackageFolderWithBytes, slot.entry);
    }
  }
  int32_t entry = -1;
  switch (CheckNameClash(ReaderMemberNames(entries_.get(), slots_.get(), count_), codePage_, &entry)) {
    case kNoNameClash: return 1;
    case kNameClashFileBesideFolder: return Refuse(kPackageFileBesideFolder, entry);
    case kNameClashEqualNames: return Refuse(kPackageEqualNames, entry);
    case kNameClashNoMemory: break;
  }
  return Refuse(kPackageNoMemory);
}

void PackageReader::GetBadName(char (&name)[260]) const { memcpy(name, badName_, sizeof(name)); }

uint64_t PackageReader::moduleImageLength() const {
  return entryCount_ > 0 ? entries_[0].offset : directoryStart_;
}

namespace {

// Reads `length` bytes from `position` into the observer only; 1 when all were there.
int ReadThrough(BinaryFile& file, uint64_t position, uint64_t length, const CopyBuffer& buffer,
                CopyObserver& observer) {
  uint64_t read = 0;
  return file.Seek(position) && MoveBlocks(file, nullptr, length, buffer, &read, &observer) == kCopyDone &&
         read == length;
}

}  // namespace

int PackageReader::ExpectedChecksum(int index, uint32_t* checksum) const {
  if (slots_[index].group >= 0 || slots_[index].copyOf >= 0) {
    *checksum = slots_[index].checksum;
    return 1;
  }
  ChecksumRecord record;
  if (!ReadRecord(entry(index), &record)) return 0;
  *checksum = record.member;
  return 1;
}

int PackageReader::HasChecksum(int index) const {
  uint32_t ignored = 0;
  return ExpectedChecksum(index, &ignored);
}

namespace {

// Copies `length` bytes from `offset` of `source` (to nowhere without a destination) and
// checks them against `expected`, where there is one.
MemberCopyResult CopyChecked(BinaryFile& source, uint64_t offset, uint64_t length, BinaryFile* destination,
                             const CopyBuffer& buffer, CopyObserver* observer, const uint32_t* expected) {
  if (!source.Seek(offset)) return kMemberReadFailed;
  MemberChecksum checksum;
  ObserverPair both(&checksum, observer);
  uint64_t copied = 0;
  const CopyResult result = MoveBlocks(source, destination, length, buffer, &copied, &both);
  if (result == kCopyWriteFailed) return kMemberWriteFailed;
  if (result != kCopyDone || copied != length) return kMemberReadFailed;
  if (expected != nullptr && checksum.Finish() != *expected) return kMemberDamaged;
  return kMemberIntact;
}

}  // namespace

MemberCopyResult PackageReader::CopyMember(int index, BinaryFile& destination, const CopyBuffer& buffer,
                                           CopyObserver* observer) {
  if (slots_[index].group >= 0) return source_.CopyMember(index, &destination, buffer, observer);
  if (slots_[index].copyOf >= 0) return CopyDuplicate(index, &destination, buffer, observer);
  if (slots_[index].damaged) return kMemberDamaged;
  uint32_t expected = 0;
  const int recorded = ExpectedChecksum(index, &expected);
  return CopyChecked(file_, entry(index).offset, entry(index).size, &destination, buffer, observer,
                     recorded ? &expected : nullptr);
}

MemberCopyResult PackageReader::CheckMember(int index, const CopyBuffer& buffer) {
  if (slots_[index].group >= 0) return source_.CopyMember(index, nullptr, buffer, nullptr);
  if (slots_[index].copyOf >= 0) return CopyDuplicate(index, nullptr, buffer, nullptr);
  if (slots_[index].damaged) return kMemberDamaged;
  // Without a record there is nothing to compare: the bounds were checked when opening.
  uint32_t expected = 0;
  if (!ExpectedChecksum(index, &expected)) return kMemberIntact;
  return CopyChecked(file_, entry(index).offset, entry(index).size, nullptr, buffer, nullptr, &expected);
}

MemberCopyResult PackageReader::CopyDuplicate(int index, BinaryFile* destination, const CopyBuffer& buffer,
                                              CopyObserver* observer) {
  const MemberSlot& slot = slots_[index];
  if (slot.damaged) return kMemberDamaged;
  const int original = slot.copyOf;
  if (slots_[original].group < 0) {
    const PackageDirEntry& source = entry(original);
    return CopyChecked(file_, source.offset, source.size, destination, buffer, observer, &slot.checksum);
  }
  // A compressed member: checked once is enough, and what was written is read back.
  if (destination == nullptr && slots_[original].checked) return kMemberIntact;
  BinaryFile written;
  if (destination != nullptr && written_ != nullptr && written_->OpenWritten(original, written)) {
    return CopyChecked(written, 0, slot.originalSize, destination, buffer, observer, &slot.checksum);
  }
  return source_.CopyMember(original, destination, buffer, observer);
}

int PackageReader::ExpectedModuleImageChecksum(uint32_t* checksum) const {
  ChecksumRecord record;
  if (entryCount_ == 0 || !ReadRecord(entries_[0], &record)) return 0;
  *checksum = record.moduleImage;
  return 1;
}

MemberCopyResult PackageReader::CheckModuleImage(const CopyBuffer& buffer) {
  uint32_t expected = 0;
  if (!ExpectedModuleImageChecksum(&expected)) return kMemberIntact;
  const uint64_t length = moduleImageLength();
  PeSecurityLayout layout;
  memset(&layout, 0, sizeof(layout));
  if (!ReadPeSecurityLayout(file_, length, &layout)) memset(&layout, 0, sizeof(layout));
  ModuleImageChecksum checksum(layout.checksumOffset, layout.directoryOffset);
  if (!ReadThrough(file_, 0, length, buffer, checksum)) return kMemberReadFailed;
  return checksum.Finish() == expected ? kMemberIntact : kMemberDamaged;
}

const char* DescribePackageStatus(PackageStatus status) {
  switch (status) {
    case kPackageOk: return "well formed";
    case kPackageCannotOpen: return "cannot open the file";
    case kPackageNoTrailer: return "no package trailer";
    case kPackageCutShort: return "no package trailer (the file goes on past the program: cut short or damaged?)";
    case kPackageNegativeCount: return "negative entry count in the trailer";
    case kPackageBeyondFormatLimit: return "file larger than a package can be (4 GiB)";
    case kPackageDirectoryOutside: return "directory outside the file";
    case kPackageDirectoryUnreadable: return "cannot read the directory";
    case kPackageNoMemory: return "no memory for the directory";
    case kPackageUnsafeName: return "unsafe member name";
    case kPackageMemberOutside: return "member outside the file";
    case kPackageFileBesideFolder: return "a file and a folder of the same name";
    case kPackageEqualNames: return "two members of the same name, letter case ignored";
    case kPackageFolderWithBytes: return "a folder entry that holds bytes";
    case kPackageTableDamaged: return "damaged directory table";
    case kPackageGroupOverrun: return "a group that counts more members than it has";
  }
  return "malformed package";
}
