// A program's version resource (VS_VERSIONINFO): a tree of nodes, each a length, a value
// length, a type (1 for text), a UTF-16 key, a value and its children, every part starting
// at a multiple of 4 bytes. The fixed part (VS_FIXEDFILEINFO) is the root's value; the
// texts Windows shows are the String nodes of each StringTable below "StringFileInfo".
// Read with every length checked, edited, and written back: nodes left alone come out as
// they were read (their own value length kept), with lengths that end at their last
// child's last byte, as binutils' resource compiler writes them.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/byte_builder.h"
#include "core/growable_block.h"

struct VersionNode {
  int32_t parent;             // -1 for the root
  const unsigned char* key;   // UTF-16 little-endian, `keyUnits` units, no terminator
  uint32_t keyUnits;
  uint16_t type;
  uint16_t valueLength;       // as stored: units for text, bytes otherwise
  const unsigned char* value;
  uint32_t valueBytes;
};

class VersionBlock {
 public:
  VersionBlock() : count_(0), keysUsed_(0) {}
  VersionBlock(const VersionBlock&) = delete;
  VersionBlock& operator=(const VersionBlock&) = delete;

  // 1 when the block is a VS_VERSIONINFO whose every node lies inside `length` bytes
  // and whose root holds the fixed part.
  int Read(const unsigned char* block, size_t length);

  // The fixed part's numeric file and product versions, each four 16-bit numbers.
  void SetFixedVersion(const uint16_t (&version)[4]);
  // Sets the String `key` (ASCII) of every string table to `text`: `units` UTF-16 units
  // followed by a zero unit, little-endian, kept by the caller until Write. A table
  // without the key gets it last. 0 when the block has no string table.
  int SetString(const char* key, const unsigned char* text, uint32_t units);

  // 0 when a node would pass the 65,535 bytes its length can hold.
  int Write(ByteBuilder& out) const;

  static const uint32_t kMaxNodes = 4096;

 private:
  int ReadNode(const unsigned char* block, size_t at, size_t end, int32_t parent, int depth, size_t* length);
  int KeyIs(uint32_t node, const char* key) const;
  int IsStringTable(uint32_t node) const;
  int Insert(uint32_t at, const VersionNode& node);
  uint32_t SubtreeEnd(uint32_t node) const;
  uint32_t WriteNode(uint32_t node, ByteBuilder& out, int* fits) const;

  GrowableBlock<VersionNode> nodes_;
  uint32_t count_;
  unsigned char fixed_[52];
  unsigned char keys_[8][40];  // the keys of Strings added
  uint32_t keysUsed_;
};
