// Where liblzma's encoders get their memory. The bt4 match finder reads its tables (about
// 11.5 times the dictionary) at random, and with 4 KiB pages nearly every read misses the
// processor's address cache; on Linux the large tables are given transparent huge pages,
// which the kernel grants here only where a program asks for them. Elsewhere liblzma keeps
// its own allocator. The bytes the encoders write do not depend on it.
#pragma once
#include <lzma.h>

// The allocator for an encoder's lzma_stream or buffer call; nullptr for liblzma's own.
const lzma_allocator* EncoderAllocator();
