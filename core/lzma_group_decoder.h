// Decoding one solid group of a compressed package: the bytes of consecutive members,
// compressed together as one stream. Written for hostile input: it never reads outside
// the group's bytes, never hands out more than the group's recorded original size, never
// allocates a dictionary larger than kMaxGroupDictionary, and always makes progress.
//
// The stream of a group, as it lies in the package:
//   byte 0      filter: always 0 (none); any other value makes the group damaged
//   byte 1      LZMA properties: (pb * 5 + lp) * 9 + lc, with lc + lp <= 4, pb <= 4
//   bytes 2..5  dictionary size, little-endian
//   bytes 6..   raw LZMA data; the original size is known from the directory, and an
//               end marker may follow the last byte
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/binary_file.h"
#include "core/growable_block.h"
#include "core/heap_object.h"

const unsigned kGroupStreamHeaderSize = 6;
const uint32_t kMaxGroupDictionary = 64u << 20;

enum GroupDecodeStatus {
  kGroupDecodeOk = 0,
  kGroupDecodeDamaged,   // the stream or its header is not what the packer writes
  kGroupDecodeNoMemory,  // the dictionary could not be had
  kGroupDecodeReadFailed,  // the package could not be read
};

class GroupDecoder {
 public:
  GroupDecoder();
  ~GroupDecoder();
  GroupDecoder(const GroupDecoder&) = delete;
  GroupDecoder& operator=(const GroupDecoder&) = delete;

  // Starts on the group whose `compressedSize` bytes begin at `offset` of `package` and
  // decode to `originalSize` bytes. Reads through ReadAt only, so the file's position is
  // left to its other users. The dictionary takes at most min(its size, originalSize).
  GroupDecodeStatus Begin(BinaryFile& package, uint64_t offset, uint64_t compressedSize,
                          uint64_t originalSize) {
    return BeginAt(&package, nullptr, offset, compressedSize, originalSize);
  }
  // The same for a group whose `compressedSize` bytes are held in memory at `stream`
  // (kept there until the decoder is done with them).
  GroupDecodeStatus Begin(const uint8_t* stream, uint64_t compressedSize, uint64_t originalSize) {
    return BeginAt(nullptr, stream, 0, compressedSize, originalSize);
  }
  // The same for a group that was decoded whole elsewhere: hands out the `size` bytes of
  // `decoded`, which it takes over (leaving `decoded` what the decoder held before).
  GroupDecodeStatus Begin(GrowableBlock<char>& decoded, size_t size);
  // Hands out the next original bytes, at most `capacity`; *produced is 0 only once all
  // `originalSize` bytes have been handed out (then the stream has been checked to end
  // there: an end marker or nothing, no further symbol).
  GroupDecodeStatus Read(char* out, size_t capacity, size_t* produced);
  // Hands out all the `size` original bytes to `out` and checks that the stream ends with
  // them: damaged when it ends before or goes on after, and when *stop is set on the way.
  GroupDecodeStatus ReadAll(char* out, size_t size, const int* stop);

 private:
  GroupDecodeStatus BeginAt(BinaryFile* package, const uint8_t* memory, uint64_t offset, uint64_t compressedSize,
                            uint64_t originalSize);
  struct State;
  HeapObject<State> state_;
  GrowableBlock<char> decoded_;  // a group decoded elsewhere, while it is handed out
};
