// The system's threads for work beside the caller's: one per processor beside the caller's,
// and half of the memory that is free, in this process's address space too. Header-only and
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
    return static_cast<int>(info.dwNumberOfProcessors) - 1;
  }
  uint64_t spareMemory() override {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return 0;
    const uint64_t free = status.ullAvailPhys < status.ullAvailVirtual ? status.ullAvailPhys : status.ullAvailVirtual;
    return free / 2;
  }
  void* Start(Work& work) override { return CreateThread(NULL, 0, RunWork, &work, 0, NULL); }
  void Join(void* thread) override {
    const UniqueHandle owned(thread);
    WaitForSingleObject(owned.get(), INFINITE);
  }

 private:
  static DWORD WINAPI RunWork(void* work) {
    static_cast<Work*>(work)->Run();
    return 0;
  }
};
