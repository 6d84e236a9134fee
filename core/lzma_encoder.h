// Raw LZMA encoding, the stream that LzmaDecoder reads: input fed in pieces (the files of
// a group in turn), output handed out in blocks to a sink, closed by an end marker. A
// match finder over buckets of recent positions and the lazy parser of fast modes: the
// longest match unless the next position has a clearly better one, the last four
// distances tried first, and a short rep only where its price beats the literal's.
//
// The bytes depend on the input and the properties alone: not on the sizes of the pieces,
// the machine, the time or where anything lies in memory.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/heap_object.h"
#include "core/lzma_match_finder.h"
#include "core/lzma_range_encoder.h"

struct LzmaEncoderState;

class LzmaEncoder {
 public:
  LzmaEncoder();
  ~LzmaEncoder();
  LzmaEncoder(const LzmaEncoder&) = delete;
  LzmaEncoder& operator=(const LzmaEncoder&) = delete;

  // Bytes that Start allocates for `dictionary`: the window (1.25 times the dictionary
  // and 256 KiB), the buckets (2 bytes for every byte of the dictionary, at most
  // 16 MiB), 1.25 MiB of short tables and 150 KiB of state: 57.6 MiB for 32 MiB of
  // dictionary, 37.6 MiB for 16 MiB, 27.6 MiB for 8 MiB.
  static uint64_t MemoryFor(uint32_t dictionary);

  // `properties` is the stream header's byte, (pb * 5 + lp) * 9 + lc with lc + lp <= 4;
  // distances reach at most `dictionary` bytes back (the header's dictionary size). 0 when
  // the properties are out of range or, with *noMemory set, when memory ran out.
  int Start(uint8_t properties, uint32_t dictionary, LzmaSink sink, void* context, int* noMemory);
  // Write and Finish only after Start returned 1 (Start again begins a new stream).
  // Takes `length` more bytes. 0 when the sink refused a block: the stream is lost.
  int Write(const uint8_t* bytes, size_t length);
  // Codes what is left, then the end marker, and hands out the last bytes. 0 as Write.
  int Finish();

  // Bytes taken so far, for progress (the caller may stop between pieces).
  uint64_t consumed() const { return consumed_; }

 private:
  int Encode(size_t keep);

  HeapObject<LzmaEncoderState> state_;
  LzmaMatchFinder finder_;
  uint64_t consumed_;
};
