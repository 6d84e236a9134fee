#include "cli/machine_resources.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

unsigned ProcessorCount() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
#else
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
#endif
}

uint64_t PhysicalMemory() {
#ifdef _WIN32
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  // A 32-bit process can address no more than its own space, whatever the machine holds.
  const uint64_t reachable = status.ullTotalVirtual;
  return status.ullTotalPhys < reachable ? status.ullTotalPhys : reachable;
#else
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
#endif
}
