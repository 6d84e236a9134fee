// The core's own LZMA encoder: its streams decode to the input, by the core's decoder and
// by liblzma's raw LZMA1 decoder with the same properties, whatever the input, the
// properties, the dictionary and the sizes of the pieces it is fed in; and the same input
// always makes the same bytes.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/lzma_encoder.h"
#include "host/support/lzma_reference.h"
#include "host/support/own_encoder.h"
#include "support/file_bytes.h"
#include "support/seeded_bytes.h"
#include "support/test_files.h"

namespace {

uint8_t Properties(unsigned lc, unsigned lp, unsigned pb) { return static_cast<uint8_t>((pb * 5 + lp) * 9 + lc); }

std::vector<uint8_t> Join(std::vector<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Segments of noise, runs, words and copies of earlier bytes from near and far, so that
// every kind of symbol and distance comes up.
std::vector<uint8_t> MixedBytes(size_t length, uint32_t seed) {
  SeededNumbers numbers(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < length) {
    const size_t part = 1 + numbers.Below(numbers.Below(4) ? 300 : 40000);
    const uint32_t kind = numbers.Below(5);
    if (kind == 0 || bytes.size() < 16) {
      const std::vector<uint8_t> noise = NoiseBytes(part, numbers.Next());
      bytes.insert(bytes.end(), noise.begin(), noise.end());
    } else if (kind == 1) {
      bytes.insert(bytes.end(), part, static_cast<uint8_t>(numbers.Next()));
    } else if (kind == 2) {
      const std::vector<uint8_t> text = TextBytes(part, numbers.Next());
      bytes.insert(bytes.end(), text.begin(), text.end());
    } else {
      const size_t back = 1 + numbers.Below(kind == 3 ? 64 : static_cast<uint32_t>(bytes.size()));
      for (size_t k = 0; k < part; ++k) bytes.push_back(bytes[bytes.size() - back]);
    }
  }
  bytes.resize(length);
  return bytes;
}

struct EncoderCase {
  std::string name;
  std::vector<uint8_t> original;
  uint8_t properties;
  uint32_t dictionary;
  std::vector<size_t> pieces;
};

std::vector<EncoderCase> Cases() {
  const std::vector<uint8_t> noise = NoiseBytes(100000, 7);
  return {
      {"empty", {}, Properties(3, 0, 0), 4096, {}},
      {"one byte", {0x41}, Properties(3, 0, 2), 1, {}},
      {"incompressible", NoiseBytes(300000, 3), Properties(3, 0, 0), 1u << 20, {1, 4093, 65536}},
      {"one byte repeated", RunBytes(1u << 20), Properties(3, 0, 0), 1u << 20, {777777}},
      {"words, a small dictionary", TextBytes(400000, 5), Properties(3, 0, 0), 4096, {1, 7, 4093, 65536}},
      {"machine code", X86CodeBytes(600000), Properties(0, 2, 2), 1u << 20, {100003}},
      {"sixteen position states", TextBytes(200000, 9), Properties(4, 0, 4), 65536, {333}},
      {"literal positions", MixedBytes(300000, 4), Properties(1, 3, 1), 1u << 18, {5000}},
      {"noise repeated from far", Join({noise, TextBytes(900000, 2), noise}), Properties(3, 0, 0), 1u << 21,
       {65536}},
  };
}

// The group decodes to the original through the core's decoder (read in pieces of `chunk`)
// and through liblzma, and the same input fed whole makes the same bytes.
void ExpectRoundTrip(const TempFolder& folder, const EncoderCase& c, size_t chunk) {
  const OwnEncoding encoded = OwnEncodeGroup(c.original, c.properties, c.dictionary, c.pieces);
  ASSERT_TRUE(encoded.accepted) << c.name;
  const DecodeOutcome ours = DecodeGroupInFile(folder.Join("group"), encoded.group, c.original.size(), chunk);
  EXPECT_EQ(ours.status, kGroupDecodeOk) << c.name;
  EXPECT_TRUE(ours.bytes == c.original) << c.name;
  std::vector<uint8_t> reference;
  EXPECT_TRUE(ReferenceDecode(encoded.group, c.original.size(), &reference)) << c.name;
  EXPECT_TRUE(reference == c.original) << c.name;
  EXPECT_TRUE(OwnEncodeGroup(c.original, c.properties, c.dictionary).group == encoded.group) << c.name;
}

TEST(LzmaEncoder, RoundTripsEveryKindOfInput) {
  TempFolder folder;
  for (const EncoderCase& c : Cases()) ExpectRoundTrip(folder, c, 65536);
}

TEST(LzmaEncoder, RoundTripsSeededMixturesWithSeededSettings) {
  TempFolder folder;
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    SeededNumbers numbers(seed, 99);
    const unsigned lc = numbers.Below(5), lp = numbers.Below(5 - lc), pb = numbers.Below(5);
    const uint32_t dictionary = 1 + numbers.Below(1u << (8 + numbers.Below(12)));
    const std::vector<size_t> pieces = {1 + numbers.Below(70000), 1 + numbers.Below(50)};
    const EncoderCase c{"seed " + std::to_string(seed), MixedBytes(numbers.Below(400000), seed),
                        Properties(lc, lp, pb), dictionary, pieces};
    ExpectRoundTrip(folder, c, 1 + numbers.Below(100000));
  }
}

// What the encoder makes of a repeated byte and of noise: almost nothing, and hardly more
// than the noise.
TEST(LzmaEncoder, ShrinksRepeatsAndBarelyGrowsNoise) {
  EXPECT_LT(OwnEncodeGroup(RunBytes(1u << 20), Properties(3, 0, 0), 1u << 20).group.size(), 400u);
  const std::vector<uint8_t> noise = NoiseBytes(1u << 20, 11);
  EXPECT_LT(OwnEncodeGroup(noise, Properties(3, 0, 0), 1u << 20).group.size(), noise.size() + noise.size() / 50);
}

int RefuseSecondBlock(void* context, const uint8_t*, size_t) { return ++*static_cast<int*>(context) < 2; }

TEST(LzmaEncoder, StopsWhenTheSinkRefusesAndRefusesBadProperties) {
  LzmaEncoder encoder;
  int blocks = 0, noMemory = 0;
  ASSERT_TRUE(encoder.Start(Properties(3, 0, 0), 1u << 20, RefuseSecondBlock, &blocks, &noMemory));
  const std::vector<uint8_t> noise = NoiseBytes(1u << 20, 5);
  const int written = encoder.Write(noise.data(), noise.size());
  EXPECT_FALSE(written && encoder.Finish());
  EXPECT_EQ(blocks, 2);
  for (const uint8_t properties : {Properties(3, 2, 0), Properties(0, 0, 5), uint8_t{225}}) {
    EXPECT_FALSE(encoder.Start(properties, 1u << 20, RefuseSecondBlock, &blocks, &noMemory));
    EXPECT_EQ(noMemory, 0);
  }
}

// Every file below LODKIN_ENCODER_CORPUS, each as a group of its own: too slow for the
// default run (a benchmark corpus takes minutes), so it runs only when the folder is named.
void RoundTripFolder(const TempFolder& folder, const std::string& path, size_t* files) {
  DIR* listing = opendir(path.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name, full = path + "/" + name;
    struct stat about;
    if (name == "." || name == ".." || lstat(full.c_str(), &about) != 0) continue;
    if (S_ISDIR(about.st_mode)) RoundTripFolder(folder, full, files);
    if (!S_ISREG(about.st_mode)) continue;
    const std::vector<char> bytes = ReadFileBytes(full);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    ExpectRoundTrip(folder, {full, {bytes.begin(), bytes.end()}, Properties(3, 0, 0), size ? size : 1, {65536}}, 65536);
    ++*files;
  }
  closedir(listing);
}

TEST(LzmaEncoder, RoundTripsEveryFileOfACorpus) {
  const char* corpus = getenv("LODKIN_ENCODER_CORPUS");
  if (corpus == nullptr) GTEST_SKIP() << "LODKIN_ENCODER_CORPUS names no folder";
  TempFolder folder;
  size_t files = 0;
  RoundTripFolder(folder, corpus, &files);
  EXPECT_GT(files, 0u);
  printf("%zu files round-tripped\n", files);
}

}  // namespace
