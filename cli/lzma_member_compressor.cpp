#include "cli/lzma_member_compressor.h"

#include <lzma.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

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
  uint64_t dictionary;
  uint32_t* sizes;
  uint32_t* checksums;
};

namespace {

const uint32_t kPresetLevel = 6;
const size_t kReadBlock = 1u << 20;
const size_t kSampleBlock = 32u << 10;
const unsigned kSamples = 4;

int NameFitsRecords(const PackFileList& list, int row) {
  char name[260];
  list.GetMemberName(row, name);
  return strlen(name) <= kMaxCompressedNameLength;
}

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

void CompressGroup(LzmaMemberCompressor::Job& job, char (*paths)[kCorePathSize], uint64_t dictionary) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, kPresetLevel);
  options.dict_size = static_cast<uint32_t>(dictionary);
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
    status = ReadInto(stream, job, paths[job.group.firstRow + k], k, block);
    if (status != kCompressOk) job.failedRow = job.group.firstRow + k;
  }
  if (status == kCompressOk) status = Encode(stream, job, nullptr, 0, LZMA_FINISH);
  lzma_end(&stream);
  free(block);
  job.status = status;
}

}  // namespace

LzmaMemberCompressor::LzmaMemberCompressor(unsigned threads, uint64_t groupLimit)
    : threads_(threads), groupLimit_(groupLimit), paths_(nullptr), rowCount_(0), jobs_(nullptr),
      groupCount_(0), workers_(nullptr), started_(0), nextJob_(0), taken_(-1), stopping_(0) {
  if (threads_ == 0) {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    threads_ = online > 0 ? static_cast<unsigned>(online) : 1;
  }
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
  free(paths_);
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

CompressStatus LzmaMemberCompressor::Plan(const PackFileList& list, int* failedRow) {
  rowCount_ = list.GetCount();
  paths_ = static_cast<char(*)[kCorePathSize]>(calloc(rowCount_ > 0 ? rowCount_ : 1, kCorePathSize));
  jobs_ = static_cast<Job*>(calloc(rowCount_ > 0 ? rowCount_ : 1, sizeof(Job)));
  workers_ = static_cast<pthread_t*>(calloc(threads_, sizeof(pthread_t)));
  if (paths_ == nullptr || jobs_ == nullptr || workers_ == nullptr) return kCompressNoMemory;
  uint64_t open = 0;  // original bytes of the group being formed
  for (int row = 0; row < rowCount_; ++row) {
    list.GetRowText(row, paths_[row]);
    BinaryFile file;
    uint64_t length = 0;
    // An empty folder has no bytes: it is stored, a group of its own.
    const int folder = list.IsFolderRow(row);
    if (!folder && (!file.OpenForReading(paths_[row]) || IsDirectory(paths_[row]) || !file.GetLength(&length))) {
      *failedRow = row;
      return kCompressCannotRead;
    }
    const int stored = folder || length >= 0xFFFFFFFFull || !NameFitsRecords(list, row) || !SampleShrinks(file, length);
    Job* last = groupCount_ > 0 ? &jobs_[groupCount_ - 1] : nullptr;
    // An empty file never passes the limit: it joins the group before it.
    if (stored || last == nullptr || last->group.stored || (length > 0 && open + length > groupLimit_)) {
      Job& job = jobs_[groupCount_++];
      job.group.firstRow = row;
      job.group.rowCount = 0;
      job.group.stored = stored;
      open = 0;
      last = &job;
    }
    last->group.rowCount++;
    open += length;
    last->originalSize = open;  // planned; the compressed group counts again as it reads
  }
  for (int k = 0; k < groupCount_; ++k) {
    Job& job = jobs_[k];
    job.done = job.group.stored;
    const uint64_t dictionary = job.originalSize < 4096 ? 4096 : job.originalSize;
    job.dictionary = dictionary < groupLimit_ ? dictionary : groupLimit_;
  }
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
      CompressGroup(job, paths_, job.dictionary);
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
