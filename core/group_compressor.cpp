#include "core/group_compressor.h"

#include <string.h>

#include "core/byte_spread.h"
#include "core/duplicate_files.h"
#include "core/name_field_records.h"
#include "core/pack_list.h"
#include "core/package_format.h"
#include "core/wide_division.h"

namespace {

const size_t kSampleBlock = 32u << 10;
const unsigned kSamples = 4;

int NameFitsRecords(const char* name) { return strlen(name) <= kMaxCompressedNameLength; }

}  // namespace

GroupCompressor::GroupCompressor(GroupCodec& codec, WorkerThreads* threads, const CompressSettings& settings)
    : codec_(codec), workers_(threads), settings_(settings), threads_(1), pathPoolLength_(0), rowCount_(0),
      rows_(PlannedRows{nullptr, nullptr, nullptr, nullptr}), groupCount_(0), nextJob_(0), alive_(0) {}

GroupCompressor::~GroupCompressor() {
  Stop();
  JoinAll();
}

void GroupCompressor::JoinAll() {
  for (int k = 0; k < groupCount_; ++k) {
    if (jobs_[k].thread == nullptr) continue;
    workers_->Join(jobs_[k].thread);
    jobs_[k].thread = nullptr;
  }
}

int GroupCompressor::KeepPath(int row, const char* path) {
  const size_t length = strlen(path) + 1;
  if (!pathPool_.Reserve(pathPoolLength_ + length, 4096)) return 0;
  memcpy(pathPool_.get() + pathPoolLength_, path, length);
  pathAt_[row] = pathPoolLength_;
  pathPoolLength_ += length;
  return 1;
}

// Compresses a few blocks spread over the file with the codec's trial: 1 when they shrink.
// Blocks that do not look incompressible are not compressed: of the 379 files of 64 KiB
// and more in the three benchmark corpora, every one whose blocks repeat byte values at
// least twice as often as random bytes shrank to 82 % or less, while every one that did
// not shrink was within 1.13 times of random; the trial compression took about 1 s of
// the text corpus's pack, before the encoders could start.
int GroupCompressor::SampleShrinks(BinaryFile& file, uint64_t length) {
  if (length == 0) return 1;
  const size_t room = kSamples * kSampleBlock + 4096;
  const size_t size = kSamples * kSampleBlock + room;
  GrowableBlock<uint8_t> sample;
  if (!sample.Reserve(size, size)) return 1;
  size_t taken = 0;
  for (unsigned k = 0; k < kSamples && taken < length; ++k) {
    const uint64_t at = length <= kSamples * kSampleBlock ? taken : DivideWide(length - kSampleBlock, kSamples - 1) * k;
    const size_t want = static_cast<size_t>(length - at < kSampleBlock ? length - at : kSampleBlock);
    if (!file.ReadAt(at, sample.get() + taken, want)) break;
    taken += want;
  }
  if (!LooksIncompressible(sample.get(), taken)) return 1;
  size_t produced = 0;
  if (!codec_.TrialLength(sample.get(), taken, sample.get() + kSamples * kSampleBlock, room, &produced)) return 0;
  return produced * 1000 < static_cast<uint64_t>(taken) * kStoredAbovePerMille;
}

// Each row's path, size and whether it is stored.
CompressStatus GroupCompressor::ReadRows(const PackFileList& list, PlannedFile* files, char (*names)[260],
                                         int* failedRow) {
  for (int row = 0; row < rowCount_; ++row) {
    char path[kCorePathSize];
    list.GetRowText(row, path);
    if (!KeepPath(row, path)) return kCompressNoMemory;
    BinaryFile file;
    uint64_t length = 0;
    // A folder's entry (an empty folder) has no bytes: it is stored, a group of its own.
    const int folder = list.IsFolderRow(row);
    if (!folder && (!file.OpenForReading(path) || IsDirectory(path) || !file.GetLength(&length))) {
      *failedRow = row;
      return kCompressCannotRead;
    }
    list.GetMemberName(row, names[row]);
    files[row].size = length;
    files[row].stored = folder || length >= 0xFFFFFFFFull || !NameFitsRecords(names[row]) ||
                        (length >= kAlwaysCompressedBelow && !SampleShrinks(file, length));
    files[row].name = names[row];
    storedRows_[row] = static_cast<unsigned char>(files[row].stored);
    plannedSizes_[row] = length;
  }
  return kCompressOk;
}

CompressStatus GroupCompressor::FindCopies(PlannedFile* files, char (*names)[260], int* failedRow) {
  GrowableBlock<DuplicateCandidate> candidates;
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  if (!candidates.Allocate(rows) || !copies_.Allocate(rows)) return kCompressNoMemory;
  for (int row = 0; row < rowCount_; ++row) {
    // A folder's entry has no bytes to share; its planned size is 0.
    const DuplicateCandidate candidate = {pathPool_.get() + pathAt_[row], files[row].size,
                                          NameFitsRecords(names[row])};
    candidates[row] = candidate;
  }
  const CompressStatus status = FindDuplicateFiles(candidates.get(), rowCount_, copies_.get(), failedRow);
  if (status != kCompressOk) return status;
  for (int row = 0; row < rowCount_; ++row) {
    if (copies_[row].original < 0) continue;
    storedRows_[row] = 1;
    files[row].stored = 1;
  }
  return kCompressOk;
}

// What the plan keeps for its rows while the groups are compressed, and the directory that
// the writer fills as it goes (an entry per row and per group): a tree of many small files
// leaves the encoders less.
uint64_t GroupCompressor::RowMemory() const {
  const uint64_t directory = static_cast<uint64_t>(rowCount_ + groupCount_) * sizeof(PackageDirEntry);
  return pathPool_.capacity() + pathAt_.capacity() * sizeof(size_t) + storedRows_.capacity() +
         plannedSizes_.capacity() * sizeof(uint64_t) + jobs_.count() * sizeof(GroupJob) + directory;
}

// Each group's dictionary, and how many encoders fit in memory at once.
CompressStatus GroupCompressor::PlanJobs(const PlannedFile* files, const MemberGroup* groups) {
  uint64_t largest = 0;
  unsigned compressed = 0;
  for (int k = 0; k < groupCount_; ++k) {
    GroupJob& job = jobs_[k];
    job.group = groups[k];
    job.aheadLimit = settings_.aheadLimit;
    for (int row = job.group.firstRow; row < job.group.firstRow + job.group.rowCount; ++row) {
      if (!files[row].stored) job.plannedOriginal += files[row].size;
    }
    if (job.group.stored) continue;
    progress_.total.fetch_add(job.plannedOriginal, std::memory_order_relaxed);
    job.dictionary = codec_.GroupDictionary(job.plannedOriginal);
    const uint64_t reservation =
        GroupReservation(codec_.EncoderMemory(job.dictionary), job.plannedOriginal, settings_.aheadLimit);
    if (reservation > largest) largest = reservation;
    ++compressed;
  }
  unsigned wanted = settings_.threads;
  if (workers_ == nullptr) wanted = 1;
  if (wanted == 0) wanted = static_cast<unsigned>(workers_->spareThreads() + 1);
  // Spare threads would only wait; the bytes do not depend on how many there are.
  if (wanted > compressed) wanted = compressed > 0 ? compressed : 1;
  const uint64_t budget = CompressMemoryBudget(settings_.memoryLimit, settings_.physicalMemory, RowMemory());
  threads_ = EncodersThatFit(wanted, largest, budget);
  return kCompressOk;
}

CompressStatus GroupCompressor::Plan(const PackFileList& list, int* failedRow) {
  rowCount_ = list.GetCount();
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  GrowableBlock<PlannedFile> files;
  GrowableBlock<char[260]> names;
  GrowableBlock<MemberGroup> groups;
  CompressStatus status = kCompressNoMemory;
  if (pathAt_.Allocate(rows) && storedRows_.Allocate(rows) && plannedSizes_.Allocate(rows) && jobs_.Make(rows) &&
      files.Allocate(rows) && groups.Allocate(rows) && names.Allocate(rows)) {
    status = ReadRows(list, files.get(), names.get(), failedRow);
  }
  if (status == kCompressOk) status = FindCopies(files.get(), names.get(), failedRow);
  if (status != kCompressOk) return status;
  rows_ = PlannedRows{pathPool_.get(), pathAt_.get(), storedRows_.get(), plannedSizes_.get()};
  groupCount_ = PlanGroups(files.get(), rowCount_, settings_.rule, groups.get());
  if (groupCount_ < 0) {
    groupCount_ = 0;
    return kCompressNoMemory;
  }
  return PlanJobs(files.get(), groups.get());
}

void GroupCompressor::StartAhead(int index) {
  if (workers_ == nullptr) return;
  while (alive_ < threads_ && nextJob_ < groupCount_) {
    GroupJob& job = jobs_[nextJob_];
    if (job.group.stored || nextJob_ <= index) {
      ++nextJob_;
      continue;
    }
    ++nextJob_;
    ++alive_;
    // A job that cannot begin fails when the writer reaches it; one that gets no thread is
    // encoded by the writer then.
    if (job.BeginAhead(codec_, rows_, progress_) != kCompressOk) continue;
    job.thread = workers_->Start(job);
    if (job.thread == nullptr) return;
  }
}

CompressStatus GroupCompressor::WriteStream(int index, ByteSink& sink, GroupMembers* members, int* failedRow) {
  GroupJob& job = jobs_[index];
  if (!job.begun) {
    if (nextJob_ <= index) nextJob_ = index + 1;
    ++alive_;
    job.Begin(codec_, rows_, progress_, sink);
  }
  StartAhead(index);
  if (job.thread != nullptr) {
    workers_->Join(job.thread);
    job.thread = nullptr;
  }
  job.Flush(sink);
  while (!job.finished && job.status == kCompressOk) job.Step(sink);
  job.End();
  --alive_;
  *failedRow = job.failedRow;
  if (job.status != kCompressOk) {
    Stop();  // the pack fails: the groups ahead need not go on
    return job.status;
  }
  *members = job.members;
  return kCompressOk;
}

int GroupCompressor::FindCopy(int row, RowCopy* copy) const {
  if (!copies_.valid() || copies_[row].original < 0) return 0;
  *copy = copies_[row];
  return 1;
}

CompressStatus GroupCompressor::CompressDirectory(const char* entries, size_t length, const char** stream,
                                                  size_t* streamLength) {
  const CompressStatus status = codec_.EncodeDirectory(entries, length, directory_, streamLength);
  *stream = directory_.get();
  return status;
}
