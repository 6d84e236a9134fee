#include "host/support/own_encoder.h"

#include "core/lzma_encoder.h"
#include "core/lzma_group_decoder.h"

namespace {

int Append(void* context, const uint8_t* bytes, size_t length) {
  std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), bytes, bytes + length);
  return 1;
}

}  // namespace

OwnEncoding OwnEncodeGroup(const std::vector<uint8_t>& original, uint8_t properties, uint32_t dictionary,
                           const std::vector<size_t>& pieces) {
  OwnEncoding result;
  std::vector<uint8_t>& group = result.group;
  group.assign(kGroupStreamHeaderSize, 0);
  group[1] = properties;
  for (int k = 0; k < 4; ++k) group[2 + k] = static_cast<uint8_t>(dictionary >> (8 * k));
  LzmaEncoder encoder;
  int noMemory = 0;
  if (!encoder.Start(properties, dictionary, Append, &group, &noMemory)) return result;
  size_t at = 0;
  for (size_t k = 0; at < original.size(); ++k) {
    size_t piece = pieces.empty() ? original.size() : pieces[k % pieces.size()];
    if (piece > original.size() - at) piece = original.size() - at;
    if (!encoder.Write(original.data() + at, piece)) return result;
    at += piece;
  }
  result.accepted = encoder.consumed() == original.size() && encoder.Finish();
  return result;
}
