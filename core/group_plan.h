// How pack --compress divides its files into solid groups. Every group starts with an
// empty dictionary and cannot match what an earlier group holds, so groups are few and
// large; two groups where the files are many enough, so that two cores share the work.
// The division depends on the files alone (never on the number of threads), and cuts
// fall between files whose names have least in common: near-identical files (versions
// of one library, d3dx9_24.dll ... d3dx9_35.dll) nearly always share a stem, and a cut
// between them costs a whole extra copy of one.
#pragma once
#include <stdint.h>

#include "core/lzma_group_decoder.h"
#include "core/member_compressor.h"

struct GroupRule {
  uint64_t share;       // original bytes per group at most, on average
  uint64_t splitAbove;  // a run of more original bytes is cut into at least two groups
};

// One group per `share` (the largest dictionary) of compressed files, and two from 16 MiB on.
constexpr GroupRule kDefaultGroupRule = {kMaxGroupDictionary, 16u << 20};

struct PlannedFile {
  uint64_t size;
  int stored;        // 1: it does not shrink, its name leaves no room for the record, or a folder
  const char* name;  // the member's name, for the choice of cuts
};

// Divides `count` files, in order, into groups written to `groups` (room for `count`).
// The compressed files alone are planned: a run of them of `total` bytes becomes
// max(ceil(total / share), total > splitAbove ? 2 : 1) groups, no more than it has files.
// Each cut lies between files within a quarter of a group's equal share of its target,
// where the neighbouring names share the shortest prefix (the nearest to the target of
// those); with no file boundary that near, the nearest. A stored file never ends a run:
// it belongs to the group whose span holds it, from the group's first compressed file to
// the next group's first (its bytes follow that group's stream). Stored files before the
// first compressed one are groups of one. Returns the number of groups, -1 without memory.
int PlanGroups(const PlannedFile* files, int count, const GroupRule& rule, MemberGroup* groups);

// The largest dictionary the encoder is given. liblzma's bt4 match finder allocates about
// 11.5 times its dictionary (369 MiB at 32 MiB, 673 MiB at 64 MiB), so two encoders at
// 64 MiB would not fit in 1 GiB; on Wine's DLLs 32 MiB made the larger group no larger
// (hc4 at 64 MiB made it 2.9 % larger).
const uint32_t kLargestEncoderDictionary = 32u << 20;

// The dictionary of a group of `originalSize` bytes: its size, within LZMA's least
// (4 KiB) and kLargestEncoderDictionary.
uint32_t GroupDictionary(uint64_t originalSize);
