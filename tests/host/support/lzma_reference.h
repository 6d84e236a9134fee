// Groups of compressed packages made and read by liblzma, the reference the core's own
// decoder is held against, and the core's decoder run over a group placed in a file.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "core/lzma_group_decoder.h"

struct GroupOptions {
  bool x86 = false;        // liblzma's x86 branch filter before LZMA: filter byte 1, which the decoder refuses
  bool endMarker = true;   // plain LZMA1 writes one; the "ext" variant leaves it out
  uint32_t dictionary = 1u << 20;  // as declared in the header
  unsigned lc = 3, lp = 0, pb = 2;
  unsigned preset = 6;
};

// The group as the packer lays it out: filter byte, properties, dictionary, raw LZMA.
std::vector<uint8_t> EncodeGroup(const std::vector<uint8_t>& original, const GroupOptions& options);

// liblzma's reading of a group (its header included) as `originalSize` bytes: true when it
// accepts the whole group, with the bytes in *out.
bool ReferenceDecode(const std::vector<uint8_t>& group, uint64_t originalSize, std::vector<uint8_t>* out);

struct DecodeOutcome {
  GroupDecodeStatus status = kGroupDecodeOk;  // of Begin, or the first failing Read
  std::vector<uint8_t> bytes;                 // everything handed out
  uint64_t handedOut = 0;                     // the sum of *produced over all reads
};

// Writes `group` to `path` after `before` other bytes and followed by `after` (by default
// nothing, so that a read past the group fails), then decodes it with GroupDecoder in reads
// of `chunk` bytes; reading stops at the first error, or once more than originalSize bytes
// came out (which would be a fault).
DecodeOutcome DecodeGroupInFile(const std::string& path, const std::vector<uint8_t>& group, uint64_t originalSize,
                                size_t chunk = 65536, size_t before = 3, const std::vector<uint8_t>& after = {});

// Test payloads: fixed-seed noise, word text, a slice of an i386 Windows DLL of the
// installed Wine (real x86 code), and runs of one byte.
std::vector<uint8_t> NoiseBytes(size_t length, uint32_t seed);
std::vector<uint8_t> TextBytes(size_t length, uint32_t seed);
std::vector<uint8_t> X86CodeBytes(size_t length);
std::vector<uint8_t> RunBytes(size_t length);

// Valid groups to damage: small payloads of each kind, with and without the end marker,
// several literal/position settings and a small dictionary; none filtered, so that damage
// reaches the decoder's LZMA (a changed header byte 0 stands for a filtered group).
struct SampleGroup {
  std::vector<uint8_t> original;
  std::vector<uint8_t> group;
};
std::vector<SampleGroup> SampleGroups();

// A damaged copy of `sample`: bits flipped, bytes replaced, inserted or deleted, the
// group cut short or lengthened, header bytes changed, or the original size off by a few.
struct DamagedGroup {
  std::vector<uint8_t> group;
  uint64_t originalSize;
};
DamagedGroup Damage(const SampleGroup& sample, uint32_t seed);

struct DamageVerdict {
  std::string fault;  // empty when the decoder kept every promise
  bool decoderAccepted = false;
  bool referenceAccepted = false;
};
// The decoder either refuses the group or hands out exactly what liblzma decodes from it;
// it never hands out more than originalSize, never reads past the group (which sits at the
// file's end), and never accepts a group whose filter byte is not 0.
DamageVerdict JudgeDamagedGroup(const std::string& path, const DamagedGroup& damaged, size_t chunk);
