// The system's threads behind the program's decoding ahead: work runs on a thread of its
// own, Join returns once it has finished, and the counts come from the system.
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

TEST(SystemThreads, SpareThreadsAndMemoryAreTheSystemsLessTheCallersShare) {
  SystemThreads threads;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(threads.spareThreads(), static_cast<int>(info.dwNumberOfProcessors) - 1);
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  const uint64_t spare = threads.spareMemory();
  EXPECT_GT(spare, 0u);
  // Within half of the machine's memory...
  EXPECT_LE(spare, status.ullTotalPhys / 2);
  if (sizeof(void*) == 8) return;
  // ...and within one free block of a 32-bit process's address space: with as much as
  // that reserved, there is less to spare (the free space in total is not what counts).
  void* taken = VirtualAlloc(NULL, static_cast<SIZE_T>(spare), MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(taken, nullptr);
  EXPECT_LT(threads.spareMemory(), spare);
  VirtualFree(taken, 0, MEM_RELEASE);
}

}  // namespace
