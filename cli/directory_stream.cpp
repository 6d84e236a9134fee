#include "cli/directory_stream.h"

#include <lzma.h>
#include <stdint.h>

#include "cli/encoder_allocator.h"
#include "core/group_plan.h"
#include "core/lzma_group_decoder.h"

namespace {

// Entries are 268 bytes, four-byte fields on four-byte boundaries: lp 2 and pb 2 let the
// coder tell the fields' bytes apart.
const uint32_t kTablePresetLevel = 6;
const uint32_t kTableLiteralPositionBits = 2;
const uint32_t kTablePositionBits = 2;
const uint32_t kTableLiteralContextBits = 2;
const uint32_t kLeastDictionary = 4096;

}  // namespace

CompressStatus CompressDirectoryStream(const char* entries, size_t length, GrowableBlock<char>& stream,
                                       size_t* streamLength) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, kTablePresetLevel)) return kCompressNoMemory;
  options.dict_size = length < kLeastDictionary ? kLeastDictionary
                      : length > kLargestEncoderDictionary ? kLargestEncoderDictionary
                                                     : static_cast<uint32_t>(length);
  options.lc = kTableLiteralContextBits;
  options.lp = kTableLiteralPositionBits;
  options.pb = kTablePositionBits;
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  // Incompressible bytes grow by a little over 1/64 at most.
  const size_t capacity = kGroupStreamHeaderSize + length + length / 32 + 4096;
  if (!stream.Allocate(capacity)) return kCompressNoMemory;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(stream.get());
  bytes[0] = 0;  // no branch converter
  bytes[1] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  for (int k = 0; k < 4; ++k) bytes[2 + k] = static_cast<uint8_t>(options.dict_size >> (8 * k));
  size_t produced = kGroupStreamHeaderSize;
  const lzma_ret ret = lzma_raw_buffer_encode(filters, EncoderAllocator(), reinterpret_cast<const uint8_t*>(entries),
                                              length, bytes, &produced, capacity);
  if (ret != LZMA_OK) return ret == LZMA_MEM_ERROR ? kCompressNoMemory : kCompressCannotRead;
  *streamLength = produced;
  return kCompressOk;
}
