// A cheap look at a block of bytes before the costlier trial compression: bytes whose
// values are spread nearly evenly (compressed data: .gz, PNG, cabinets) may or may not
// shrink, but bytes that repeat some values far more than others always do.
#pragma once
#include <stddef.h>
#include <stdint.h>

// 1 when `bytes` look like compressed or random data: the chance that two of them taken at
// random are equal is under twice the 1/256 of evenly spread values. Fewer than 64 bytes
// say too little and look so. Integers only, so that every machine judges alike.
int LooksIncompressible(const uint8_t* bytes, size_t length);
