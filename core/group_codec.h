// The encoder behind a compressed pack, as the plan and the writer see it: the groups,
// the copies, the small-file rule and the directory's table are the core's, the same
// whichever encoder makes the streams. The tool has liblzma's (cli/lzma_codec.h); the
// core has its own (core/fast_codec.h), which the window uses too.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/growable_block.h"
#include "core/member_compressor.h"

// One group's encoder: the group's bytes go in piece by piece, and the stream comes out
// to a sink as it is made. How the bytes are cut into pieces never changes the stream.
class GroupEncoder {
 public:
  virtual CompressStatus Encode(const uint8_t* bytes, size_t length, ByteSink& out) = 0;
  // Ends the stream.
  virtual CompressStatus Finish(ByteSink& out) = 0;

 protected:
  ~GroupEncoder() {}
};

class GroupCodec {
 public:
  // The dictionary of a group of `originalSize` bytes: it depends on the group alone,
  // so that the bytes never depend on the machine.
  virtual uint32_t GroupDictionary(uint64_t originalSize) const = 0;
  // The properties byte of its streams ((pb * 5 + lp) * 9 + lc).
  virtual uint8_t GroupProperties() const = 0;
  // Bytes an encoder with that dictionary allocates; UINT64_MAX when not known.
  virtual uint64_t EncoderMemory(uint32_t dictionary) const = 0;
  // A group's encoder; null without memory. Encoders may work on several threads at once.
  virtual GroupEncoder* StartGroup(uint32_t dictionary) = 0;
  virtual void EndGroup(GroupEncoder* encoder) = 0;
  // A quick trial compression of a large file's samples, for the small-file rule: the
  // stream's length in *produced, 0 when it did not fit into `capacity` bytes.
  virtual int TrialLength(const uint8_t* bytes, size_t length, uint8_t* out, size_t capacity,
                          size_t* produced) = 0;
  // The package's directory as one stream, laid out as a group's (header included).
  virtual CompressStatus EncodeDirectory(const char* entries, size_t length, GrowableBlock<char>& stream,
                                         size_t* streamLength) = 0;

 protected:
  ~GroupCodec() {}
};

// A group's or the table's stream header: no branch converter, the properties byte, the
// dictionary's size, as the group decoder reads it.
void PutStreamHeader(uint8_t* header, uint8_t properties, uint32_t dictionary);
