#include "cli/machine_resources.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdio.h>
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

uint64_t AvailableMemory() {
#ifdef _WIN32
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullAvailPhys;
#else
  // The kernel's own estimate counts the caches it would give back; free pages alone do not.
  FILE* meminfo = fopen("/proc/meminfo", "r");
  unsigned long long kib = 0;
  char line[128];
  int found = 0;
  while (meminfo != nullptr && !found && fgets(line, sizeof line, meminfo) != nullptr) {
    found = sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
  }
  if (meminfo != nullptr) fclose(meminfo);
  if (found) return static_cast<uint64_t>(kib) * 1024;
  const long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
#endif
}

uint64_t LargestAddressBlock() {
#if defined(_WIN32) && !defined(_WIN64)
  SIZE_T largest = 0;
  MEMORY_BASIC_INFORMATION region;
  // VirtualQuery fails past the highest address a program may use, which lies below the
  // end of the address space: the walk ends there.
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) != 0; at += region.RegionSize) {
    at = static_cast<const char*>(region.BaseAddress);
    if (region.State == MEM_FREE && region.RegionSize > largest) largest = region.RegionSize;
  }
  return largest;
#else
  return UINT64_MAX;
#endif
}
