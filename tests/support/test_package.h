// Packages for tests, written by the product's own writer.
#pragma once
#include <string>
#include <vector>

#include "core/package_reader.h"

struct TestMember {
  std::string name;          // stored in the directory
  std::vector<char> bytes;   // its content
};

// Writes module image + members + directory + trailer to `packagePath`; the members are
// first written as files into `scratchFolder`. Returns the package's bytes.
std::vector<char> WriteTestPackage(const std::string& packagePath, const std::string& modulePath,
                                   const std::vector<TestMember>& members,
                                   const std::string& scratchFolder);

// Copies member `index` of an open package into a new file at `path`; 1 on success.
int ExtractMemberTo(PackageReader& reader, int index, const std::string& path);
