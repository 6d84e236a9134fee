#include "core/byte_builder.h"

#include <string.h>

unsigned char* ByteBuilder::Extend(size_t count) {
  if (failed_ || count > static_cast<size_t>(-1) - length_ || !block_.Reserve(length_ + count, 4096)) {
    failed_ = 1;
    return nullptr;
  }
  unsigned char* at = block_.get() + length_;
  length_ += count;
  return at;
}

void ByteBuilder::Append(const void* bytes, size_t length) {
  if (length == 0) return;
  unsigned char* at = Extend(length);
  if (at != nullptr) memcpy(at, bytes, length);
}

void ByteBuilder::AppendZeros(size_t count) {
  if (count == 0) return;
  unsigned char* at = Extend(count);
  if (at != nullptr) memset(at, 0, count);
}

void ByteBuilder::Append16(uint16_t value) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
  Append(bytes, sizeof(bytes));
}

void ByteBuilder::Append32(uint32_t value) {
  Append16(static_cast<uint16_t>(value));
  Append16(static_cast<uint16_t>(value >> 16));
}

void ByteBuilder::AlignTo(size_t alignment) { AppendZeros(AlignUp(length_, alignment) - length_); }

void ByteBuilder::Put16(size_t at, uint16_t value) {
  if (failed_ || at + 2 > length_) return;
  block_[at] = static_cast<unsigned char>(value);
  block_[at + 1] = static_cast<unsigned char>(value >> 8);
}

void ByteBuilder::Put32(size_t at, uint32_t value) {
  Put16(at, static_cast<uint16_t>(value));
  Put16(at + 2, static_cast<uint16_t>(value >> 16));
}
