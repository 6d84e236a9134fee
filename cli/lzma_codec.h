// liblzma's encoder as the compressed pack's codec (pack --compress): the tool's best
// ratio, the same bytes from the native tool and lodkin-cli.exe (the same liblzma version).
#pragma once
#include "core/group_codec.h"

class LzmaCodec : public GroupCodec {
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
