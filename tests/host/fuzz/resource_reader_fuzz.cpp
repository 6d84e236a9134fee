// Many damaged programs and icon files for the resource rewriter, built under
// AddressSanitizer and UndefinedBehaviorSanitizer by scripts/fuzz-resources.sh (outside
// the default test run): bytes of the headers, the resource section and the icon file
// flipped or set to extreme values, files cut short. Every input must be refused or
// branded; a branded program must read back as a whole program whose resources can be
// rewritten again. A sanitizer stops the run at the first read or write out of bounds.
//   resource_reader_fuzz PROGRAM ICON FIRST_SEED COUNT
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "core/program_branding.h"

namespace {

std::vector<unsigned char> ReadAll(const char* path) {
  std::vector<unsigned char> bytes;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return bytes;
  unsigned char block[65536];
  for (size_t got; (got = fread(block, 1, sizeof(block), file)) > 0;) bytes.insert(bytes.end(), block, block + got);
  fclose(file);
  return bytes;
}

// A small deterministic generator, so that a failing seed can be run again alone.
struct Noise {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

// Damages `bytes` in [from, to): single bytes, or whole 32-bit fields set to values that
// make offsets and counts point far away; sometimes the file is cut short.
void Damage(std::vector<unsigned char>& bytes, size_t from, size_t to, Noise& noise) {
  if (bytes.empty() || from >= to) return;
  static const uint32_t kExtremes[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFF, 0x10000, 0x1000};
  const uint32_t changes = 1 + noise.Next() % 12;
  for (uint32_t i = 0; i < changes; ++i) {
    const size_t at = from + noise.Next() % (to - from);
    if (noise.Next() % 3 == 0 && at + 4 <= bytes.size()) {
      const uint32_t value = kExtremes[noise.Next() % 8];
      memcpy(&bytes[at], &value, 4);
    } else {
      bytes[at] = static_cast<unsigned char>(noise.Next());
    }
  }
  if (noise.Next() % 16 == 0) bytes.resize(from + noise.Next() % (bytes.size() - from + 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: resource_reader_fuzz PROGRAM ICON FIRST_SEED COUNT\n");
    return 2;
  }
  const std::vector<unsigned char> program = ReadAll(argv[1]), icon = ReadAll(argv[2]);
  const uint32_t first = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
  const uint32_t count = static_cast<uint32_t>(strtoul(argv[4], nullptr, 10));
  if (program.size() < 4096 || icon.empty()) return 2;
  static const unsigned char kText[] = {'A', 0, 'c', 0, 'm', 0, 'e', 0, 0, 0};
  uint32_t branded = 0, faults = 0;
  for (uint32_t seed = first; seed < first + count; ++seed) {
    Noise noise = {seed * 2654435761u + 1};
    std::vector<unsigned char> stub = program, file = icon;
    switch (noise.Next() % 4) {
      case 0: Damage(stub, 0, 1024, noise); break;                                   // the headers
      case 1: Damage(stub, stub.size() - stub.size() / 8, stub.size(), noise); break;  // resources, relocations
      case 2: Damage(file, 0, file.size(), noise); break;                              // the icon file
      default: Damage(stub, 0, stub.size(), noise); Damage(file, 0, file.size(), noise);
    }
    ProgramBrand brand;
    memset(&brand, 0, sizeof(brand));
    brand.icon = file.data();
    brand.iconLength = file.size();
    brand.description = {kText, 4};
    brand.company = {kText, 4};
    brand.hasVersion = 1;
    brand.version[0] = static_cast<uint16_t>(seed);
    ProgramBranding branding;
    if (branding.Apply(stub.data(), stub.size(), brand) != kBrandDone) continue;
    ++branded;
    // What was written must read back as a whole program whose resources rewrite again.
    const std::vector<unsigned char> made(branding.bytes(), branding.bytes() + branding.length());
    ProgramBranding again;
    brand.icon = nullptr;
    if (again.Apply(made.data(), made.size(), brand) != kBrandDone) {
      fprintf(stderr, "seed %u: the branded program does not read back\n", seed);
      ++faults;
    }
  }
  printf("seeds %u to %u: %u branded, %u refused, %u faults\n", first, first + count - 1, branded,
         count - branded, faults);
  return faults == 0 ? 0 : 1;
}
