// The core's own LZMA encoder (core/lzma_encoder.h) as the compressed pack's codec: what
// pack --compress=fast and the window's "Compress" box write, the same bytes from every
// program on every machine.
#pragma once
#include "core/group_codec.h"

class FastCodec : public GroupCodec {
 public:
  uint32_t GroupDictionary(uint64_t originalSize) const override;
  uint8_t GroupProperties() const override;
  uint64_t EncoderMemory(uint32_t dictionary) const override;
  GroupEncoder* StartGroup(uint32_t dictionary) override;
  void EndGroup(GroupEncoder* encoder) override;
  int TrialLength(const uint8_t* bytes, size_t length, uint8_t* out, size_t capacity, size_t* produced) override;
  CompressStatus EncodeDirectory(const char* entries, size_t length, GrowableBlock<char>& stream,
                                 size_t* streamLength) override;
};
