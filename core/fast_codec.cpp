#include "core/fast_codec.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "core/group_plan.h"
#include "core/lzma_encoder.h"
#include "core/lzma_group_decoder.h"

namespace {

// lc 3, lp 0, pb 0: pb 0 made Wine's DLLs smaller with liblzma too.
const uint8_t kGroupProperties = 3;
// Entries are 268 bytes, four-byte fields on four-byte boundaries: lc 2, lp 2 and pb 2
// let the coder tell the fields' bytes apart.
const uint8_t kTableProperties = (2 * 5 + 2) * 9 + 2;
// The samples of the small-file rule are 128 KiB at most.
const uint32_t kTrialDictionary = 1u << 17;

uint32_t DictionaryFor(uint64_t length) {
  if (length < 4096) return 4096;
  return length < kLargestEncoderDictionary ? static_cast<uint32_t>(length) : kLargestEncoderDictionary;
}

class FastGroupEncoder : public GroupEncoder {
 public:
  FastGroupEncoder() : out_(nullptr) {}
  int Start(uint8_t properties, uint32_t dictionary, int* noMemory) {
    return encoder_.Start(properties, dictionary, Forward, this, noMemory);
  }
  // The sink may change between calls (a group encoded ahead of the writer, then by it):
  // the bytes go, in order, to the sink of the call that hands them out.
  CompressStatus Encode(const uint8_t* bytes, size_t length, ByteSink& out) override {
    out_ = &out;
    return encoder_.Write(bytes, length) ? kCompressOk : kCompressSinkFailed;
  }
  CompressStatus Finish(ByteSink& out) override {
    out_ = &out;
    return encoder_.Finish() ? kCompressOk : kCompressSinkFailed;
  }

 private:
  static int Forward(void* context, const uint8_t* bytes, size_t length) {
    return static_cast<FastGroupEncoder*>(context)->out_->Put(reinterpret_cast<const char*>(bytes), length);
  }

  LzmaEncoder encoder_;
  ByteSink* out_;
};

// A whole stream into one block of known room.
class BlockSink : public ByteSink {
 public:
  BlockSink(uint8_t* bytes, size_t capacity) : bytes_(bytes), capacity_(capacity), length(0) {}
  int Put(const char* data, size_t count) override {
    if (count > capacity_ - length) return 0;
    memcpy(bytes_ + length, data, count);
    length += count;
    return 1;
  }

 private:
  uint8_t* bytes_;
  size_t capacity_;

 public:
  size_t length;
};

// Encodes `length` bytes whole into `out`.
CompressStatus EncodeWhole(uint8_t properties, uint32_t dictionary, const uint8_t* bytes, size_t length,
                           ByteSink& out) {
  FastGroupEncoder encoder;
  int noMemory = 0;
  if (!encoder.Start(properties, dictionary, &noMemory)) return noMemory ? kCompressNoMemory : kCompressSinkFailed;
  const CompressStatus status = encoder.Encode(bytes, length, out);
  return status == kCompressOk ? encoder.Finish(out) : status;
}

}  // namespace

uint32_t FastCodec::GroupDictionary(uint64_t originalSize) const { return DictionaryFor(originalSize); }

uint8_t FastCodec::GroupProperties() const { return kGroupProperties; }

uint64_t FastCodec::EncoderMemory(uint32_t dictionary) const {
  return LzmaEncoder::MemoryFor(dictionary) + sizeof(FastGroupEncoder);
}

GroupEncoder* FastCodec::StartGroup(uint32_t dictionary) {
  void* memory = malloc(sizeof(FastGroupEncoder));
  if (memory == nullptr) return nullptr;
  FastGroupEncoder* encoder = new (memory) FastGroupEncoder();
  int noMemory = 0;
  if (!encoder->Start(kGroupProperties, dictionary, &noMemory)) {
    EndGroup(encoder);
    return nullptr;
  }
  return encoder;
}

void FastCodec::EndGroup(GroupEncoder* encoder) {
  FastGroupEncoder* own = static_cast<FastGroupEncoder*>(encoder);
  own->~FastGroupEncoder();
  free(own);
}

int FastCodec::TrialLength(const uint8_t* bytes, size_t length, uint8_t* out, size_t capacity, size_t* produced) {
  BlockSink sink(out, capacity);
  const CompressStatus status = EncodeWhole(kGroupProperties, kTrialDictionary, bytes, length, sink);
  *produced = sink.length;
  return status == kCompressOk;
}

CompressStatus FastCodec::EncodeDirectory(const char* entries, size_t length, GrowableBlock<char>& stream,
                                          size_t* streamLength) {
  // Incompressible bytes grow by a little over 1/64 at most.
  const size_t capacity = kGroupStreamHeaderSize + length + length / 32 + 4096;
  if (!stream.Allocate(capacity)) return kCompressNoMemory;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(stream.get());
  const uint32_t dictionary = DictionaryFor(length);
  PutStreamHeader(bytes, kTableProperties, dictionary);
  BlockSink sink(bytes + kGroupStreamHeaderSize, capacity - kGroupStreamHeaderSize);
  const CompressStatus status =
      EncodeWhole(kTableProperties, dictionary, reinterpret_cast<const uint8_t*>(entries), length, sink);
  *streamLength = kGroupStreamHeaderSize + sink.length;
  return status;
}
