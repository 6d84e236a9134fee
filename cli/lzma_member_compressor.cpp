#include "cli/lzma_member_compressor.h"

#include <lzma.h>
#include <stdlib.h>
#include <string.h>

#include "cli/directory_stream.h"
#include "cli/duplicate_files.h"
#include "cli/machine_resources.h"
#include "core/binary_file.h"
#include "core/compression_record.h"
#include "core/lzma_group_decoder.h"
#include "core/member_checksum.h"
#include "core/pack_job.h"

struct LzmaMemberCompressor::Job {
  MemberGroup group;
  int done;
  CompressStatus status;
  int failedRow;
  uint8_t* bytes;
  size_t length;
  size_t capacity;
  uint64_t originalSize;
  uint32_t dictionary;
  uint32_t* sizes;
  uint32_t* checksums;
};

namespace {

// The encoder: liblzma's level 6 (normal mode, bt4 match finder) with pb 0, which made
// Wine's DLLs 0.4 % smaller than the default 2, and nice length 40 instead of 64: 11 %
// less time for 0.36 % more bytes there (32: 19 % less time, 1 % more bytes; hc4 or a
// shallower search gave no clear saving). Fast mode was 15 % larger.
const uint32_t kPresetLevel = 6;
const uint32_t kPositionBits = 0;
const uint32_t kNiceLength = 40;
const size_t kReadBlock = 1u << 20;
const size_t kSampleBlock = 32u << 10;
const unsigned kSamples = 4;

int NameFitsRecords(const char* name) { return strlen(name) <= kMaxCompressedNameLength; }

// Compresses a few blocks spread over the file with a fast setting: 1 when they shrink.
int SampleShrinks(BinaryFile& file, uint64_t length) {
  if (length == 0) return 1;
  static_assert(kSamples * kSampleBlock <= kReadBlock, "samples fit one block");
  uint8_t* sample = static_cast<uint8_t*>(malloc(2 * kSamples * kSampleBlock + 4096));
  if (sample == nullptr) return 1;
  size_t taken = 0;
  for (unsigned k = 0; k < kSamples && taken < length; ++k) {
    const uint64_t at = length <= kSamples * kSampleBlock ? taken : (length - kSampleBlock) / (kSamples - 1) * k;
    const size_t want = static_cast<size_t>(length - at < kSampleBlock ? length - at : kSampleBlock);
    if (!file.ReadAt(at, sample + taken, want)) break;
    taken += want;
  }
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 0);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  uint8_t* out = sample + kSamples * kSampleBlock;
  size_t produced = 0;
  const lzma_ret ret = lzma_raw_buffer_encode(filters, nullptr, sample, taken, out,
                                              &produced, kSamples * kSampleBlock + 4096);
  free(sample);
  if (ret != LZMA_OK) return 0;
  return produced * 1000 < static_cast<uint64_t>(taken) * kStoredAbovePerMille;
}

int Append(LzmaMemberCompressor::Job& job, size_t more) {
  if (job.length + more <= job.capacity) return 1;
  size_t capacity = job.capacity > 0 ? job.capacity : (1u << 20);
  while (capacity < job.length + more) capacity *= 2;
  uint8_t* grown = static_cast<uint8_t*>(realloc(job.bytes, capacity));
  if (grown == nullptr) return 0;
  job.bytes = grown;
  job.capacity = capacity;
  return 1;
}

// Runs the encoder over `in`, appending what it gives to the job's stream.
CompressStatus Encode(lzma_stream& stream, LzmaMemberCompressor::Job& job, const uint8_t* in, size_t length,
                      lzma_action action) {
  stream.next_in = in;
  stream.avail_in = length;
  for (;;) {
    if (!Append(job, 1u << 16)) return kCompressNoMemory;
    stream.next_out = job.bytes + job.length;
    stream.avail_out = job.capacity - job.length;
    const lzma_ret ret = lzma_code(&stream, action);
    job.length = job.capacity - stream.avail_out;
    if (ret == LZMA_STREAM_END) return kCompressOk;
    if (ret != LZMA_OK) return ret == LZMA_MEM_ERROR ? kCompressNoMemory : kCompressCannotRead;
    if (action == LZMA_RUN && stream.avail_in == 0) return kCompressOk;
  }
}

// The stream's header as the group decoder reads it.
void PutHeader(LzmaMemberCompressor::Job& job, const lzma_options_lzma& options) {
  job.bytes[0] = 0;  // no branch converter: it made Wine's DLLs 0.9 % larger
  job.bytes[1] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  for (int k = 0; k < 4; ++k) job.bytes[2 + k] = static_cast<uint8_t>(options.dict_size >> (8 * k));
  job.length = kGroupStreamHeaderSize;
}

CompressStatus ReadInto(lzma_stream& stream, LzmaMemberCompressor::Job& job, const char* path, int index,
                        uint8_t* block) {
  BinaryFile file;
  if (!file.OpenForReading(path) || IsDirectory(path)) return kCompressCannotRead;
  MemberChecksum checksum;
  uint64_t total = 0;
  for (;;) {
    size_t got = 0;
    if (!file.Read(block, kReadBlock, &got)) return kCompressCannotRead;
    if (got == 0) break;
    total += got;
    if (total >= 0xFFFFFFFFull) return kCompressTooLarge;
    checksum.Add(reinterpret_cast<const char*>(block), got);
    const CompressStatus status = Encode(stream, job, block, got, LZMA_RUN);
    if (status != kCompressOk) return status;
  }
  job.sizes[index] = static_cast<uint32_t>(total);
  job.checksums[index] = checksum.Finish();
  job.originalSize += total;
  return kCompressOk;
}

void SetEncoderOptions(lzma_options_lzma& options, uint32_t dictionary) {
  lzma_lzma_preset(&options, kPresetLevel);
  options.dict_size = dictionary;
  options.pb = kPositionBits;
  options.nice_len = kNiceLength;
}

// At most `threads` encoders with the largest dictionary that fit in half the memory.
unsigned WorkersThatFit(unsigned threads, uint32_t largestDictionary) {
  lzma_options_lzma options;
  SetEncoderOptions(options, largestDictionary);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  const uint64_t each = lzma_raw_encoder_memusage(filters);
  const uint64_t memory = PhysicalMemory();
  if (each == UINT64_MAX || each == 0 || memory == 0) return threads;
  const uint64_t fit = memory / 2 / each;
  return fit < 1 ? 1 : (fit < threads ? static_cast<unsigned>(fit) : threads);
}

void CompressGroup(LzmaMemberCompressor::Job& job, const char* pathPool, const size_t* pathAt,
                   const unsigned char* storedRows, uint32_t dictionary) {
  lzma_options_lzma options;
  SetEncoderOptions(options, dictionary);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  uint8_t* block = static_cast<uint8_t*>(malloc(kReadBlock));
  job.status = kCompressNoMemory;
  if (block == nullptr || !Append(job, kGroupStreamHeaderSize) || lzma_raw_encoder(&stream, filters) != LZMA_OK) {
    free(block);
    return;
  }
  PutHeader(job, options);
  CompressStatus status = kCompressOk;
  for (int k = 0; k < job.group.rowCount && status == kCompressOk; ++k) {
    if (storedRows[job.group.firstRow + k]) continue;  // copied by the writer, after the stream
    status = ReadInto(stream, job, pathPool + pathAt[job.group.firstRow + k], k, block);
    if (status != kCompressOk) job.failedRow = job.group.firstRow + k;
  }
  if (status == kCompressOk) status = Encode(stream, job, nullptr, 0, LZMA_FINISH);
  lzma_end(&stream);
  free(block);
  job.status = status;
}

}  // namespace

LzmaMemberCompressor::LzmaMemberCompressor(unsigned threads, const GroupRule& rule)
    : threads_(threads), rule_(rule), pathPool_(nullptr), pathPoolLength_(0),
      pathPoolCapacity_(0), pathAt_(nullptr), rowCount_(0), storedRows_(nullptr), jobs_(nullptr),
      groupCount_(0), workers_(nullptr), started_(0), nextJob_(0), taken_(-1), stopping_(0) {
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
  for (int k = 0; k < groupCount_; ++k) ReleaseJob(k);
  free(workers_);
  free(jobs_);
  free(pathPool_);
  free(pathAt_);
  free(storedRows_);
  pthread_cond_destroy(&changed_);
  pthread_mutex_destroy(&mutex_);
}

MemberGroup LzmaMemberCompressor::group(int index) const { return jobs_[index].group; }

void LzmaMemberCompressor::ReleaseJob(int index) {
  Job& job = jobs_[index];
  free(job.bytes);
  free(job.sizes);
  free(job.checksums);
  job.bytes = nullptr;
  job.sizes = nullptr;
  job.checksums = nullptr;
}

int LzmaMemberCompressor::KeepPath(int row, const char* path) {
  const size_t length = strlen(path) + 1;
  if (pathPoolLength_ + length > pathPoolCapacity_) {
    size_t capacity = pathPoolCapacity_ < 4096 ? 4096 : pathPoolCapacity_;
    while (capacity < pathPoolLength_ + length) capacity *= 2;
    char* grown = static_cast<char*>(realloc(pathPool_, capacity));
    if (grown == nullptr) return 0;
    pathPool_ = grown;
    pathPoolCapacity_ = capacity;
  }
  memcpy(pathPool_ + pathPoolLength_, path, length);
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
    files[row].stored =
        folder || length >= 0xFFFFFFFFull || !NameFitsRecords(names[row]) || !SampleShrinks(file, length);
    files[row].name = names[row];
    storedRows_[row] = static_cast<unsigned char>(files[row].stored);
  }
  return kCompressOk;
}

CompressStatus LzmaMemberCompressor::Plan(const PackFileList& list, int* failedRow) {
  rowCount_ = list.GetCount();
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  pathAt_ = static_cast<size_t*>(calloc(rows, sizeof(size_t)));
  storedRows_ = static_cast<unsigned char*>(calloc(rows, 1));
  jobs_ = static_cast<Job*>(calloc(rows, sizeof(Job)));
  workers_ = static_cast<pthread_t*>(calloc(threads_, sizeof(pthread_t)));
  PlannedFile* files = static_cast<PlannedFile*>(calloc(rows, sizeof(PlannedFile)));
  char(*names)[260] = static_cast<char(*)[260]>(calloc(rows, 260));
  MemberGroup* groups = static_cast<MemberGroup*>(calloc(rows, sizeof(MemberGroup)));
  CompressStatus status = kCompressNoMemory;
  if (pathAt_ != nullptr && storedRows_ != nullptr && jobs_ != nullptr && workers_ != nullptr && files != nullptr &&
      groups != nullptr && names != nullptr) {
    status = ReadRows(list, files, names, failedRow);
  }
  if (status == kCompressOk) status = FindCopies(files, names, failedRow);
  uint32_t largest = 0;
  unsigned compressed = 0;
  if (status == kCompressOk) {
    groupCount_ = PlanGroups(files, rowCount_, rule_, groups);
    if (groupCount_ < 0) groupCount_ = 0, status = kCompressNoMemory;
    for (int k = 0; k < groupCount_; ++k) {
      Job& job = jobs_[k];
      job.group = groups[k];
      job.done = job.group.stored;
      for (int row = job.group.firstRow; row < job.group.firstRow + job.group.rowCount; ++row) {
        if (!files[row].stored) job.originalSize += files[row].size;  // planned; counted again as read
      }
      job.dictionary = GroupDictionary(job.originalSize);
      if (!job.group.stored && job.dictionary > largest) largest = job.dictionary;
      compressed += !job.group.stored;
    }
  }
  free(files);
  free(names);
  free(groups);
  if (status != kCompressOk) return status;
  // Spare threads would only wait; the bytes do not depend on how many there are.
  threads_ = WorkersThatFit(compressed < threads_ ? (compressed > 0 ? compressed : 1) : threads_, largest);
  for (unsigned k = 0; k < threads_; ++k) {
    if (pthread_create(&workers_[k], nullptr, WorkerMain, this) != 0) break;
    ++started_;
  }
  return started_ > 0 ? kCompressOk : kCompressNoMemory;
}

void* LzmaMemberCompressor::WorkerMain(void* self) {
  static_cast<LzmaMemberCompressor*>(self)->Work();
  return nullptr;
}

// The next group to compress; at most one more than there are threads is held compressed
// ahead of the writer. -1 when the worker should stop.
int LzmaMemberCompressor::NextJob() {
  pthread_mutex_lock(&mutex_);
  for (;;) {
    while (nextJob_ < groupCount_ && jobs_[nextJob_].group.stored) ++nextJob_;
    if (stopping_ || nextJob_ >= groupCount_) break;
    if (nextJob_ <= taken_ + static_cast<int>(threads_) + 1) {
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
    job.sizes = static_cast<uint32_t*>(calloc(job.group.rowCount, sizeof(uint32_t)));
    job.checksums = static_cast<uint32_t*>(calloc(job.group.rowCount, sizeof(uint32_t)));
    if (job.sizes == nullptr || job.checksums == nullptr) {
      job.status = kCompressNoMemory;
    } else {
      CompressGroup(job, pathPool_, pathAt_, storedRows_, job.dictionary);
    }
    pthread_mutex_lock(&mutex_);
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
  stream->bytes = reinterpret_cast<const char*>(job.bytes);
  stream->length = job.length;
  stream->originalSize = job.originalSize;
  stream->originalSizes = job.sizes;
  stream->checksums = job.checksums;
  return kCompressOk;
}

CompressStatus LzmaMemberCompressor::FindCopies(PlannedFile* files, char (*names)[260], int* failedRow) {
  GrowableBlock<DuplicateCandidate> candidates;
  const size_t rows = rowCount_ > 0 ? rowCount_ : 1;
  if (!candidates.Allocate(rows) || !copies_.Allocate(rows)) return kCompressNoMemory;
  for (int row = 0; row < rowCount_; ++row) {
    // A folder's entry has no bytes to share; its planned size is 0.
    const DuplicateCandidate candidate = {pathPool_ + pathAt_[row], files[row].size, NameFitsRecords(names[row])};
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
