// The tool's compressor, native and lodkin-cli.exe alike: the core's plan and writing
// (core/group_compressor.h) with liblzma's encoder (pack --compress) or the core's own
// (pack --compress=fast), on POSIX threads, as many encoders at once as there are
// processors and as fit in memory.
#pragma once
#include "cli/lzma_codec.h"
#include "cli/posix_threads.h"
#include "core/fast_codec.h"
#include "core/group_compressor.h"

enum ToolEncoder {
  kToolEncoderLiblzma,  // --compress
  kToolEncoderFast,     // --compress=fast
};

// The parts the compressor works with, made before it.
struct ToolCompressorParts {
  LzmaCodec lzma;
  FastCodec fast;
  PosixThreads posixThreads;
};

class LzmaMemberCompressor : private ToolCompressorParts, public GroupCompressor {
 public:
  // `threads` 0: one per processor. `memoryLimit`: the peak to keep under (tests make it
  // small to see fewer encoders at once).
  explicit LzmaMemberCompressor(unsigned threads = 0, const GroupRule& rule = kDefaultGroupRule,
                                uint64_t memoryLimit = kCompressMemoryLimit, ToolEncoder encoder = kToolEncoderLiblzma);
};
