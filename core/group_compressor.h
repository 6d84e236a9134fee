// The compressed pack's plan and streams, for the tool and the window alike: consecutive
// files in list order share one LZMA stream (a solid group), divided as core/group_plan.h
// says; a stored file (one that does not shrink) rides in the group around it without
// breaking its stream, and a file that repeats an earlier one is a copy of it.
//
// The writer's own thread encodes the group it writes, straight into the package; threads
// beside it encode the groups after it, each into a buffer of at most `aheadLimit` bytes,
// and pause when it is full until the writer reaches their group and goes on with it. So
// no stream is held whole, at most as many encoders are alive as there are threads, and
// the bytes never depend on the number of threads.
#pragma once
#include <stdint.h>

#include "core/compress_memory.h"
#include "core/group_codec.h"
#include "core/group_job.h"
#include "core/group_plan.h"
#include "core/growable_block.h"
#include "core/member_compressor.h"
#include "core/object_array.h"
#include "core/worker_threads.h"

// A file is stored when a sample of it compresses to more than this share (in 1/1000).
const unsigned kStoredAbovePerMille = 970;
// A smaller file is compressed whether or not it shrinks alone: in the solid stream it
// shares headers, names and text with its neighbours. Small .gz files of documentation came
// out 7 to 14 % smaller there and small PNG icons 11 %; random bytes cost 1.4 % more.
const uint64_t kAlwaysCompressedBelow = 64u << 10;

struct CompressSettings {
  unsigned threads;         // encoders at once at most; 0: one per processor (the workers' spare ones and the caller's)
  GroupRule rule;
  uint64_t memoryLimit;     // the peak to keep under (core/compress_memory.h)
  uint64_t physicalMemory;  // the machine's, 0 when not known
  size_t aheadLimit;        // the most a group encoded ahead of the writer holds
};

// The tool's: 1 GiB, and a whole group of the plan's usual size ahead.
constexpr CompressSettings kToolCompressSettings = {0, kDefaultGroupRule, kCompressMemoryLimit, 0, 64u << 20};

class GroupCompressor : public MemberCompressor {
 public:
  // `threads` null: every group is encoded on the writer's thread.
  GroupCompressor(GroupCodec& codec, WorkerThreads* threads, const CompressSettings& settings);
  ~GroupCompressor();
  GroupCompressor(const GroupCompressor&) = delete;
  GroupCompressor& operator=(const GroupCompressor&) = delete;

  CompressStatus Plan(const PackFileList& list, int* failedRow) override;
  int groupCount() const override { return groupCount_; }
  MemberGroup group(int index) const override { return jobs_[index].group; }
  int IsStoredRow(int row) const override { return storedRows_[row]; }
  CompressStatus WriteStream(int index, ByteSink& sink, GroupMembers* members, int* failedRow) override;
  int FindCopy(int row, RowCopy* copy) const override;
  CompressStatus CompressDirectory(const char* entries, size_t length, const char** stream,
                                   size_t* streamLength) override;

  // Asks every encoder to stop at its next block: the pack then fails with kCompressStopped.
  void Stop() { progress_.stop.store(1); }
  // The compressed rows' bytes read so far, and in all (known once planned).
  uint64_t bytesRead() const { return progress_.read.load(std::memory_order_relaxed); }
  uint64_t bytesToRead() const { return progress_.total.load(std::memory_order_relaxed); }
  // How many encoders work at once (known once planned).
  unsigned encoders() const { return threads_; }

 private:
  CompressStatus ReadRows(const PackFileList& list, PlannedFile* files, char (*names)[260], int* failedRow);
  int KeepPath(int row, const char* path);
  int SampleShrinks(BinaryFile& file, uint64_t length);
  // Ties each file that repeats an earlier one's bytes to it; a copy is neither compressed
  // nor stored.
  CompressStatus FindCopies(PlannedFile* files, char (*names)[260], int* failedRow);
  CompressStatus PlanJobs(const PlannedFile* files, const MemberGroup* groups);
  uint64_t RowMemory() const;
  // Starts groups after `index` on the worker threads while fewer than threads_ are alive.
  void StartAhead(int index);
  void JoinAll();

  GroupCodec& codec_;
  WorkerThreads* workers_;
  CompressSettings settings_;
  unsigned threads_;
  // Each row's path, kept at its own length (a tree may have hundreds of thousands).
  GrowableBlock<char> pathPool_;
  size_t pathPoolLength_;
  GrowableBlock<size_t> pathAt_;
  int rowCount_;
  GrowableBlock<unsigned char> storedRows_;
  GrowableBlock<uint64_t> plannedSizes_;  // each row's length as the plan saw it
  PlannedRows rows_;
  ObjectArray<GroupJob> jobs_;
  int groupCount_;
  int nextJob_;    // the next group to begin
  unsigned alive_;  // groups begun and not ended
  GroupProgress progress_;
  GrowableBlock<RowCopy> copies_;
  GrowableBlock<char> directory_;
};
