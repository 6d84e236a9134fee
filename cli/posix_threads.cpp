#include "cli/posix_threads.h"

#include <pthread.h>
#include <stdlib.h>

#include "cli/machine_resources.h"

namespace {

struct StartedThread {
  pthread_t id;
};

void* RunWork(void* work) {
  static_cast<BackgroundWork*>(work)->Run();
  return nullptr;
}

}  // namespace

int PosixThreads::spareThreads() { return static_cast<int>(ProcessorCount()) - 1; }

uint64_t PosixThreads::spareMemory() { return AvailableMemory() / 2; }

void* PosixThreads::Start(BackgroundWork& work) {
  // malloc rather than new: the Windows tool links no exception machinery.
  StartedThread* thread = static_cast<StartedThread*>(malloc(sizeof(StartedThread)));
  if (thread != nullptr && pthread_create(&thread->id, nullptr, RunWork, &work) != 0) {
    free(thread);
    thread = nullptr;
  }
  return thread;
}

void PosixThreads::Join(void* thread) {
  StartedThread* started = static_cast<StartedThread*>(thread);
  pthread_join(started->id, nullptr);
  free(started);
}
