// The tool's compressor, native and lodkin-cli.exe alike (the same liblzma version):
// consecutive files in list order share one LZMA stream (a solid group), divided as
// cli/group_plan.h says. Groups are compressed on all cores at once, each by one encoder,
// as many at once as cli/compress_memory.h lets fit in memory, so the bytes written never
// depend on the number of threads. A stored file (one that
// does not shrink) rides in the group around it without breaking its stream.
#pragma once
#include <pthread.h>
#include <stdint.h>

#include "cli/compress_memory.h"
#include "cli/group_plan.h"
#include "cli/object_array.h"
#include "core/binary_file.h"
#include "core/growable_block.h"
#include "core/member_compressor.h"

// A file is stored when a sample of it compresses to more than this share (in 1/1000).
const unsigned kStoredAbovePerMille = 970;
// A smaller file is compressed whether or not it shrinks alone: in the solid stream it
// shares headers, names and text with its neighbours. Small .gz files of documentation came
// out 7 to 14 % smaller there and small PNG icons 11 %; random bytes cost 1.4 % more.
const uint64_t kAlwaysCompressedBelow = 64u << 10;

class LzmaMemberCompressor : public MemberCompressor {
 public:
  // `threads` 0: one per processor. `memoryLimit`: the peak to keep under (tests make it
  // small to see groups wait for memory).
  explicit LzmaMemberCompressor(unsigned threads = 0, const GroupRule& rule = kDefaultGroupRule,
                                uint64_t memoryLimit = kCompressMemoryLimit);
  ~LzmaMemberCompressor();
  LzmaMemberCompressor(const LzmaMemberCompressor&) = delete;
  LzmaMemberCompressor& operator=(const LzmaMemberCompressor&) = delete;

  CompressStatus Plan(const PackFileList& list, int* failedRow) override;
  int groupCount() const override { return groupCount_; }
  MemberGroup group(int index) const override;
  int IsStoredRow(int row) const override { return storedRows_[row]; }
  CompressStatus TakeStream(int index, GroupStream* stream, int* failedRow) override;
  int FindCopy(int row, RowCopy* copy) const override;
  CompressStatus CompressDirectory(const char* entries, size_t length, const char** stream,
                                   size_t* streamLength) override;

  struct Job;

 private:
  static void* WorkerMain(void* self);
  void Work();
  int NextJob();
  void ReleaseJob(int index);
  CompressStatus ReadRows(const PackFileList& list, PlannedFile* files, char (*names)[260],
                          int* failedRow);
  int KeepPath(int row, const char* path);
  // Ties each file that repeats an earlier one's bytes to it; a copy is neither compressed
  // nor stored.
  CompressStatus FindCopies(PlannedFile* files, char (*names)[260], int* failedRow);
  uint64_t RowMemory() const;
  CompressStatus StartWorkers(unsigned compressed, uint64_t largestReservation);

  unsigned threads_;
  GroupRule rule_;
  // Each row's path, kept at its own length (a tree may have hundreds of thousands):
  // row r's starts at pathPool_ + pathAt_[r].
  GrowableBlock<char> pathPool_;
  size_t pathPoolLength_;
  GrowableBlock<size_t> pathAt_;
  int rowCount_;
  GrowableBlock<unsigned char> storedRows_;
  GrowableBlock<uint64_t> plannedSizes_;  // each row's length as the plan saw it
  ObjectArray<Job> jobs_;
  int groupCount_;
  GrowableBlock<pthread_t> workers_;
  unsigned started_;
  pthread_mutex_t mutex_;
  pthread_cond_t changed_;
  int nextJob_;   // the next group a worker takes
  int taken_;     // the group the writer took last, -1 before the first
  int stopping_;
  GrowableBlock<RowCopy> copies_;
  GrowableBlock<char> directory_;
  uint64_t memoryLimit_;
  uint64_t budget_;  // what the groups may hold at once (cli/compress_memory.h)
  uint64_t held_;    // what they hold now: encoders at work and streams not yet written
};
