// Whole-file reads and writes for the tests of both sides (the Windows tests under Wine
// and the native ones): plain C runtime calls that build for either.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// Each throws std::runtime_error when the file cannot be had.
void WriteFileBytes(const std::string& path, const std::vector<char>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
std::vector<char> ReadFileBytes(const std::string& path);

// Where the fields that signing touches lie in a program image, read from the image's own
// optional-header magic, so that a test pokes the right bytes of a 32-bit (PE32) and of a
// 64-bit (PE32+) program alike.
struct PeFields {
  size_t optional;    // the optional header
  size_t checksum;    // CheckSum
  size_t directory4;  // the security directory: table offset, table size
  size_t rvaCount;    // NumberOfRvaAndSizes
  uint32_t headersSize;
};
PeFields PeFieldsOf(const std::vector<char>& image);
