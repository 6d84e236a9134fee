// Undoes the x86 branch converter: the packer turned the relative targets of CALL (E8)
// and JMP (E9) into absolute ones, which repeat across code and so compress better.
#pragma once
#include <stddef.h>
#include <stdint.h>

class X86BranchDecoder {
 public:
  X86BranchDecoder() : position_(0), lastBranch_(static_cast<uint32_t>(-5)), recent_(0) {}

  // Converts `data` in place, where data[0] is byte `position()` of the stream. Returns
  // how many leading bytes are final: the last few wait for the bytes that follow them,
  // and the caller hands them in again at the front of the next call (at the stream's
  // end they stay as they are). Always advances position() by the returned count.
  size_t Convert(uint8_t* data, size_t length);
  uint32_t position() const { return position_; }

 private:
  uint32_t position_;    // stream position of data[0], modulo 2^32
  uint32_t lastBranch_;  // stream position of the last E8/E9 byte looked at
  uint32_t recent_;      // which of the few bytes before it were E8/E9 candidates
};
