// The group source's decoding ahead: while this thread writes the members of one group,
// spare threads decode the groups after it whole into memory, and the decoder then hands
// their members out from there. A group that a thread could not decode (no memory for its
// dictionary, a damaged stream) is decoded again here, so that what the caller sees,
// member by member, is what it would see without threads.
#include <stdint.h>

#include "core/group_source.h"
#include "core/name_field_records.h"

namespace {

// The decoder's own state beside its dictionary: buffers and probabilities.
const uint64_t kDecoderOverhead = 1 << 20;
// What this thread keeps for itself out of the spare memory: a dictionary as large as a
// group may declare (it decodes a group itself when no thread did), its decoder's state,
// and room for the buffers and handles of the files it writes meanwhile.
const uint64_t kCallerRoom = kMaxGroupDictionary + kDecoderOverhead + (8 << 20);

}  // namespace

int AheadMemoryPlan::Take(uint64_t compressedSize, uint64_t originalSize) {
  // The stream, the original bytes, and a dictionary of at most as many.
  const uint64_t dictionary = originalSize < kMaxGroupDictionary ? originalSize : kMaxGroupDictionary;
  const uint64_t cost = compressedSize + originalSize + dictionary + kDecoderOverhead;
  if (cost + kCallerRoom > left_) return 0;
  left_ -= cost;
  return 1;
}

void GroupSource::LaunchAhead(int index) {
  if (threads_ == nullptr || index <= aheadUntil_) return;
  int spare = threads_->spareThreads();
  if (spare > kMostAhead) spare = kMostAhead;
  AheadMemoryPlan plan(spare > 0 ? threads_->spareMemory() : 0);
  int member = index;
  for (int k = 0; k < spare; ++k) {
    if (ahead_[k].group >= 0) continue;
    member = NextGroupStart(member);
    // Groups are decoded ahead in order: one that does not fit now is left to this thread.
    if (member < 0 || !StartAhead(ahead_[k], member, plan)) return;
    aheadUntil_ = member;
  }
}

int GroupSource::NextGroupStart(int member) const {
  const int group = slots_[member].group;
  for (int m = member + 1; m < count_; ++m) {
    const MemberSlot& slot = slots_[m];
    if (slot.group >= 0 && slot.group != group && slot.firstInGroup == m && !slot.damaged) return m;
  }
  return -1;
}

int GroupSource::StartAhead(GroupAhead& ahead, int member, AheadMemoryPlan& plan) {
  const PackageDirEntry& group = entries_[slots_[member].group];
  GroupRecord record;
  if (!ReadRecord(group, &record)) return 0;
  if (record.originalSize != static_cast<size_t>(record.originalSize)) return 0;
  if (!plan.Take(group.size, record.originalSize)) return 0;
  ahead.group = slots_[member].group;
  ahead.stop = 0;
  ahead.compressedSize = group.size;
  ahead.originalSize = record.originalSize;
  if (ahead.stream.Allocate(group.size) && ahead.bytes.Allocate(static_cast<size_t>(record.originalSize)) &&
      file_->ReadAt(group.offset, ahead.stream.get(), group.size)) {
    ahead.thread = threads_->Start(ahead);
  }
  if (ahead.thread == nullptr) {
    ahead.Release();
    return 0;
  }
  return 1;
}

int GroupSource::TakeAhead(int group) {
  for (GroupAhead& ahead : ahead_) {
    if (ahead.group != group) continue;
    if (ahead.thread != nullptr) threads_->Join(ahead.thread);
    ahead.thread = nullptr;
    const int taken = ahead.status == kGroupDecodeOk &&
                      decoder_.Begin(ahead.bytes, static_cast<size_t>(ahead.originalSize)) == kGroupDecodeOk;
    ahead.Release();
    return taken;
  }
  return 0;
}

void GroupSource::StopAhead() {
  for (GroupAhead& ahead : ahead_) {
    if (ahead.thread != nullptr) {
      __atomic_store_n(&ahead.stop, 1, __ATOMIC_RELAXED);
      threads_->Join(ahead.thread);
      ahead.thread = nullptr;
    }
    ahead.Release();
  }
}
