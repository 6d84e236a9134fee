// The core's group decoder against liblzma: every kind of payload and setting the packer
// may use, read in odd pieces, and damaged groups, which it must refuse or read exactly
// as liblzma does, never handing out too much nor reading past the group. Streams through
// liblzma's x86 branch filter are valid LZMA to liblzma but not what the packer writes:
// the decoder refuses them as damaged.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/support/lzma_reference.h"
#include "support/test_files.h"

namespace {

struct RoundTrip {
  const char* name;
  std::vector<uint8_t> original;
  GroupOptions options;
  std::vector<size_t> chunks;  // read sizes to try
};

GroupOptions With(bool x86, bool endMarker, uint32_t dictionary, unsigned preset = 6) {
  GroupOptions options;
  options.x86 = x86, options.endMarker = endMarker, options.dictionary = dictionary, options.preset = preset;
  return options;
}

// A group whose stream liblzma reads back whole, refused by the decoder before it hands
// out a single byte.
void ExpectRefused(const TempFolder& folder, const std::string& name, const std::vector<uint8_t>& group,
                   const std::vector<uint8_t>& original, size_t chunk) {
  std::vector<uint8_t> reference;
  ASSERT_TRUE(ReferenceDecode(group, original.size(), &reference)) << name;
  ASSERT_TRUE(reference == original) << name;
  const DecodeOutcome outcome = DecodeGroupInFile(folder.Join("group"), group, original.size(), chunk);
  EXPECT_EQ(outcome.status, kGroupDecodeDamaged) << name << ", reads of " << chunk;
  EXPECT_EQ(outcome.handedOut, 0u) << name;
  EXPECT_TRUE(outcome.bytes.empty()) << name;
}

// The payload and settings decode exactly without the branch filter; with it (options.x86)
// the same payload's filtered group is refused as well.
void ExpectRoundTrip(const TempFolder& folder, const RoundTrip& c) {
  GroupOptions plain = c.options;
  plain.x86 = false;
  const std::vector<uint8_t> group = EncodeGroup(c.original, plain);
  std::vector<uint8_t> reference;
  ASSERT_TRUE(ReferenceDecode(group, c.original.size(), &reference)) << c.name;
  ASSERT_EQ(reference, c.original) << c.name;
  for (size_t chunk : c.chunks) {
    if (c.options.x86) ExpectRefused(folder, std::string(c.name) + ", filtered", EncodeGroup(c.original, c.options),
                                     c.original, chunk);
    const DecodeOutcome outcome = DecodeGroupInFile(folder.Join("group"), group, c.original.size(), chunk);
    EXPECT_EQ(outcome.status, kGroupDecodeOk) << c.name << ", reads of " << chunk;
    EXPECT_TRUE(outcome.bytes == c.original) << c.name << ", reads of " << chunk;
  }
}

TEST(GroupDecoder, DecodesWhatLiblzmaEncodes) {
  TempFolder folder;
  const std::vector<size_t> odd = {1, 7, 4093, 65537, 1u << 20};
  const std::vector<size_t> one = {65536};
  const RoundTrip cases[] = {
      {"x86 code, converter, end marker", X86CodeBytes(1500000), With(true, true, 1u << 20), {4093, 65536}},
      {"x86 code, converter, no marker", X86CodeBytes(300000), With(true, false, 1u << 16), odd},
      {"x86 code, no converter", X86CodeBytes(300000), With(false, true, 1u << 22), one},
      {"text, dictionary smaller than the text", TextBytes(400000, 3), With(false, true, 4096), odd},
      {"text, dictionary not a power of two", TextBytes(200000, 4), With(false, false, 12345), one},
      {"text, 64 MiB dictionary", TextBytes(100000, 5), With(false, true, 64u << 20), one},
      {"text, dictionary under the floor", TextBytes(100000, 6), With(true, false, 100), one},
      {"noise", NoiseBytes(300000, 7), With(false, true, 1u << 16), {7, 65536}},
      {"noise through the converter", NoiseBytes(300000, 8), With(true, false, 1u << 16), one},
      {"one long run", RunBytes(2000000), With(false, true, 1u << 16), {7, 65536}},
      {"mixed, fastest preset", [] {
         std::vector<uint8_t> v = TextBytes(50000, 9), code = X86CodeBytes(80000), noise = NoiseBytes(9000, 9);
         v.insert(v.end(), code.begin(), code.end());
         v.insert(v.end(), noise.begin(), noise.end());
         v.insert(v.end(), v.begin(), v.begin() + 30000);  // a long match far back
         return v;
       }(), With(true, true, 1u << 18, 0), odd},
      {"empty, end marker", {}, With(false, true, 1u << 16), {1, 65536}},
      {"empty, no marker", {}, With(true, false, 1u << 16), {1, 65536}},
      {"one byte, end marker", {0xE8}, With(true, true, 1u << 16), {1, 65536}},
      {"one byte, no marker", {0x00}, With(false, false, 1u << 16), {1, 65536}},
      {"four bytes through the converter", {0xE8, 1, 2, 3}, With(true, false, 1u << 16), {1}},
      {"five bytes through the converter", {0xE8, 1, 2, 3, 0}, With(true, true, 1u << 16), {1}},
  };
  for (const RoundTrip& c : cases) ExpectRoundTrip(folder, c);
}

TEST(GroupDecoder, DecodesEveryLiteralAndPositionSetting) {
  TempFolder folder;
  std::vector<uint8_t> original = TextBytes(20000, 11);
  const std::vector<uint8_t> code = X86CodeBytes(20000);
  original.insert(original.end(), code.begin(), code.end());
  unsigned variant = 0;
  for (unsigned lc = 0; lc <= 4; ++lc) {
    for (unsigned lp = 0; lc + lp <= 4; ++lp) {
      for (unsigned pb = 0; pb <= 4; ++pb, ++variant) {
        GroupOptions options = With(variant % 2 == 0, variant % 3 != 0, 1u << 16);
        options.lc = lc, options.lp = lp, options.pb = pb;
        const std::string name = "lc " + std::to_string(lc) + " lp " + std::to_string(lp) + " pb " + std::to_string(pb);
        ExpectRoundTrip(folder, {name.c_str(), original, options, {variant % 2 ? size_t(777) : size_t(65536)}});
      }
    }
  }
}

// Headers and sizes that the packer never writes, each refused before or while decoding.
TEST(GroupDecoder, RefusesGroupsThePackerNeverWrites) {
  TempFolder folder;
  const std::vector<uint8_t> original = TextBytes(30000, 12);
  const std::vector<uint8_t> marked = EncodeGroup(original, With(false, true, 1u << 16));
  const std::vector<uint8_t> unmarked = EncodeGroup(original, With(false, false, 1u << 16));
  struct Case {
    const char* name;
    std::vector<uint8_t> group;
    uint64_t originalSize;
  };
  auto changed = [](std::vector<uint8_t> group, size_t at, uint8_t value) {
    group[at] = value;
    return group;
  };
  auto appended = [](std::vector<uint8_t> group, uint8_t value) {
    group.push_back(value);
    return group;
  };
  std::vector<uint8_t> huge = marked;
  const uint32_t tooLarge = kMaxGroupDictionary + 1;
  memcpy(&huge[2], &tooLarge, 4);
  const Case cases[] = {
      {"unknown filter", changed(marked, 0, 2), original.size()},
      {"filter byte 255", changed(marked, 0, 255), original.size()},
      {"the x86 branch filter", EncodeGroup(original, With(true, true, 1u << 16)), original.size()},
      {"filter byte 1 on an unfiltered stream", changed(marked, 0, 1), original.size()},
      {"properties past the last valid", changed(marked, 1, 225), original.size()},
      {"more than four context bits (lc 5)", changed(marked, 1, 5), original.size()},
      {"more than four context bits (lc 1, lp 4)", changed(marked, 1, 4 * 9 + 1), original.size()},
      {"dictionary over the limit", huge, original.size()},
      {"range coder's first byte not zero", changed(marked, kGroupStreamHeaderSize, 1), original.size()},
      {"header only", std::vector<uint8_t>(marked.begin(), marked.begin() + kGroupStreamHeaderSize), 0},
      {"original size one short, end marker", marked, original.size() - 1},
      {"original size one short, no marker", unmarked, original.size() - 1},
      {"original size one over, end marker", marked, original.size() + 1},
      {"original size one over, no marker", unmarked, original.size() + 1},
      {"a byte after the end marker", appended(marked, 0), original.size()},
      {"a byte after the last symbol", appended(unmarked, 0), original.size()},
      {"last byte cut, end marker", std::vector<uint8_t>(marked.begin(), marked.end() - 1), original.size()},
      {"last byte cut, no marker", std::vector<uint8_t>(unmarked.begin(), unmarked.end() - 1), original.size()},
      {"cut in half", std::vector<uint8_t>(marked.begin(), marked.begin() + marked.size() / 2), original.size()},
  };
  for (const Case& c : cases) {
    const DecodeOutcome outcome = DecodeGroupInFile(folder.Join("group"), c.group, c.originalSize, 4096);
    EXPECT_EQ(outcome.status, kGroupDecodeDamaged) << c.name;
    EXPECT_LE(outcome.handedOut, c.originalSize) << c.name;
    // Nothing that is not the original's own first bytes ever comes out.
    EXPECT_EQ(0, memcmp(outcome.bytes.data(), original.data(), std::min(outcome.bytes.size(), original.size())))
        << c.name;
  }
}

// The group's recorded size cut short while its real bytes follow in the file: a decoder
// that read past its range would find them and succeed.
TEST(GroupDecoder, StopsAtTheRecordedSizeWhenTheStreamGoesOn) {
  TempFolder folder;
  const std::vector<uint8_t> original = X86CodeBytes(200000);
  for (bool endMarker : {true, false}) {
    const std::vector<uint8_t> group = EncodeGroup(original, With(false, endMarker, 1u << 16));
    for (size_t cut : {size_t(1), size_t(5), size_t(40), group.size() / 2, group.size() - 12}) {
      const std::vector<uint8_t> head(group.begin(), group.end() - cut), rest(group.end() - cut, group.end());
      const DecodeOutcome outcome = DecodeGroupInFile(folder.Join("group"), head, original.size(), 65536, 100, rest);
      EXPECT_EQ(outcome.status, kGroupDecodeDamaged) << "cut " << cut << (endMarker ? ", end marker" : "");
      EXPECT_LT(outcome.handedOut, original.size());
    }
  }
}

// A few hundred damaged groups here; scripts/fuzz-decoder.sh runs far more under sanitizers.
TEST(GroupDecoder, RefusesOrMatchesLiblzmaOnDamagedGroups) {
  TempFolder folder;
  const std::vector<SampleGroup> samples = SampleGroups();
  unsigned accepted = 0;
  for (uint32_t seed = 0; seed < 480; ++seed) {
    const DamagedGroup damaged = Damage(samples[seed % samples.size()], seed);
    const DamageVerdict verdict = JudgeDamagedGroup(folder.Join("group"), damaged, seed % 2 ? 4096 : 13);
    EXPECT_EQ(verdict.fault, "") << "seed " << seed;
    accepted += verdict.decoderAccepted;
  }
  // Some damage leaves a valid stream (a flipped bit in a probability that is never
  // wrong, a size that the marker does not contradict): those must match liblzma too.
  EXPECT_GT(accepted, 0u);
}

}  // namespace
