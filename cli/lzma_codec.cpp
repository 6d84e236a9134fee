#include "cli/lzma_codec.h"

#include <lzma.h>
#include <stdlib.h>

#include <new>

#include "cli/directory_stream.h"
#include "cli/encoder_allocator.h"
#include "cli/group_encoder.h"
#include "core/group_plan.h"

namespace {

// The encoder hands out its output in steps of this size.
const size_t kOutputStep = 1u << 16;

class LzmaGroupEncoder : public GroupEncoder {
 public:
  LzmaGroupEncoder() : stream_(LZMA_STREAM_INIT) { stream_.allocator = EncoderAllocator(); }
  ~LzmaGroupEncoder() { lzma_end(&stream_); }
  LzmaGroupEncoder(const LzmaGroupEncoder&) = delete;
  LzmaGroupEncoder& operator=(const LzmaGroupEncoder&) = delete;

  int Start(uint32_t dictionary) {
    lzma_options_lzma options;
    SetGroupEncoderOptions(options, dictionary);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    return lzma_raw_encoder(&stream_, filters) == LZMA_OK;
  }
  CompressStatus Encode(const uint8_t* bytes, size_t length, ByteSink& out) override {
    return Run(bytes, length, LZMA_RUN, out);
  }
  CompressStatus Finish(ByteSink& out) override { return Run(nullptr, 0, LZMA_FINISH, out); }

 private:
  CompressStatus Run(const uint8_t* in, size_t length, lzma_action action, ByteSink& out) {
    stream_.next_in = in;
    stream_.avail_in = length;
    for (;;) {
      stream_.next_out = output_;
      stream_.avail_out = sizeof(output_);
      const lzma_ret ret = lzma_code(&stream_, action);
      const size_t made = sizeof(output_) - stream_.avail_out;
      if (made > 0 && !out.Put(reinterpret_cast<const char*>(output_), made)) return kCompressSinkFailed;
      if (ret == LZMA_STREAM_END) return kCompressOk;
      if (ret != LZMA_OK) return ret == LZMA_MEM_ERROR ? kCompressNoMemory : kCompressCannotRead;
      if (action == LZMA_RUN && stream_.avail_in == 0 && stream_.avail_out != 0) return kCompressOk;
    }
  }

  lzma_stream stream_;
  uint8_t output_[kOutputStep];
};

}  // namespace

uint32_t LzmaCodec::GroupDictionary(uint64_t originalSize) const { return ::GroupDictionary(originalSize); }

uint8_t LzmaCodec::GroupProperties() const {
  lzma_options_lzma options;
  SetGroupEncoderOptions(options, 4096);
  return static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
}

uint64_t LzmaCodec::EncoderMemory(uint32_t dictionary) const { return GroupEncoderMemory(dictionary); }

GroupEncoder* LzmaCodec::StartGroup(uint32_t dictionary) {
  // malloc rather than new: the Windows tool links no exception machinery.
  void* memory = malloc(sizeof(LzmaGroupEncoder));
  if (memory == nullptr) return nullptr;
  LzmaGroupEncoder* encoder = new (memory) LzmaGroupEncoder();
  if (!encoder->Start(dictionary)) {
    EndGroup(encoder);
    return nullptr;
  }
  return encoder;
}

void LzmaCodec::EndGroup(GroupEncoder* encoder) {
  LzmaGroupEncoder* own = static_cast<LzmaGroupEncoder*>(encoder);
  own->~LzmaGroupEncoder();
  free(own);
}

// liblzma's fastest preset, as the small-file rule has always judged samples.
int LzmaCodec::TrialLength(const uint8_t* bytes, size_t length, uint8_t* out, size_t capacity, size_t* produced) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 0);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  *produced = 0;
  return lzma_raw_buffer_encode(filters, nullptr, bytes, length, out, produced, capacity) == LZMA_OK;
}

CompressStatus LzmaCodec::EncodeDirectory(const char* entries, size_t length, GrowableBlock<char>& stream,
                                          size_t* streamLength) {
  return CompressDirectoryStream(entries, length, stream, streamLength);
}
