// The system's threads for the package reader's decoding ahead: one per processor beside
// the caller's, and half of the memory that is free, in this process's address space too.
#pragma once
#include "core/worker_threads.h"

class SystemThreads : public WorkerThreads {
 public:
  int spareThreads() override;
  uint64_t spareMemory() override;
  void* Start(BackgroundWork& work) override;
  void Join(void* thread) override;
};
