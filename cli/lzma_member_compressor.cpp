#include "cli/lzma_member_compressor.h"

#include <lzma.h>
#include <string.h>

#include "cli/byte_spread.h"
#include "cli/directory_stream.h"
#include "cli/duplicate_files.h"
#include "cli/encoder_allocator.h"
#include "cli/group_encoder.h"
#include "cli/machine_resources.h"
#include "core/binary_file.h"
#include "core/compression_record.h"
#include "core/lzma_group_decoder.h"
#include "core/member_checksum.h"
#include "core/pack_job.h"
#include "core/package_format.h"

struct LzmaMemberCompressor::Job {
  MemberGroup group;
  int done;
  CompressStatus status;
  int failedRow;
  GrowableBlock<uint8_t> bytes;
  size_t length;
  uint64_t originalSize;
  uint32_t dictionary;
  uint64_t reservation;  // what the group holds while it is compressed, at most
  uint64_t held;         // what it holds now, counted in held_
  GrowableBlock<uint32_t> sizes;
  GrowableBlock<uint32_t> checksums;
};

namespace {

const size_t kSampleBlock = 32u << 10;
const unsigned kSamples = 4;
// The stream grows by doubling from this, with room for one output step of the encoder.
const size_t kFirstStreamBlock = 1u << 20;
const size_t kOutputStep = 1u << 16;

int NameFitsRecords(const char* name) { return strlen(name) <= kMaxCompressedNameLength; }

// liblzma's state, ended however a compression ends.
struct EncoderStream {
  lzma_stream stream = LZMA_STREAM_INIT;
  EncoderStream() { stream.allocator = EncoderAllocator(); }
  ~EncoderStream() { lzma_end(&stream); }
  EncoderStream(const EncoderStream&) = delete;
  EncoderStream& operator=(const EncoderStream&) = delete;
};

// Compresses a few blocks spread over the file with a fast setting: 1 when they shrink.
// Blocks that do not look incompressible are not compressed: of the 379 files of 64 KiB
// and more in the three benchmark corpora, every one whose blocks repeat byte values at
// least twice as often as random bytes shrank to 82 % or less, while every one that did
// not shrink was within 1.13 times of random; the trial compression took about 1 s of
// the text corpus's pack, before the encoders could start.
int SampleShrinks(BinaryFile& file, uint64_t length) {
  if (length == 0) return 1;
  static_assert(kSamples * kSampleBlock <= kGroupReadBlock, "samples fit one block");
  const size_t room = kSamples * kSampleBlock + 4096;
  const size_t size = kSamples * kSampleBlock + room;
  GrowableBlock<uint8_t> sample;
  if (!sample.Reserve(size, size)) return 1;
  size_t taken = 0;
  for (unsigned k = 0; k < kSamples && taken < length; ++k) {
    const uint64_t at = length <= kSamples * kSampleBlock ? taken : (length - kSampleBlock) / (kSamples - 1) * k;
    const size_t want = static_cast<size_t>(length - at < kSampleBlock ? length - at : kSampleBlock);
    if (!file.ReadAt(at, sample.get() + taken, want)) break;
    taken += want;
  }
  if (!LooksIncompressible(sample.get(), taken)) return 1;
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 0);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  size_t produced = 0;
  const lzma_ret ret = lzma_raw_buffer_encode(filters, nullptr, sample.get(), taken,
                                              sample.get() + kSamples * kSampleBlock, &produced, room);
  if (ret != LZMA_OK) return 0;
  return produced * 1000 < static_cast<uint64_t>(taken) * kStoredAbovePerMille;
}

// Runs the encoder over `in`, appending what it gives to the job's stream.
CompressStatus Encode(lzma_stream& stream, LzmaMemberCompressor::Job& job, const uint8_t* in, size_t length,
                      lzma_action action) {
  stream.next_in = in;
  stream.avail_in = length;
  for (;;) {
    if (!job.bytes.Reserve(job.length + kOutputStep, kFirstStreamBlock)) return kCompressNoMemory;
    stream.next_out = job.bytes.get() + job.length;
    stream.avail_out = job.bytes.capacity() - job.length;
    const lzma_ret ret = lzma_code(&stream, action);
    job.length = job.bytes.capacity() - stream.avail_out;
    if (ret == LZMA_STREAM_END) return kCompressOk;
    if (ret != LZMA_OK) return ret == LZMA_MEM_ERROR ? kCompressNoMemory : kCompressCannotRead;
    if (action == LZMA_RUN && stream.avail_in == 0) return kCompressOk;
  }
}

// The stream's header as the group decoder reads it.
int PutHeader(LzmaMemberCompressor::Job& job, const lzma_options_lzma& options) {
  if (!job.bytes.Reserve(kGroupStreamHeaderSize, kFirstStreamBlock)) return 0;
  job.bytes[0] = 0;  // no branch converter: it made Wine's DLLs 0.9 % larger
  job.bytes[1] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  for (int k = 0; k < 4; ++k) job.bytes[2 + k] = static_cast<uint8_t>(options.dict_size >> (8 * k));
  job.length = kGroupStreamHeaderSize;
  return 1;
}

// Compresses the file at `path` into the job's stream: its bytes must be the `planned`
// many that the plan saw, or it changed while it was packed.
CompressStatus ReadInto(lzma_stream& stream, LzmaMemberCompressor::Job& job, const char* path, uint64_t planned,
                        int index, uint8_t* block) {
  BinaryFile file;
  if (!file.OpenForReading(path) || IsDirectory(path)) return kCompressCannotRead;
  MemberChecksum checksum;
  uint64_t total = 0;
  for (;;) {
    size_t got = 0;
    if (!file.Read(block, kGroupReadBlock, &got)) return kCompressCannotRead;
    if (got == 0) break;
    total += got;
    if (total >= 0xFFFFFFFFull) return kCompressTooLarge;
    checksum.Add(reinterpret_cast<const char*>(block), got);
    const CompressStatus status = Encode(stream, job, block, got, LZMA_RUN);
    if (status != kCompressOk) return status;
  }
  if (total != planned) return kCompressFileChanged;
  job.sizes[index] = static_cast<uint32_t>(total);
  job.checksums[index] = checksum.Finish();
  job.originalSize += total;
  return kCompressOk;
}

void CompressGroup(LzmaMemberCompressor::Job& job, const char* pathPool, const size_t* pathAt,
                   const unsigned char* storedRows, const uint64_t* plannedSizes) {
  lzma_options_lzma options;
  SetGroupEncoderOptions(options, job.dictionary);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  EncoderStream encoder;
  GrowableBlock<uint8_t> block;
  job.status = kCompressNoMemory;
  if (!block.Reserve(kGroupReadBlock, kGroupReadBlock) || !PutHeader(job, options) ||
      lzma_raw_encoder(&encoder.stream, filters) != LZMA_OK) {
    return;
  }
  CompressStatus status = kCompressOk;
  for (int k = 0; k < job.group.rowCount && status == kCompressOk; ++k) {
    if (storedRows[job.group.firstRow + k]) continue;  // copied by the writer, after the stream
    const int row = job.group.firstRow + k;
    status = ReadInto(encoder.stream, job, pathPool + pathAt[row], plannedSizes[row], k, block.get());
    if (status != kCompressOk) job.failedRow = job.group.firstRow + k;
  }
  if (status == kCompressOk) status = Encode(encoder.stream, job, nullptr, 0, LZMA_FINISH);
  job.status = status;
}

}  // namespace

LzmaMemberCompressor::LzmaMemberCompressor(unsigned threads, const GroupRule& rule, uint64_t memoryLimit)
    : threads_(threads), rule_(rule), pathPoolLength_(0), rowCount_(0), groupCount_(0), started_(0),
      nextJob_(0), taken_(-1), stopping_(0), memoryLimit_(memoryLimit), budget_(0), held_(0) {
  if (threads_ == 0) threads_ = ProcessorCount();
  pthread_mutex_init(&mutex_, nullptr);
  pthread_cond_init(&changed_, nullptr);
}

LzmaMemberCompressor::~LzmaMemberCompressor() {
  pthread_mutex_lock(&mutex_);
  stopping_ = 1;
  pthread_cond_broadcast(&changed_);
  pthread_mutex_unlock(&mutex_);
  for (unsigned k = 0; k < started_; ++k) pthread_join(workers_[k], nullptr);
  pthread_cond_destroy(&changed_);
  pthread_mutex_destroy(&mutex_);
}

MemberGroup LzmaMemberCompressor::group(int index) const { return jobs_[index].group; }

// Called with the mutex held.
void LzmaMemberCompressor::ReleaseJob(int index) {
  Job& job = jobs_[index];
  job.bytes.Free();
  job.sizes.Free();
  job.checksums.Free();
  held_ -= job.held;
  job.held = 0;
}

int LzmaMemberCompressor::KeepPath(int row, const char* path) {
  const size_t length = strlen(path) + 1;
  if (!pathPool_.Reserve(pathPoolLength_ + length, 4096)) return 0;
  memcpy(pathPool_.get() + pathPoolLength_, path, length);
  pathAt_[row] = pathPoolLength_;
  pathPoolLength_ += length;
  return 1;
}

// Each row's path, size and whether it is stored.
CompressStatus LzmaMemberCompressor::ReadRows(const PackFileList& list, PlannedFile* files,
                                              char (*names)[260], int* failedRow) {
  char path[kCorePathSize];
  for (int row = 0; row < rowCount_; ++row) {
    list.GetRowText(row, path);
    if (!KeepPath(row, path)) return kCompressNoMemory;
    BinaryFile file;
    uint64_t length = 0;
    // An empty folder has no bytes: it is stored, a group of its own.
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

// What the plan keeps for its rows while the groups are compressed, and the directory that
// the writer fills as it goes (an entry per row and per group): a tree of many small files
// leaves the encoders less.
uint64_t LzmaMemberCompressor::RowMemory() const {
  const uint64_t directory = static_cast<uint64_t>(rowCount_ + groupCount_) * sizeof(PackageDirEntry);
  return pathPool_.capacity() + pathAt_.capacity() * sizeof(size_t) + storedRows_.capacity() +
         plannedSizes_.capacity() * sizeof(uint64_t) +
         jobs_.count() * sizeof(Job) + directory;
}

// Starts as many encoders as the processors, the groups and the memory allow.
CompressStatus LzmaMemberCompressor::StartWorkers(unsigned compressed, uint64_t largestReservation) {
  budget_ = CompressMemoryBudget(memoryLimit_, PhysicalMemory(), RowMemory());
  // Spare threads would only wait; the bytes do not depend on how many there are.
  const unsigned wanted = compressed < threads_ ? (compressed > 0 ? compressed : 1) : threads_;
  threads_ = EncodersThatFit(wanted, largestReservation, budget_);
  if (!workers_.Allocate(threads_)) return kCompressNoMemory;
  for (unsigned k = 0; k < threads_; ++k) {
    if (pthread_create(&workers_[k], nullptr, WorkerMain, this) != 0) break;
    ++started_;
  }
  return started_ > 0 ? kCompressOk : kCompressNoMemory;
}

CompressStatus LzmaMemberCompressor::Plan(const PackFileList& list, int* failedRow) {
  rowCount_ = list.GetCount();
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  GrowableBlock<PlannedFile> files;
  GrowableBlock<char[260]> names;
  GrowableBlock<MemberGroup> groups;
  CompressStatus status = kCompressNoMemory;
  if (pathAt_.Allocate(rows) && storedRows_.Allocate(rows) && plannedSizes_.Allocate(rows) && jobs_.Make(rows) &&
      files.Allocate(rows) &&
      groups.Allocate(rows) && names.Allocate(rows)) {
    status = ReadRows(list, files.get(), names.get(), failedRow);
  }
  if (status == kCompressOk) status = FindCopies(files.get(), names.get(), failedRow);
  uint64_t largest = 0;
  unsigned compressed = 0;
  if (status == kCompressOk) {
    groupCount_ = PlanGroups(files.get(), rowCount_, rule_, groups.get());
    if (groupCount_ < 0) groupCount_ = 0, status = kCompressNoMemory;
    for (int k = 0; k < groupCount_; ++k) {
      Job& job = jobs_[k];
      job.group = groups[k];
      job.done = job.group.stored;
      for (int row = job.group.firstRow; row < job.group.firstRow + job.group.rowCount; ++row) {
        if (!files[row].stored) job.originalSize += files[row].size;  // planned; counted again as read
      }
      job.dictionary = GroupDictionary(job.originalSize);
      job.reservation = GroupReservation(GroupEncoderMemory(job.dictionary), job.originalSize);
      if (!job.group.stored && job.reservation > largest) largest = job.reservation;
      compressed += !job.group.stored;
    }
  }
  if (status != kCompressOk) return status;
  return StartWorkers(compressed, largest);
}

void* LzmaMemberCompressor::WorkerMain(void* self) {
  static_cast<LzmaMemberCompressor*>(self)->Work();
  return nullptr;
}

// The next group to compress; at most one more than there are threads is held compressed
// ahead of the writer, and a group starts only when its memory fits beside what the
// others hold. -1 when the worker should stop.
int LzmaMemberCompressor::NextJob() {
  pthread_mutex_lock(&mutex_);
  for (;;) {
    while (nextJob_ < groupCount_ && jobs_[nextJob_].group.stored) ++nextJob_;
    if (stopping_ || nextJob_ >= groupCount_) break;
    Job& next = jobs_[nextJob_];
    if (nextJob_ <= taken_ + static_cast<int>(threads_) + 1 && GroupMayStart(held_, next.reservation, budget_)) {
      next.held = next.reservation;
      held_ += next.held;
      const int index = nextJob_++;
      pthread_mutex_unlock(&mutex_);
      return index;
    }
    pthread_cond_wait(&changed_, &mutex_);
  }
  pthread_mutex_unlock(&mutex_);
  return -1;
}

void LzmaMemberCompressor::Work() {
  for (int index = NextJob(); index >= 0; index = NextJob()) {
    Job& job = jobs_[index];
    job.originalSize = 0;
    if (!job.sizes.Allocate(job.group.rowCount) || !job.checksums.Allocate(job.group.rowCount)) {
      job.status = kCompressNoMemory;
    } else {
      CompressGroup(job, pathPool_.get(), pathAt_.get(), storedRows_.get(), plannedSizes_.get());
    }
    pthread_mutex_lock(&mutex_);
    // The encoder and the read block are gone; the stream waits for the writer.
    held_ -= job.held;
    job.held = job.length;
    held_ += job.held;
    job.done = 1;
    pthread_cond_broadcast(&changed_);
    pthread_mutex_unlock(&mutex_);
  }
}

CompressStatus LzmaMemberCompressor::TakeStream(int index, GroupStream* stream, int* failedRow) {
  pthread_mutex_lock(&mutex_);
  if (taken_ >= 0) ReleaseJob(taken_);
  taken_ = index;
  pthread_cond_broadcast(&changed_);
  while (!jobs_[index].done) pthread_cond_wait(&changed_, &mutex_);
  pthread_mutex_unlock(&mutex_);
  const Job& job = jobs_[index];
  *failedRow = job.failedRow;
  if (job.status != kCompressOk) return job.status;
  stream->bytes = reinterpret_cast<const char*>(job.bytes.get());
  stream->length = job.length;
  stream->originalSize = job.originalSize;
  stream->originalSizes = job.sizes.get();
  stream->checksums = job.checksums.get();
  return kCompressOk;
}

CompressStatus LzmaMemberCompressor::FindCopies(PlannedFile* files, char (*names)[260], int* failedRow) {
  GrowableBlock<DuplicateCandidate> candidates;
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  if (!candidates.Allocate(rows) || !copies_.Allocate(rows)) return kCompressNoMemory;
  for (int row = 0; row < rowCount_; ++row) {
    // A folder's entry has no bytes to share; its planned size is 0.
    const DuplicateCandidate candidate = {pathPool_.get() + pathAt_[row], files[row].size, NameFitsRecords(names[row])};
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

int LzmaMemberCompressor::FindCopy(int row, RowCopy* copy) const {
  if (!copies_.valid() || copies_[row].original < 0) return 0;
  *copy = copies_[row];
  return 1;
}

CompressStatus LzmaMemberCompressor::CompressDirectory(const char* entries, size_t length, const char** stream,
                                                        size_t* streamLength) {
  const CompressStatus status = CompressDirectoryStream(entries, length, directory_, streamLength);
  *stream = directory_.get();
  return status;
}
