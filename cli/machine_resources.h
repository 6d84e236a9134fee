// How many processors and how much memory this machine has: the compressor sizes its
// pool of encoders by them.
#pragma once
#include <stdint.h>

// The processors the system offers this process; at least 1.
unsigned ProcessorCount();

// Physical memory in bytes; 0 when the system does not say.
uint64_t PhysicalMemory();

// Memory that could be had now without pushing anything out, in bytes; 0 when the system
// does not say.
uint64_t AvailableMemory();

// The largest block of this process's address space that nothing holds: what one
// allocation, or several that must all fit, can have at most in a 32-bit process.
// UINT64_MAX where the address space is no limit (a 64-bit process).
uint64_t LargestAddressBlock();
