// Presses a 32-bit process against the end of its address space, for the host tests that
// check what the programs do there. Everything that can be had is reserved (never
// committed, so no memory is used) but for one block of LOW MiB below 2 GiB and one of
// HIGH MiB above it, where a large-address-aware process has such space. Usage:
//   address_squeeze free
//     prints the largest free block and the free space of its own address space, as
//     VirtualQuery shows them and as reservations find them
//   address_squeeze read LOW HIGH PACKAGE FOLDER
//     squeezes itself, then writes every member of PACKAGE into FOLDER as the run reads
//     them (the system's threads decoding ahead); prints "member I RESULT" for each and
//     exits with 0 when all are intact, else with the first other result
//   address_squeeze start LOW HIGH PROGRAM [ARGUMENTS...]
//     starts PROGRAM suspended, squeezes it, lets it run and exits with its exit code
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/package_reader.h"
#include "package/system_threads.h"
#include "support/output_file.h"

namespace {

const uintptr_t kTwoGiB = 0x80000000u;
const SIZE_T kGranularity = 0x10000;
const int kMostBlocks = 4096;

struct Block {
  uintptr_t base;
  SIZE_T size;
};

// Free space as VirtualQuery reports it: what the programs plan from. (Wine shows the
// space it keeps for the process's allocations as reserved, so this is less than can be had.)
void PrintFree(HANDLE process, const char* what) {
  uint64_t largest = 0, total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = NULL; VirtualQueryEx(process, at, &region, sizeof(region)) != 0; at += region.RegionSize) {
    at = static_cast<const char*>(region.BaseAddress);
    if (region.State != MEM_FREE) continue;
    total += region.RegionSize;
    if (region.RegionSize > largest) largest = region.RegionSize;
  }
  printf("%s: largest free block %llu, free %llu\n", what, static_cast<unsigned long long>(largest),
         static_cast<unsigned long long>(total));
}

// Reserves all that can be had, in blocks of halving sizes: asking is the only way to find
// every block, since not every one that can be had shows as free.
int ReserveEverything(HANDLE process, Block* blocks, SIZE_T smallest = kGranularity) {
  int count = 0;
  for (SIZE_T size = kTwoGiB; size >= smallest && count < kMostBlocks;) {
    void* at = VirtualAllocEx(process, NULL, size, MEM_RESERVE, PAGE_NOACCESS);
    if (at == NULL) {
      size /= 2;
      continue;
    }
    blocks[count].base = reinterpret_cast<uintptr_t>(at);
    blocks[count++].size = size;
  }
  return count;
}

// Lets `kept` bytes at the start of the largest reserved block on one side of 2 GiB go.
void Keep(HANDLE process, const Block* blocks, int count, bool high, SIZE_T kept) {
  const Block* chosen = NULL;
  for (int k = 0; k < count; ++k) {
    if ((blocks[k].base >= kTwoGiB) == high && (chosen == NULL || blocks[k].size > chosen->size)) chosen = &blocks[k];
  }
  if (chosen == NULL || kept == 0) return;
  VirtualFreeEx(process, reinterpret_cast<void*>(chosen->base), 0, MEM_RELEASE);
  if (kept < chosen->size) {
    VirtualAllocEx(process, reinterpret_cast<void*>(chosen->base + kept), chosen->size - kept, MEM_RESERVE,
                   PAGE_NOACCESS);
  }
}

void Squeeze(HANDLE process, SIZE_T lowKept, SIZE_T highKept, SIZE_T smallest) {
  static Block blocks[kMostBlocks];
  PrintFree(process, "before");
  const int count = ReserveEverything(process, blocks, smallest);
  Keep(process, blocks, count, false, lowKept);
  Keep(process, blocks, count, true, highKept);
  PrintFree(process, "squeezed");
}

int ReadPackage(const char* packagePath, const char* folder) {
  SystemThreads threads;
  PackageReader reader;
  reader.SetWorkerThreads(&threads);
  if (!reader.Open(packagePath)) {
    printf("open %d\n", reader.status());
    return 100;
  }
  CopyBuffer buffer;
  int first = 0;
  for (int i = 0; i < reader.count(); ++i) {
    char path[MAX_PATH * 2];
    _snprintf(path, sizeof(path) - 1, "%s\\%s", folder, reader.entry(i).name);
    path[sizeof(path) - 1] = 0;
    BinaryFile out;
    const MemberCopyResult result =
        CreateOutputFile(out, path) ? reader.CopyMember(i, out, buffer) : kMemberWriteFailed;
    const int closed = out.Close();
    printf("member %d %d\n", i, static_cast<int>(result));
    if (first == 0 && (result != kMemberIntact || !closed)) first = result != kMemberIntact ? result : 99;
  }
  return first;
}

int StartSqueezed(uintptr_t low, uintptr_t high, int argc, char** argv) {
  char command[32768] = "";
  for (int k = 0; k < argc; ++k) {
    strcat(command, k == 0 ? "\"" : " ");
    strcat(command, argv[k]);
    if (k == 0) strcat(command, "\"");
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &startup, &process)) {
    printf("not started %lu\n", GetLastError());
    return 101;
  }
  // Blocks below 16 MiB stay free: a process that has not started yet needs a few small
  // ones of its own (under Wine it fails to start without them), none of them room for a
  // group's dictionary.
  Squeeze(process.hProcess, low, high, 16u << 20);
  ResumeThread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  printf("exit=%lu\n", code);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  const uintptr_t kMiB = 1u << 20;
  if (argc == 2 && strcmp(argv[1], "free") == 0) {
    PrintFree(GetCurrentProcess(), "this process");
    static Block blocks[kMostBlocks];
    uint64_t total = 0;
    const int count = ReserveEverything(GetCurrentProcess(), blocks);
    for (int k = 0; k < count; ++k) total += blocks[k].size;
    printf("reservable: largest %llu, in all %llu\n", static_cast<unsigned long long>(count > 0 ? blocks[0].size : 0),
           static_cast<unsigned long long>(total));
    return 0;
  }
  if (argc == 6 && strcmp(argv[1], "read") == 0) {
    Squeeze(GetCurrentProcess(), strtoul(argv[2], NULL, 10) * kMiB, strtoul(argv[3], NULL, 10) * kMiB, kGranularity);
    return ReadPackage(argv[4], argv[5]);
  }
  if (argc >= 5 && strcmp(argv[1], "start") == 0) {
    return StartSqueezed(strtoul(argv[2], NULL, 10) * kMiB, strtoul(argv[3], NULL, 10) * kMiB, argc - 4, argv + 4);
  }
  fprintf(stderr, "usage: address_squeeze free | read LOW HIGH PACKAGE FOLDER | start LOW HIGH PROGRAM ...\n");
  return 9;
}
