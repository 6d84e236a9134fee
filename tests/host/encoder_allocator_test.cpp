// The encoders' allocator: every byte asked for; the encoder's large tables (from 4 MiB)
// on blocks that start on a huge page and are marked for huge pages, the smaller blocks
// on malloc's pages; and a request whose size overflows refused rather than cut short.
#include <gtest/gtest.h>
#include <lzma.h>
#include <malloc.h>
#include <stdint.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli/encoder_allocator.h"

namespace {

// Whether the mapping of this process that holds `address` is marked for huge pages
// ("hg" among the VmFlags of /proc/self/smaps).
bool MarkedForHugePages(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  bool holds = false;
  for (std::string line; std::getline(smaps, line);) {
    uintptr_t start = 0, end = 0;
    char dash = 0;
    if (std::istringstream(line) >> std::hex >> start >> dash >> end && dash == '-') {
      holds = start <= at && at < end;
    } else if (holds && line.compare(0, 8, "VmFlags:") == 0) {
      return (line + " ").find(" hg ") != std::string::npos;
    }
  }
  return false;
}

TEST(EncoderAllocator, LargeTablesStartOnAHugePageMarkedForHugePages) {
  const lzma_allocator* allocator = EncoderAllocator();
  if (allocator == nullptr) GTEST_SKIP() << "liblzma's own allocator here";
  // Without transparent huge pages in the kernel, nothing can be marked.
  const bool kernelHasThem = access("/sys/kernel/mm/transparent_hugepage/enabled", F_OK) == 0;
  struct Case {
    size_t count, size;
    bool large;
  };
  // The small ones first: the process's own allocations have marked nothing yet.
  const Case cases[] = {{1000, 1, false}, {1, (4 << 20) - 1, false}, {4 << 20, 1, true}, {3, 30 << 20, true}};
  for (const Case& c : cases) {
    const size_t length = c.count * c.size;
    void* block = allocator->alloc(allocator->opaque, c.count, c.size);
    ASSERT_NE(block, nullptr) << length;
    EXPECT_GE(malloc_usable_size(block), length);
    if (c.large) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (2 << 20), 0u) << length;
    }
    EXPECT_EQ(MarkedForHugePages(block), c.large && kernelHasThem) << length;
    allocator->free(allocator->opaque, block);
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
