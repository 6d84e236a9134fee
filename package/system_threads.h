// The system's threads for the package reader's decoding ahead: one per processor beside
// the caller's, and memory from the largest block of this process's address space that
// nothing holds, within half of the machine's free memory.
#pragma once
#include "core/worker_threads.h"

class SystemThreads final : public WorkerThreads {
 public:
  int spareThreads() override;
  uint64_t spareMemory() override;
  void* Start(BackgroundWork& work) override;
  void Join(void* thread) override;
};
