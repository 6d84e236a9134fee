#include "cli/posix_threads.h"

#include <pthread.h>
#include <stdlib.h>

#include "cli/machine_resources.h"

namespace {

// A known, small stack: the decoder keeps its state on the heap.
const size_t kStackBytes = 256 << 10;

struct StartedThread {
  pthread_t id;
};

void* RunWork(void* work) {
  static_cast<BackgroundWork*>(work)->Run();
  return nullptr;
}

}  // namespace

int PosixThreads::spareThreads() { return static_cast<int>(ProcessorCount()) - 1; }

uint64_t PosixThreads::spareMemory() {
  uint64_t spare = AvailableMemory() / 2;
  if (LargestAddressBlock() < spare) spare = LargestAddressBlock();
  // The threads' stacks come out of the same address space.
  const int threads = spareThreads();
  const uint64_t stacks = threads > 0 ? static_cast<uint64_t>(threads) * kStackBytes : 0;
  return spare > stacks ? spare - stacks : 0;
}

void* PosixThreads::Start(BackgroundWork& work) {
  // malloc rather than new: the Windows tool links no exception machinery.
  StartedThread* thread = static_cast<StartedThread*>(malloc(sizeof(StartedThread)));
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackBytes);
  if (thread != nullptr && pthread_create(&thread->id, &attributes, RunWork, &work) != 0) {
    free(thread);
    thread = nullptr;
  }
  pthread_attr_destroy(&attributes);
  return thread;
}

void PosixThreads::Join(void* thread) {
  StartedThread* started = static_cast<StartedThread*>(thread);
  pthread_join(started->id, nullptr);
  free(started);
}
