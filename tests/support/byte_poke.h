// Little-endian 32-bit fields written into and read from bytes in memory: how the tests build and damage
// packages and program headers by hand. Shared by the Windows tests and the native ones.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include <stdexcept>
#include <string>
#include <vector>

// Throws std::out_of_range when the field would reach past the bytes: a test that aims at
// the wrong place fails instead of writing nothing.
inline void PutU32(std::vector<char>& bytes, size_t at, uint32_t value) {
  if (at > bytes.size() || bytes.size() - at < 4) throw std::out_of_range("PutU32 past the end of the bytes");
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutU16(std::vector<char>& bytes, size_t at, uint16_t value) {
  if (at > bytes.size() || bytes.size() - at < 2) throw std::out_of_range("PutU16 past the end of the bytes");
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

inline uint32_t GetU32(const std::vector<char>& bytes, size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) throw std::out_of_range("GetU32 past the end of the bytes");
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

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

inline PeFields PeFieldsOf(const std::vector<char>& image) {
  PeFields fields;
  fields.optional = GetU32(image, 0x3C) + 24;
  const bool plus = (GetU32(image, fields.optional) & 0xFFFF) == 0x20B;
  const size_t directories = fields.optional + (plus ? 112 : 96);
  fields.checksum = fields.optional + 64;
  fields.directory4 = directories + 4 * 8;
  fields.rvaCount = directories - 4;
  fields.headersSize = GetU32(image, fields.optional + 60);
  return fields;
}

// A directory entry's 260-byte name field at `at`: the name, then zeros to the end.
inline void PutEntryName(std::vector<char>& bytes, size_t at, const std::string& name) {
  if (at > bytes.size() || bytes.size() - at < 260 || name.size() > 260) {
    throw std::out_of_range("PutEntryName past the end of the bytes");
  }
  memset(&bytes[at], 0, 260);
  memcpy(&bytes[at], name.data(), name.size());
}

// `image` with a certificate table after it, as a signing tool leaves a program: zero
// padding to a multiple of 8, then `table`, whose first field (the first certificate's
// length) is set to the table's size, named by the security directory.
inline std::vector<char> WithCertificateTable(std::vector<char> image, std::vector<char> table) {
  image.resize((image.size() + 7) / 8 * 8, 0);
  const uint32_t offset = static_cast<uint32_t>(image.size());
  const uint32_t size = static_cast<uint32_t>(table.size());
  PutU32(table, 0, size);
  image.insert(image.end(), table.begin(), table.end());
  const PeFields fields = PeFieldsOf(image);
  PutU32(image, fields.directory4, offset);
  PutU32(image, fields.directory4 + 4, size);
  return image;
}
