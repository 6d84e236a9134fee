// One large compressed package for the tests that press a 32-bit program against the end
// of its address space: the cross build's Lodkin.exe, a stand-in setup program and three
// members of 200 MiB and more, each a group of its own with the largest dictionary a
// package may declare. Made once per test process (it takes some seconds) and removed when
// the process ends.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

struct PressureMember {
  std::string name;
  uint64_t size;
  uint32_t checksum;  // of its bytes, as the core counts it
};

struct PressurePackage {
  std::string path;   // empty when it could not be made (error says why)
  std::string error;
  std::vector<PressureMember> members;
};

// `bin` is the cross build's folder of programs (Lodkin.exe, stand_in_setup.exe).
const PressurePackage& SharedPressurePackage(const std::string& bin);

// Which members in `folder` are missing or differ from the package's; empty when all match.
std::string CompareWithMembers(const PressurePackage& package, const std::string& folder);
