// Packages laid out by hand, without the writer: the reference for what the writer must
// produce, and layouts that no writer makes.
#pragma once
#include <string>
#include <vector>

struct HandMember {
  std::string name;
  std::vector<char> bytes;
};
// Module image, members, a zero-padded directory and the trailer; with `checksums`, each
// entry also gets the checksum record that the writer puts there (values from the core's
// checksum, which has tests of its own).
std::vector<char> LayOutPackage(const std::vector<char>& module, const std::vector<HandMember>& members,
                                bool checksums = false);
