#include "support/package_damage.h"

#include <string.h>

#include "support/byte_poke.h"
#include "support/seeded_bytes.h"

std::vector<PackageDamage> DamagePackage(const std::vector<char>& valid, int count, uint32_t seed) {
  const size_t directory = valid.size() - 20 - static_cast<size_t>(count) * 268;
  const uint32_t kEdges[] = {0u, 1u, 267u, 268u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu,
                             static_cast<uint32_t>(valid.size()), static_cast<uint32_t>(valid.size() - 1),
                             static_cast<uint32_t>(directory), static_cast<uint32_t>(directory + 1)};
  std::vector<PackageDamage> damages;

  for (size_t cut = 1; cut <= 1200 && cut < valid.size(); ++cut) {
    damages.push_back({"cut " + std::to_string(cut), std::vector<char>(valid.begin(), valid.end() - cut)});
  }
  for (size_t keep = 0; keep < valid.size(); keep += 997) {
    damages.push_back({"keep " + std::to_string(keep), std::vector<char>(valid.begin(), valid.begin() + keep)});
  }
  SeededNumbers noise(seed);
  for (int i = 0; i < 2000; ++i) {
    const size_t at = directory + noise.Next() % (valid.size() - directory);
    std::vector<char> bytes = valid;
    bytes[at] ^= static_cast<char>((noise.Next() >> 24) | 1);
    damages.push_back({"flip at " + std::to_string(at), bytes});
  }
  for (uint32_t edge : kEdges) {
    std::vector<char> bytes = valid;
    PutU32(bytes, bytes.size() - 4, edge);
    damages.push_back({"count " + std::to_string(edge), bytes});
    for (int entry = 0; entry < count; ++entry) {
      for (size_t field : {260u, 264u}) {
        bytes = valid;
        PutU32(bytes, directory + entry * 268 + field, edge);
        damages.push_back({"entry " + std::to_string(entry) + " field " + std::to_string(field) + " = " +
                               std::to_string(edge),
                           bytes});
      }
    }
  }
  const char* kNames[] = {"", ".", "..", "..\\..\\evil.exe", "a/b", "C:x", "\\abs", "sub\\x.txt", "ok.txt"};
  for (int entry = 0; entry < count; ++entry) {
    for (const char* name : kNames) {
      std::vector<char> bytes = valid;
      PutEntryName(bytes, directory + entry * 268, name);
      damages.push_back({"entry " + std::to_string(entry) + " name '" + name + "'", bytes});
    }
    std::vector<char> bytes = valid;
    memset(&bytes[directory + entry * 268], 'A', 260);
    damages.push_back({"entry " + std::to_string(entry) + " unterminated name", bytes});
  }
  std::vector<char> slack = valid;
  slack.insert(slack.end(), 128, 0);
  damages.push_back({"slack 128", slack});
  return damages;
}
