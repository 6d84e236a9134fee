// Many inputs for the group decoder, built under AddressSanitizer and
// UndefinedBehaviorSanitizer by scripts/fuzz-decoder.sh (outside the default test run):
// fresh groups of random payloads and settings, which must decode exactly (or, through the
// x86 branch filter, be refused before a byte comes out), and damaged copies of them and of
// the fixed samples, which must be refused or match liblzma.
//   group_decoder_fuzz FIRST_SEED COUNT FOLDER
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "host/support/lzma_reference.h"

namespace {

std::vector<uint8_t> Payload(uint32_t seed) {
  const std::vector<uint8_t> noise = NoiseBytes(8, seed);
  const size_t length = (noise[0] | noise[1] << 8) % (noise[2] % 4 == 0 ? 70000 : 3000);
  switch (noise[3] % 5) {
    case 0: return NoiseBytes(length, seed);
    case 1: return TextBytes(length, seed);
    case 2: return RunBytes(length);
    default: {
      // Code from somewhere in the DLL, with a text tail so that literals and matches mix.
      std::vector<uint8_t> code = X86CodeBytes(length + (noise[4] << 4));
      code.erase(code.begin(), code.begin() + (noise[4] << 4));
      const std::vector<uint8_t> text = TextBytes(noise[5] * 8u, seed);
      code.insert(code.end(), text.begin(), text.end());
      return code;
    }
  }
}

GroupOptions Options(uint32_t seed) {
  const std::vector<uint8_t> noise = NoiseBytes(8, seed ^ 0x9E3779B9u);
  GroupOptions options;
  options.x86 = noise[0] & 1;
  options.endMarker = noise[0] & 2;
  static const uint32_t kDictionaries[] = {4096, 5000, 1u << 16, 1u << 20, 64u << 20};
  options.dictionary = kDictionaries[noise[1] % 5];
  options.lc = noise[2] % 5;
  options.lp = noise[3] % (5 - options.lc);
  options.pb = noise[4] % 5;
  options.preset = noise[5] % 10;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: group_decoder_fuzz FIRST_SEED COUNT FOLDER\n");
    return 2;
  }
  const uint32_t first = static_cast<uint32_t>(strtoul(argv[1], nullptr, 10));
  const uint32_t count = static_cast<uint32_t>(strtoul(argv[2], nullptr, 10));
  const std::string path = std::string(argv[3]) + "/group-" + argv[1];
  std::vector<SampleGroup> samples = SampleGroups();
  const size_t fixedSamples = samples.size();
  unsigned fresh = 0, damaged = 0, decoderAccepted = 0, bothAccepted = 0, faults = 0;
  for (uint32_t seed = first; seed != first + count; ++seed) {
    std::string fault;
    if (seed % 16 == 0) {
      SampleGroup sample{Payload(seed), {}};
      sample.group = EncodeGroup(sample.original, Options(seed));
      const DecodeOutcome outcome = DecodeGroupInFile(path, sample.group, sample.original.size(), 1 + seed % 70000);
      if (sample.group[0] != 0) {
        if (outcome.status != kGroupDecodeDamaged || outcome.handedOut != 0) fault = "a filtered group was not refused";
      } else if (outcome.status != kGroupDecodeOk || outcome.bytes != sample.original) {
        fault = "a valid group did not decode";
      }
      ++fresh;
      samples.push_back(sample);  // damaged in the rounds that follow
      if (samples.size() > fixedSamples + 32) samples.erase(samples.begin() + fixedSamples);
    } else {
      SampleGroup current = samples[seed % samples.size()];
      DamagedGroup hurt{current.group, current.original.size()};
      for (uint32_t round = 0; round <= seed % 3; ++round) {
        hurt = Damage(current, seed * 3 + round);
        if (hurt.group.empty()) break;
        current.group = hurt.group;
        current.original.resize(hurt.originalSize);
      }
      const DamageVerdict verdict = JudgeDamagedGroup(path, hurt, seed % 5 == 0 ? 1 + seed % 9 : 4096);
      fault = verdict.fault;
      ++damaged;
      decoderAccepted += verdict.decoderAccepted;
      bothAccepted += verdict.decoderAccepted && verdict.referenceAccepted;
    }
    if (!fault.empty()) {
      ++faults;
      fprintf(stderr, "seed %u: %s\n", seed, fault.c_str());
    }
  }
  printf("seeds %u..%u: %u fresh groups, %u damaged groups (%u accepted, %u of them matching liblzma), %u faults\n",
         first, first + count - 1, fresh, damaged, decoderAccepted, bothAccepted, faults);
  return faults == 0 ? 0 : 1;
}
