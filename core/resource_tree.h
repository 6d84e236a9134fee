// A program's resources as the PE/COFF format describes them: a tree of three levels
// (type, name, language) of directories in the resource section, whose leaves are data
// entries giving each resource's address and size. Read into a flat list, every offset
// and size checked against the section first, so that a hostile program can make the
// reader refuse but never read outside the section; then written back as a new section
// in the layout that binutils' resource compiler gives it.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/byte_builder.h"
#include "core/growable_block.h"

// A type or a name: a number, or a string of `length` UTF-16 units (little-endian bytes
// at `text`).
struct ResourceName {
  const unsigned char* text;  // null for a number
  uint32_t value;             // the number, or the string's length in units
};

struct ResourceItem {
  ResourceName type;
  ResourceName name;
  uint32_t language;
  const unsigned char* data;  // into the section read, or into bytes the caller keeps
  uint32_t size;
  uint32_t codePage;
};

const uint32_t kResourceIcon = 3;
const uint32_t kResourceVersion = 16;
const uint32_t kResourceIconGroup = 14;

class ResourceTree {
 public:
  ResourceTree() : count_(0) {}
  ResourceTree(const ResourceTree&) = delete;
  ResourceTree& operator=(const ResourceTree&) = delete;

  // Reads the tree from the `length` bytes of a section loaded at `sectionRva`. Returns 1
  // when every directory, entry, name and data block lies inside those bytes, the tree
  // has its three levels and no more than kMaxItems leaves.
  int Read(const unsigned char* section, uint32_t length, uint32_t sectionRva);

  uint32_t count() const { return count_; }
  ResourceItem& item(uint32_t index) const { return items_[index]; }
  // The index of the first item of a numbered type and name, or -1.
  long Find(uint32_t type, uint32_t name) const;
  void Remove(uint32_t index);
  int Add(const ResourceItem& item);

  // The section for an address of `sectionRva`: directories, data entries, name strings,
  // then each resource's bytes at a multiple of 8, the whole padded to a multiple of 8.
  // Items are written sorted (names before numbers, then by name, then by language).
  // `out` starts empty: the alignments count from the section's first byte.
  void Write(uint32_t sectionRva, ByteBuilder& out);

  static const uint32_t kMaxItems = 65536;

 private:
  int ReadDirectory(uint32_t offset, int level, ResourceItem& path);
  int ReadName(uint32_t field, ResourceName* name) const;
  void Sort();

  const unsigned char* section_;
  uint32_t length_;
  uint32_t rva_;
  uint32_t visited_;
  GrowableBlock<ResourceItem> items_;
  uint32_t count_;
};
