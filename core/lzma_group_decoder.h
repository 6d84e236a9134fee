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
                          uint64_t originalSize);
  // Hands out the next original bytes, at most `capacity`; *produced is 0 only once all
  // `originalSize` bytes have been handed out (then the stream has been checked to end
  // there: an end marker or nothing, no further symbol).
  GroupDecodeStatus Read(char* out, size_t capacity, size_t* produced);
  // Original bytes handed out so far.
  uint64_t position() const;

 private:
  struct State;
  HeapObject<State> state_;
};
