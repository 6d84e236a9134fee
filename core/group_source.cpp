// The group source's copy of compressed members: a group is decoded in one pass while its
// members are asked for in order (stored members among them read from their own bytes in
// between, by the reader), and from its start again when one is asked for out of order.
#include "core/group_source.h"

#include "core/member_checksum.h"
#include "core/name_field_records.h"

namespace {

// Each failure of the decoder as what it is (a table: smaller than a switch in the program).
MemberCopyResult FromDecodeStatus(GroupDecodeStatus status) {
  static const MemberCopyResult kResults[] = {kMemberIntact, kMemberDamaged, kMemberNoMemory, kMemberReadFailed};
  static_assert(kGroupDecodeOk == 0 && kGroupDecodeDamaged == 1 && kGroupDecodeNoMemory == 2 &&
                    kGroupDecodeReadFailed == 3,
                "the table follows the decoder's statuses");
  return kResults[status];
}

}  // namespace

GroupSource::GroupSource()
    : file_(nullptr), entries_(nullptr), slots_(nullptr), count_(0), decodingGroup_(-1), nextMember_(0),
      threads_(nullptr), aheadUntil_(-1) {}

GroupDecodeStatus GroupSource::DecodeRecords(BinaryFile& file, uint64_t offset, uint64_t compressedSize, char* out,
                                             size_t size, size_t recordSize) {
  GroupDecodeStatus status = decoder_.Begin(file, offset, compressedSize, size);
  // A megabyte at a time, the last record reached named: zeros (a sparse file's) decode to
  // records without names, some forty bytes for each byte read, and stop at the first.
  size_t done = 0, got = 1;
  while (status == kGroupDecodeOk && done < size && got != 0) {
    // The decoder never hands out more than the `size` it was begun with.
    status = decoder_.Read(out + done, kRecordStep, &got);
    done += got;
    if (got != 0 && out[(done - 1) / recordSize * recordSize] == 0) status = kGroupDecodeDamaged;
  }
  if (status == kGroupDecodeOk) status = decoder_.ReadAll(out + done, size - done, nullptr);
  return status;
}

void GroupSource::Attach(BinaryFile& file, const PackageDirEntry* entries, MemberSlot* slots, int count) {
  file_ = &file;
  entries_ = entries;
  slots_ = slots;
  count_ = count;
}

void GroupSource::Forget() {
  StopAhead();
  aheadUntil_ = -1;
  decodingGroup_ = -1;
  slots_ = nullptr;
  count_ = 0;
}

MemberCopyResult GroupSource::DecodeBytes(uint64_t length, BinaryFile* destination,
                                            const CopyBuffer& buffer, CopyObserver* observer) {
  uint64_t done = 0;
  while (done < length) {
    const uint64_t missing = length - done;
    const size_t request = missing < CopyBuffer::kSize ? static_cast<size_t>(missing) : CopyBuffer::kSize;
    size_t got = 0;
    const GroupDecodeStatus status = decoder_.Read(buffer.bytes(), request, &got);
    if (status != kGroupDecodeOk) return FromDecodeStatus(status);
    // The group ended before its members did: its records and its stream disagree.
    if (got == 0) return kMemberDamaged;
    if (observer != nullptr) observer->Observe(buffer.bytes(), got);
    if (destination != nullptr && !destination->Write(buffer.bytes(), got)) return kMemberWriteFailed;
    done += got;
  }
  return kMemberIntact;
}

MemberCopyResult GroupSource::StartGroupAt(int index, const CopyBuffer& buffer) {
  const MemberSlot& slot = slots_[index];
  const PackageDirEntry& group = entries_[slot.group];
  GroupRecord record;
  if (!ReadRecord(group, &record)) return kMemberDamaged;
  GroupDecodeStatus status = kGroupDecodeOk;
  if (!TakeAhead(slot.group)) {
    // A group that no thread decoded is this thread's to decode now, before any after it:
    // what the threads decoding ahead hold (a group they could not decode means memory is
    // short) goes first, so that a shortage never stops the copy while they have memory.
    StopAhead();
    status = decoder_.Begin(*file_, group.offset, group.size, record.originalSize);
  }
  if (status != kGroupDecodeOk) return FromDecodeStatus(status);
  decodingGroup_ = slot.group;
  if (index == slot.firstInGroup) LaunchAhead(index);
  // The members before this one are decoded and let go.
  for (int skipped = slot.firstInGroup; skipped != index && skipped >= 0; skipped = slots_[skipped].nextInGroup) {
    const MemberCopyResult result = DecodeBytes(slots_[skipped].originalSize, nullptr, buffer, nullptr);
    if (result != kMemberIntact) return result;
  }
  nextMember_ = index;
  return kMemberIntact;
}

MemberCopyResult GroupSource::CopyMember(int index, BinaryFile* destination, const CopyBuffer& buffer,
                                         CopyObserver* observer) {
  const MemberSlot& slot = slots_[index];
  if (slot.damaged) return kMemberDamaged;
  if (!buffer.isReady()) return kMemberNoMemory;
  MemberCopyResult result = kMemberIntact;
  if (decodingGroup_ != slot.group || nextMember_ != index) result = StartGroupAt(index, buffer);
  MemberChecksum checksum;
  ObserverPair both(&checksum, observer);
  if (result == kMemberIntact) result = DecodeBytes(slot.originalSize, destination, buffer, &both);
  if (result == kMemberIntact && checksum.Finish() != slot.checksum) result = kMemberDamaged;
  if (result == kMemberIntact) slots_[index].checked = 1;
  const int lastOfGroup = slot.nextInGroup < 0;
  if (result == kMemberIntact && lastOfGroup) {
    // The stream must end with the group's last member: the decoder checks that it does.
    size_t extra = 0;
    const GroupDecodeStatus status = decoder_.Read(buffer.bytes(), 1, &extra);
    if (status != kGroupDecodeOk) result = FromDecodeStatus(status);
    else if (extra != 0) result = kMemberDamaged;
  }
  if (result != kMemberIntact || lastOfGroup) {
    decodingGroup_ = -1;
    return result;
  }
  nextMember_ = slot.nextInGroup;
  return result;
}
