// The room on the volume that a run or "-e" writes to: asked before anything is written,
// and again when a write stops short, to name a full disk as the cause.
#pragma once
#include <stdint.h>

#include "core/package_reader.h"

// The bytes a full extraction writes: every member's original size, so that compressed
// members count as they will be on disk.
uint64_t MemberBytes(const PackageReader& package);

// Whether `needed` bytes fit into the free space of the volume that holds `folder`. A
// volume whose free space cannot be read is given the benefit of the doubt: the writes
// themselves still report a full disk.
int FitsFreeSpace(int haveFreeSpace, uint64_t available, uint64_t needed);
int HasRoomFor(const char* folder, uint64_t needed);

// 1 when the volume that holds `folder` has less than 64 KiB left (0 when that cannot
// be read): a write that it took only in part ran out of room.
int IsNearlyFull(const char* folder);
