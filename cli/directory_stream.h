// The directory of a compressed package as one stream of its own (laid out as a group's),
// so that tens of thousands of 268-byte entries, mostly zeros and shared name prefixes,
// cost a few bytes each.
#pragma once
#include <stddef.h>

#include "core/growable_block.h"
#include "core/member_compressor.h"

// Compresses `length` bytes of directory entries into *stream (its first *streamLength bytes).
CompressStatus CompressDirectoryStream(const char* entries, size_t length, GrowableBlock<char>& stream,
                                       size_t* streamLength);
