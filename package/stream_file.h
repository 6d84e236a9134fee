// Standard-library binary streams with 64-bit positions and a streamed block copy.
#pragma once
#include <stdint.h>
#include <stdio.h>

// Opens a file in "rb" or "wb" mode with a larger stream buffer, so that the 4096-byte
// block copies cost few system calls. Returns null on failure.
FILE* OpenStream(const char* path, const char* mode);

// Positions the stream at an absolute byte position. Returns 1 on success.
int SeekFromStart(FILE* file, uint64_t position);

// The length of the file behind the stream, in bytes. Returns 1 on success.
int GetStreamLength(FILE* file, uint64_t* length);

enum CopyResult {
  kCopyDone = 1,      // the limit was reached or the source ended
  kCopyReadFailed,    // the source reported an error
  kCopyWriteFailed,   // the destination took fewer bytes than it was given
};

// Copies at most `limit` bytes from the source's current position through one
// 4096-byte block: each read asks for the smaller of 4096 and the bytes still missing,
// and exactly what was read is written. Stops early when a read yields nothing.
// *copied receives the number of bytes written.
CopyResult CopyStreamBlocks(FILE* source, FILE* destination, uint64_t limit, uint64_t* copied);
