// The one owner of Win32 resources: what it does with real handles and blocks.
#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "win32/unique_resource.h"

namespace {

// A kind whose close call is counted, so that "closed once" and "never closed" can be seen.
int g_closed = 0;
struct CountedTraits {
  typedef int Type;
  static int Empty() { return -1; }
  static void Close(int) { ++g_closed; }
};
typedef UniqueResource<CountedTraits> Counted;

TEST(UniqueResource, ResetClosesOnceReleaseNeverMoveTransfers) {
  g_closed = 0;
  {
    Counted held(7);
    EXPECT_TRUE(held.valid());
    held.reset(8);
    EXPECT_EQ(g_closed, 1) << "reset closes what was held";
    held.reset();
    EXPECT_EQ(g_closed, 2);
    held.reset();
    EXPECT_EQ(g_closed, 2) << "nothing held, nothing closed";
    EXPECT_FALSE(held.valid());
  }
  EXPECT_EQ(g_closed, 2) << "an empty owner closes nothing when it goes";

  g_closed = 0;
  {
    Counted held(5);
    EXPECT_EQ(held.release(), 5);
    EXPECT_FALSE(held.valid());
  }
  EXPECT_EQ(g_closed, 0) << "release hands over without closing";

  g_closed = 0;
  {
    Counted first(1);
    Counted second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), 1);
    Counted third(3);
    third = std::move(second);
    EXPECT_EQ(g_closed, 1) << "the target's own resource is closed by the move";
    EXPECT_EQ(third.get(), 1);
    third = std::move(third);
    EXPECT_EQ(third.get(), 1) << "a move onto itself keeps the resource";
    EXPECT_EQ(g_closed, 1);
  }
  EXPECT_EQ(g_closed, 2) << "only the last owner closes";
}

// The real kinds: the empty value of each is what its creating call reports on failure,
// and a handle is closed when its owner goes (a closed handle fails the next call).
TEST(UniqueResource, RealHandlesCloseWhenTheirOwnerGoes) {
  EXPECT_FALSE(UniqueFile(CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
                   .valid());
  WIN32_FIND_DATAA found;
  EXPECT_FALSE(UniqueFind(FindFirstFileA("Z:\\no\\such\\*", &found)).valid());

  HANDLE raw = nullptr;
  {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.valid());
    raw = event.get();
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    CloseHandle(copy);
  }
  HANDLE copy = nullptr;
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &copy, 0, FALSE,
                               DUPLICATE_SAME_ACCESS))
      << "the event's handle is still open";

  const char name[] = "LodkinOwnerTestMapping";
  {
    UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name));
    ASSERT_TRUE(mapping.valid());
    UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_TRUE(view.valid());
    static_cast<char*>(view.get())[0] = 'x';
    UniqueHandle again(OpenFileMappingA(FILE_MAP_READ, FALSE, name));
    EXPECT_TRUE(again.valid());
  }
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name), nullptr) << "the mapping outlived its owners";

  UniqueKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  HKEY rawKey = key.get();
  key.reset();
  DWORD subKeys = 0;
  EXPECT_NE(RegQueryInfoKeyA(rawKey, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS)
      << "the key is still open";
}

TEST(UniqueResource, HeapBlocksAreZeroFilledGrowWithTheirContentsAndGoBack) {
  UniqueHeapBlock<int> block = AllocateHeapBlock<int>(4);
  ASSERT_TRUE(block.valid());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(block.get()[i], 0);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block.get()), 4 * sizeof(int));
  block.get()[3] = 42;
  ASSERT_EQ(ResizeHeapBlock(block, 100000), 1);
  EXPECT_EQ(block.get()[3], 42);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block.get()), 100000 * sizeof(int));

  UniqueHeapBlock<char> empty;
  ASSERT_EQ(ResizeHeapBlock(empty, 10), 1) << "an empty block is allocated";
  EXPECT_TRUE(empty.valid());

  // A request no heap can meet (half the address space) leaves the block as it was, and
  // so does a count whose size in bytes does not fit in a size_t.
  const size_t kHalfTheAddressSpace = static_cast<size_t>(-1) / 2 - 15;
  int* before = block.get();
  for (size_t count : {kHalfTheAddressSpace / sizeof(int), static_cast<size_t>(-1) / 2 + 1}) {
    EXPECT_EQ(ResizeHeapBlock(block, count), 0) << count;
    EXPECT_EQ(block.get(), before);
    EXPECT_EQ(block.get()[3], 42);
  }
  EXPECT_FALSE(AllocateHeapBytes<char>(kHalfTheAddressSpace).valid());
  EXPECT_FALSE(AllocateHeapBlock<int>(static_cast<size_t>(-1) / 2 + 1).valid());
}

// Released blocks go back to the heap: 3 GB in 1 MB blocks, more than a 32-bit process
// can hold at once. A 64-bit process could hold them all, so there it would prove nothing.
TEST(UniqueResource, ReleasedHeapBlocksGoBackWithinA32BitAddressSpace) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "only a 32-bit address space runs out of room for 3 GB";
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(AllocateHeapBlock<char>(1 << 20).valid()) << i;
}

}  // namespace
