// What a compressed pack may hold in memory at once, and how the groups share it. A group
// being compressed holds its encoder, its read block and, when it runs ahead of the
// writer, its stream up to a bounded size (the writer's own group goes straight into the
// package). As many encoders run at once as groups of the largest reservation fit under
// the limit. Only the order in which groups run depends on the machine, never their bytes.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The peak that the tool's pack --compress keeps under.
const uint64_t kCompressMemoryLimit = 1ull << 30;

// Left out of the groups' share for what is not counted: the program and its libraries,
// the writer's copy buffer, the sample encoder of the plan.
const uint64_t kUncountedMemory = 64ull << 20;

// Each group reads its files through a block of this size.
const size_t kGroupReadBlock = 1u << 20;

// What the groups may hold together: `limit` less what is not counted and what the plan
// keeps for its rows (`heldForRows`), or half the machine's memory when that is less
// (`physicalMemory` 0: not known).
uint64_t CompressMemoryBudget(uint64_t limit, uint64_t physicalMemory, uint64_t heldForRows);

// The most a group's stream can grow to: LZMA takes a little over 8 bits for a byte that
// matches nothing, and a file stored by its samples can still be compressed where they
// did not look.
uint64_t StreamBound(uint64_t originalSize);

// What a group of `originalSize` bytes holds while it is compressed by an encoder that
// allocates `encoderMemory` (UINT64_MAX: not known, taken as more than any budget), its
// stream held up to `aheadLimit` bytes.
uint64_t GroupReservation(uint64_t encoderMemory, uint64_t originalSize, uint64_t aheadLimit = UINT64_MAX);

// How many encoders to start: as many groups of the largest reservation as fit in the
// budget, at most `wanted`, at least 1.
unsigned EncodersThatFit(unsigned wanted, uint64_t largestReservation, uint64_t budget);
