#include "support/file_bytes.h"

#include <stdio.h>

#include <stdexcept>

void WriteFileBytes(const std::string& path, const std::vector<char>& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  const bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<char>(text.begin(), text.end()));
}

std::vector<char> ReadFileBytes(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot read " + path);
  std::vector<char> bytes;
  char block[65536];
  size_t got;
  while ((got = fread(block, 1, sizeof(block), file)) > 0) bytes.insert(bytes.end(), block, block + got);
  fclose(file);
  return bytes;
}
