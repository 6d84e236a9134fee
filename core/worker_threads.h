// Threads as the platform starts them, for work that may run beside the caller's: the
// package core stays free of any system's headers, and a reader given none does all of
// its work on the caller's thread.
#pragma once
#include <stdint.h>

// Work that runs on a thread of its own.
class BackgroundWork {
 public:
  virtual void Run() = 0;

 protected:
  ~BackgroundWork() {}
};

class WorkerThreads {
 public:
  // Threads that may run beside the caller's: one per processor, less the caller's own.
  virtual int spareThreads() = 0;
  // Bytes of memory that work beside the caller's may take now: what the largest free block
  // of the address space holds (every allocation must fit into one, together too), within
  // what the machine can give, less the threads' stacks. The reader keeps room for its own
  // decoding out of it.
  virtual uint64_t spareMemory() = 0;
  // Starts `work` on a new thread; null when no thread could be had.
  virtual void* Start(BackgroundWork& work) = 0;
  // Waits until the thread has finished, and lets it go.
  virtual void Join(void* thread) = 0;

 protected:
  ~WorkerThreads() {}
};
