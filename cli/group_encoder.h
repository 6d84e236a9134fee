// The encoder settings of one group and what they cost in memory. The settings depend on
// the group alone (its dictionary), never on the machine, so the package's bytes stay
// the same wherever it is packed.
#pragma once
#include <lzma.h>
#include <stdint.h>

// liblzma's level 6 with `pb` 0 and nice length 40, over `dictionary` bytes (GroupDictionary).
void SetGroupEncoderOptions(lzma_options_lzma& options, uint32_t dictionary);

// Bytes the encoder of a group with that dictionary allocates; UINT64_MAX when liblzma
// does not say.
uint64_t GroupEncoderMemory(uint32_t dictionary);
