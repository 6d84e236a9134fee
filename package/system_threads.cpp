#include "package/system_threads.h"

#include <windows.h>

static DWORD WINAPI RunWork(void* work) {
  static_cast<BackgroundWork*>(work)->Run();
  return 0;
}

int SystemThreads::spareThreads() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors) - 1;
}

uint64_t SystemThreads::spareMemory() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return 0;
  const uint64_t free = status.ullAvailPhys < status.ullAvailVirtual ? status.ullAvailPhys : status.ullAvailVirtual;
  return free / 2;
}

void* SystemThreads::Start(BackgroundWork& work) { return CreateThread(NULL, 0, RunWork, &work, 0, NULL); }

void SystemThreads::Join(void* thread) {
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}
