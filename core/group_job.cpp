#include "core/group_job.h"

#include <string.h>

#include "core/compress_memory.h"
#include "core/lzma_group_decoder.h"

int GroupJob::HeldStream::Put(const char* data, size_t count) {
  // Doubling from 1 MiB: a held stream stays near its limit, which is counted per group.
  if (!bytes.Reserve(length + count, 1u << 20)) return 0;
  memcpy(bytes.get() + length, data, count);
  length += count;
  return 1;
}

GroupJob::GroupJob()
    : group(MemberGroup{0, 0, 0}), dictionary(0), plannedOriginal(0), aheadLimit(0), thread(nullptr), begun(0),
      finished(0), status(kCompressOk), failedRow(-1), members(GroupMembers{0, nullptr, nullptr}), codec_(nullptr),
      encoder_(nullptr), rows_(nullptr), progress_(nullptr), index_(0), fileOpen_(0), fileRead_(0) {}

CompressStatus GroupJob::Begin(GroupCodec& codec, const PlannedRows& rows, GroupProgress& progress, ByteSink& out) {
  begun = 1;
  codec_ = &codec;
  rows_ = &rows;
  progress_ = &progress;
  status = kCompressNoMemory;
  if (!block_.Allocate(kGroupReadBlock) || !sizes_.Allocate(group.rowCount) ||
      !checksums_.Allocate(group.rowCount)) {
    return status;
  }
  encoder_ = codec.StartGroup(dictionary);
  if (encoder_ == nullptr) return status;
  uint8_t header[kGroupStreamHeaderSize];
  PutStreamHeader(header, codec.GroupProperties(), dictionary);
  status = out.Put(reinterpret_cast<const char*>(header), sizeof(header)) ? kCompressOk : kCompressSinkFailed;
  return status;
}

// Opens the group's next compressed row, or ends the stream after the last.
CompressStatus GroupJob::OpenNextFile(ByteSink& out) {
  while (index_ < group.rowCount && rows_->stored[group.firstRow + index_]) ++index_;  // copied by the writer
  if (index_ == group.rowCount) {
    const CompressStatus ended = encoder_->Finish(out);
    if (ended == kCompressOk) finished = 1;
    return ended;
  }
  const int row = group.firstRow + index_;
  const char* path = rows_->pathPool + rows_->pathAt[row];
  failedRow = row;
  if (!file_.OpenForReading(path) || IsDirectory(path)) return kCompressCannotRead;
  failedRow = -1;
  fileOpen_ = 1;
  fileRead_ = 0;
  checksum_.Reset();
  return kCompressOk;
}

// A file read to its end: it must hold the bytes that the plan saw, or it changed while
// it was packed.
CompressStatus GroupJob::EndFile() {
  const int row = group.firstRow + index_;
  file_.Close();
  fileOpen_ = 0;
  if (fileRead_ != rows_->plannedSizes[row]) {
    failedRow = row;
    return kCompressFileChanged;
  }
  sizes_[index_] = static_cast<uint32_t>(fileRead_);
  checksums_[index_] = checksum_.Finish();
  members.originalSize += fileRead_;
  ++index_;
  return kCompressOk;
}

CompressStatus GroupJob::Step(ByteSink& out) {
  if (status != kCompressOk || finished) return status;
  if (progress_->stop.load(std::memory_order_relaxed)) return status = kCompressStopped;
  if (!fileOpen_) return status = OpenNextFile(out);
  size_t got = 0;
  if (!file_.Read(block_.get(), kGroupReadBlock, &got)) {
    failedRow = group.firstRow + index_;
    return status = kCompressCannotRead;
  }
  if (got == 0) return status = EndFile();
  fileRead_ += got;
  if (fileRead_ >= 0xFFFFFFFFull) return status = kCompressTooLarge;
  checksum_.Add(reinterpret_cast<const char*>(block_.get()), got);
  progress_->read.fetch_add(got, std::memory_order_relaxed);
  status = encoder_->Encode(block_.get(), got, out);
  return status;
}

void GroupJob::Run() {
  while (!finished && status == kCompressOk && held_.length < aheadLimit) Step(held_);
}

CompressStatus GroupJob::Flush(ByteSink& out) {
  const int taken = held_.length == 0 || out.Put(held_.bytes.get(), held_.length);
  held_.bytes.Free();
  held_.length = 0;
  if (!taken && status == kCompressOk) status = kCompressSinkFailed;
  return status;
}

void GroupJob::End() {
  if (encoder_ != nullptr) codec_->EndGroup(encoder_);
  encoder_ = nullptr;
  file_.Close();
  fileOpen_ = 0;
  block_.Free();
  held_.bytes.Free();
  held_.length = 0;
  members.originalSizes = sizes_.get();
  members.checksums = checksums_.get();
}

void PutStreamHeader(uint8_t* header, uint8_t properties, uint32_t dictionary) {
  header[0] = 0;  // no branch converter: it made Wine's DLLs 0.9 % larger
  header[1] = properties;
  for (int k = 0; k < 4; ++k) header[2 + k] = static_cast<uint8_t>(dictionary >> (8 * k));
}
