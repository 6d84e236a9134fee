// Groups made by the core's own LZMA encoder, laid out as the packer lays out a group
// (filter byte, properties, dictionary, raw LZMA), for holding its streams against the
// core's decoder and liblzma's.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

struct OwnEncoding {
  std::vector<uint8_t> group;
  bool accepted = false;  // Start, every Write and Finish succeeded
};

// Feeds `original` in pieces whose sizes cycle through `pieces` (the whole at once when
// empty); `properties` is (pb * 5 + lp) * 9 + lc.
OwnEncoding OwnEncodeGroup(const std::vector<uint8_t>& original, uint8_t properties, uint32_t dictionary,
                           const std::vector<size_t>& pieces = {});
