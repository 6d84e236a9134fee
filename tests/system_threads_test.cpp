// The system's threads behind the program's decoding ahead: work runs on a thread of its
// own, Join returns once it has finished, and the counts follow the system's figures.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "package/system_threads.h"

namespace {

struct Probe : BackgroundWork {
  void Run() override {
    Sleep(100);  // long enough that a Join which does not wait is caught
    thread = GetCurrentThreadId();
    done = 1;
  }
  DWORD thread = 0;
  int done = 0;
};

TEST(SystemThreads, RunWorkOnThreadsOfTheirOwnAndJoinWaitsForIt) {
  SystemThreads threads;
  Probe probes[3];
  void* started[3];
  for (int k = 0; k < 3; ++k) {
    started[k] = threads.Start(probes[k]);
    ASSERT_NE(started[k], nullptr);
  }
  std::set<DWORD> ids;
  for (int k = 0; k < 3; ++k) {
    threads.Join(started[k]);
    EXPECT_EQ(probes[k].done, 1) << k;
    EXPECT_NE(probes[k].thread, GetCurrentThreadId()) << k;
    ids.insert(probes[k].thread);
  }
  EXPECT_EQ(ids.size(), 3u);
}

// The rules on a machine's figures, whatever machine runs the test: one thread per
// processor beside the caller's; memory within half of the machine's free memory and
// within the largest free block, less a 256 KiB stack for each spare thread.
TEST(SystemThreads, SpareThreadsAndMemoryFromTheSystemsFigures) {
  EXPECT_EQ(SystemThreads::SpareThreadsOf(1), 0) << "a single processor: the caller's alone";
  EXPECT_EQ(SystemThreads::SpareThreadsOf(8), 7);
  const uint64_t MiB = 1 << 20;
  struct Case {
    const char* what;
    uint64_t available;
    SIZE_T largestFreeBlock;
    int spareThreads;
    uint64_t spare;
  };
  const Case cases[] = {
      {"the address space is short: the block less three stacks", 16384 * MiB, 1024 * MiB, 3, 1024 * MiB - 768 * 1024},
      {"the machine is short: half of its free memory", 1024 * MiB, 1536 * MiB, 1, 512 * MiB},
      {"no spare thread, no stack", 4096 * MiB, 100 * MiB, 0, 100 * MiB},
      {"the stacks take the whole block", 4096 * MiB, 768 * 1024, 3, 0},
      {"the machine's memory unread", 0, 1024 * MiB, 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemThreads::SpareMemoryOf(c.available, c.largestFreeBlock, c.spareThreads), c.spare) << c.what;
  }
}

}  // namespace
