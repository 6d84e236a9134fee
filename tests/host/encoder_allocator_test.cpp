// The encoders' allocator: liblzma writes the same bytes with it as with its own, over
// dictionaries whose tables stay small and ones whose tables take the huge-page path, and
// a request whose size overflows is refused rather than cut short.
#include <gtest/gtest.h>
#include <lzma.h>
#include <stdint.h>

#include <vector>

#include "cli/encoder_allocator.h"
#include "cli/group_encoder.h"
#include "host/support/compressed_fixture.h"
#include "support/seeded_bytes.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<char>& original, uint32_t dictionary, const lzma_allocator* allocator) {
  lzma_options_lzma options;
  SetGroupEncoderOptions(options, dictionary);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::vector<uint8_t> out(original.size() + original.size() / 16 + 4096);
  size_t produced = 0;
  EXPECT_EQ(lzma_raw_buffer_encode(filters, allocator, reinterpret_cast<const uint8_t*>(original.data()),
                                   original.size(), out.data(), &produced, out.size()),
            LZMA_OK);
  out.resize(produced);
  return out;
}

TEST(EncoderAllocator, TheEncoderWritesTheSameBytesAsWithLiblzmasOwn) {
  std::vector<char> original = CompressibleBytes(512 << 10, 31);
  const std::vector<char> noise = PseudoRandomBytes(256 << 10, 32);
  original.insert(original.end(), noise.begin(), noise.end());
  original.insert(original.end(), noise.begin(), noise.end());  // a match 256 KiB back
  struct Case {
    const char* what;
    uint32_t dictionary;
  };
  const std::vector<Case> cases = {{"small tables only", 64 << 10}, {"tables of many huge pages", 8 << 20}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> own = Encode(original, c.dictionary, nullptr);
    ASSERT_FALSE(own.empty()) << c.what;
    EXPECT_EQ(Encode(original, c.dictionary, EncoderAllocator()), own) << c.what;
  }
}

TEST(EncoderAllocator, AnOverflowingRequestIsRefused) {
  const lzma_allocator* allocator = EncoderAllocator();
  if (allocator == nullptr) GTEST_SKIP() << "liblzma's own allocator here";
  EXPECT_EQ(allocator->alloc(allocator->opaque, SIZE_MAX / 2 + 2, 2), nullptr);
  void* block = allocator->alloc(allocator->opaque, 5 << 20, 1);
  ASSERT_NE(block, nullptr);
  static_cast<char*>(block)[(5 << 20) - 1] = 1;  // every byte asked for is there
  allocator->free(allocator->opaque, block);
}

}  // namespace
