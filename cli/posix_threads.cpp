#include "cli/posix_threads.h"

#include <pthread.h>

#include <new>

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
  StartedThread* thread = new (std::nothrow) StartedThread;
  if (thread != nullptr && pthread_create(&thread->id, nullptr, RunWork, &work) != 0) {
    delete thread;
    thread = nullptr;
  }
  return thread;
}

void PosixThreads::Join(void* thread) {
  StartedThread* started = static_cast<StartedThread*>(thread);
  pthread_join(started->id, nullptr);
  delete started;
}
