// The compressed members of an open package, decoded as they are asked for: one decoder
// walks a group's stream while its members come one after another (from the group's start
// again when one is asked for out of order), the groups after it are decoded ahead on
// spare threads as far as the memory allows, and every member's original bytes are checked
// against their checksum. The reader keeps the directory and its checks; this keeps the
// decoding, so that neither has to know how the other works.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/binary_file.h"
#include "core/block_copy.h"
#include "core/group_ahead.h"
#include "core/lzma_group_decoder.h"
#include "core/member_map.h"
#include "core/package_format.h"
#include "core/worker_threads.h"

// How a member's copy ended. Each failure has its own value, so that every reader says
// what went wrong: a shortage of memory is neither a full disk nor a damaged package.
enum MemberCopyResult {
  kMemberReadFailed = 0,   // the package could not be read, or ended early
  kMemberIntact = 1,       // every byte copied and, where a record says, as packed
  kMemberDamaged = 2,      // copied whole, but not the bytes that were packed
  kMemberWriteFailed = 3,  // the destination took fewer bytes than it was given, or failed
  kMemberNoMemory = 4,     // no memory to decode the member's group (or for the copy's buffer)
};

// What decoding ahead may hold of the memory at once: the memory spare when this thread
// starts on a group, of which each group given to a thread takes its stream, its original
// bytes and a dictionary of at most as many, beside the decoder's own state.
class AheadMemoryPlan {
 public:
  explicit AheadMemoryPlan(uint64_t spare) : left_(spare) {}
  // Takes what decoding a group of `compressedSize` bytes that decode to `originalSize`
  // ahead costs; 0, taking nothing, when that is more than is left.
  int Take(uint64_t compressedSize, uint64_t originalSize);

 private:
  uint64_t left_;
};

class GroupSource {
 public:
  GroupSource();
  ~GroupSource() { Forget(); }
  GroupSource(const GroupSource&) = delete;
  GroupSource& operator=(const GroupSource&) = delete;

  // Threads on which the groups that come next are decoded while the caller writes the
  // members before them (the threads outlive the source). The bytes handed out and their
  // order are the same with threads or without.
  void SetWorkerThreads(WorkerThreads* threads) { threads_ = threads; }

  // Decodes the one group whose `compressedSize` bytes begin at `offset` of `file` whole
  // into `out` (`size` bytes), on this thread: the directory's table, before there are
  // members to hand out. Its records of `recordSize` bytes each begin with a name; one
  // reached without (a first byte of 0) makes the group damaged at once.
  GroupDecodeStatus DecodeRecords(BinaryFile& file, uint64_t offset, uint64_t compressedSize, char* out, size_t size,
                                  size_t recordSize);

  // The members to hand out: `count` slots of the directory `entries` of the package open
  // in `file`, all kept by the caller until Forget. A member's slot is marked checked once
  // its bytes matched their checksum.
  void Attach(BinaryFile& file, const PackageDirEntry* entries, MemberSlot* slots, int count);
  // Stops the threads, lets go of the bytes they decoded and of the group being decoded,
  // and of the members.
  void Forget();

  // Copies compressed member `index` to the destination's current position (to nowhere
  // when `destination` is null): kMemberIntact when its bytes were all decoded, written
  // and matched their checksum; kMemberDamaged when the group or the bytes are not what
  // was packed.
  MemberCopyResult CopyMember(int index, BinaryFile* destination, const CopyBuffer& buffer, CopyObserver* observer);

 private:
  MemberCopyResult StartGroupAt(int index, const CopyBuffer& buffer);
  MemberCopyResult DecodeBytes(uint64_t length, BinaryFile* destination, const CopyBuffer& buffer,
                               CopyObserver* observer);

  // Decoding ahead (group_source_ahead.cpp). When this thread starts on the group of
  // member `index` from its first member, the groups after it go to spare threads, in
  // order, as many as there are threads and free memory for.
  void LaunchAhead(int index);
  int NextGroupStart(int member) const;
  int StartAhead(GroupAhead& ahead, int member, AheadMemoryPlan& plan);
  // Hands the group's bytes, decoded ahead, to the decoder once its thread is done; 0 when
  // there are none or the thread failed (this thread then decodes the group itself).
  int TakeAhead(int group);
  void StopAhead();

  BinaryFile* file_;
  const PackageDirEntry* entries_;
  MemberSlot* slots_;
  int count_;
  GroupDecoder decoder_;
  int decodingGroup_;  // the group entry being decoded, or -1
  int nextMember_;     // the member that the decoder stands at
  static const int kMostAhead = 15;
  static const size_t kRecordStep = 1 << 20;
  WorkerThreads* threads_;
  GroupAhead ahead_[kMostAhead];
  int aheadUntil_;  // the first member of the last group given to a thread, or -1
};
