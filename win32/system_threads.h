// The system's threads for work beside the caller's: one per processor beside the caller's,
// and memory from the largest block of this process's address space that nothing holds,
// within half of the machine's free memory, less the threads' stacks. Header-only and
// written against the interface it is given (`Threads`, with its `Work`), so that the run
// (package/) and the packaging window (ui/) share it without including each other.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "win32/unique_resource.h"

template <typename Threads, typename Work>
class SystemThreadsFor : public Threads {
 public:
  int spareThreads() override {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return SpareThreadsOf(info.dwNumberOfProcessors);
  }
  uint64_t spareMemory() override {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    const uint64_t available = GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
    return SpareMemoryOf(available, LargestFreeBlock(), spareThreads());
  }
  void* Start(Work& work) override {
    return CreateThread(NULL, kStackBytes, RunWork, &work, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
  }
  void Join(void* thread) override {
    const UniqueHandle owned(thread);
    WaitForSingleObject(owned.get(), INFINITE);
  }

  // The rules apart from the calls that feed them, so that they hold on any machine's
  // figures. `available` is the machine's free memory, 0 when it cannot be read.
  static int SpareThreadsOf(DWORD processors) { return static_cast<int>(processors) - 1; }
  static uint64_t SpareMemoryOf(uint64_t available, SIZE_T largestFreeBlock, int spareThreads) {
    const uint64_t machine = available / 2;
    const SIZE_T stacks = static_cast<SIZE_T>(spareThreads) * kStackBytes;
    const SIZE_T spare = largestFreeBlock > stacks ? largestFreeBlock - stacks : 0;
    return machine < spare ? machine : spare;
  }

 private:
  // Each thread's stack is reserved from the same address space that the work takes: a
  // known, small size rather than the program's default. The decoder and the encoder keep
  // their state on the heap.
  static const SIZE_T kStackBytes = 256 << 10;

  // The largest free block of this process's address space. In a 32-bit process the
  // address space, not the machine's memory, is what runs out; and its free space lies in
  // blocks, each of which must hold a whole allocation. The walk ends where VirtualQuery
  // fails: past the highest address a program may use, below the end of the address space.
  static SIZE_T LargestFreeBlock() {
    SIZE_T largest = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = NULL; VirtualQuery(at, &region, sizeof(region)) != 0; at += region.RegionSize) {
      at = static_cast<const char*>(region.BaseAddress);
      if (region.State == MEM_FREE && region.RegionSize > largest) largest = region.RegionSize;
    }
    return largest;
  }
  static DWORD WINAPI RunWork(void* work) {
    static_cast<Work*>(work)->Run();
    return 0;
  }
};
