// One group's compression: its rows' files read in order, block by block, through the
// codec's encoder, with each file's length and checksum kept for its entry. It works in
// steps, so that a thread beside the writer can stop once its stream fills a bounded
// buffer and the writer can go on from there, its output straight into the package: no
// group's stream is ever held whole.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include "core/binary_file.h"
#include "core/group_codec.h"
#include "core/growable_block.h"
#include "core/member_checksum.h"
#include "core/member_compressor.h"
#include "core/worker_threads.h"

// The plan's rows, which every group reads and none changes.
struct PlannedRows {
  const char* pathPool;
  const size_t* pathAt;  // row r's path starts at pathPool + pathAt[r]
  const unsigned char* stored;
  const uint64_t* plannedSizes;
};

// What the writer, the jobs and whoever shows the progress share: the stop request, the
// bytes read so far and the bytes to read in all (known once planned).
struct GroupProgress {
  std::atomic<int> stop{0};
  std::atomic<uint64_t> read{0};
  std::atomic<uint64_t> total{0};
};

class GroupJob : public BackgroundWork {
 public:
  GroupJob();
  ~GroupJob() { End(); }
  GroupJob(const GroupJob&) = delete;
  GroupJob& operator=(const GroupJob&) = delete;

  // Makes the encoder and puts the stream's header into `out`.
  CompressStatus Begin(GroupCodec& codec, const PlannedRows& rows, GroupProgress& progress, ByteSink& out);
  // Begin for a job that starts beside the writer: the header goes into the held stream.
  CompressStatus BeginAhead(GroupCodec& codec, const PlannedRows& rows, GroupProgress& progress) {
    return Begin(codec, rows, progress, held_);
  }
  // One block of a file, or the end of one, or the end of the stream.
  CompressStatus Step(ByteSink& out);
  // On a thread beside the writer: steps into the held stream until the group ends or
  // the held stream reaches `aheadLimit` bytes.
  void Run() override;
  // Hands the held stream to `out` and lets it go.
  CompressStatus Flush(ByteSink& out);
  // Lets the encoder and the blocks go.
  void End();

  MemberGroup group;
  uint32_t dictionary;
  uint64_t plannedOriginal;  // the bytes of its compressed rows as planned
  size_t aheadLimit;
  void* thread;              // from its start on a worker until joined
  int begun;
  int finished;
  CompressStatus status;
  int failedRow;
  GroupMembers members;      // once finished

 private:
  class HeldStream : public ByteSink {
   public:
    HeldStream() : length(0) {}
    int Put(const char* bytes, size_t count) override;
    GrowableBlock<char> bytes;
    size_t length;
  };
  CompressStatus OpenNextFile(ByteSink& out);
  CompressStatus EndFile();

  GroupCodec* codec_;
  GroupEncoder* encoder_;
  const PlannedRows* rows_;
  GroupProgress* progress_;
  int index_;  // the row of the group being read, from its first
  int fileOpen_;
  BinaryFile file_;
  MemberChecksum checksum_;
  uint64_t fileRead_;
  GrowableBlock<uint8_t> block_;
  GrowableBlock<uint32_t> sizes_;
  GrowableBlock<uint32_t> checksums_;
  HeldStream held_;
};
