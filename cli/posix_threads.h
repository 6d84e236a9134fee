// Threads for the package reader's decoding ahead in the tool: one per processor beside
// the tool's own, and half of the memory that is free, within the largest free block of
// the tool's address space.
#pragma once
#include "core/worker_threads.h"

class PosixThreads : public WorkerThreads {
 public:
  int spareThreads() override;
  uint64_t spareMemory() override;
  void* Start(BackgroundWork& work) override;
  void Join(void* thread) override;
};
