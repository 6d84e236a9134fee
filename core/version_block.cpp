#include "core/version_block.h"

#include <string.h>

#include "core/pe_image.h"

namespace {

const uint32_t kFixedSignature = 0xFEEF04BDu;
const size_t kFixedBytes = 52;
const size_t kNodeHeaderBytes = 6;
const int kMaxDepth = 6;
const uint16_t kTextValue = 1;

size_t Align4(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

void Put16(unsigned char* p, uint16_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace

int VersionBlock::ReadNode(const unsigned char* block, size_t at, size_t end, int32_t parent, int depth,
                           size_t* length) {
  if (depth > kMaxDepth || count_ >= kMaxNodes || end - at < kNodeHeaderBytes) return 0;
  const size_t nodeLength = PeU16(block + at);
  if (nodeLength < kNodeHeaderBytes || nodeLength > end - at) return 0;
  const size_t nodeEnd = at + nodeLength;
  VersionNode node;
  node.parent = parent;
  node.valueLength = PeU16(block + at + 2);
  node.type = PeU16(block + at + 4);
  node.key = block + at + kNodeHeaderBytes;
  size_t keyEnd = at + kNodeHeaderBytes;
  while (keyEnd + 2 <= nodeEnd && PeU16(block + keyEnd) != 0) keyEnd += 2;
  if (keyEnd + 2 > nodeEnd) return 0;
  node.keyUnits = static_cast<uint32_t>((keyEnd - at - kNodeHeaderBytes) / 2);
  const size_t valueAt = Align4(keyEnd + 2) < nodeEnd ? Align4(keyEnd + 2) : nodeEnd;
  node.valueBytes = node.type == kTextValue ? 2u * node.valueLength : node.valueLength;
  if (node.valueBytes > nodeEnd - valueAt) return 0;
  node.value = block + valueAt;
  if (!nodes_.Reserve(count_ + 1)) return 0;
  const int32_t self = static_cast<int32_t>(count_);
  nodes_[count_++] = node;
  for (size_t child = Align4(valueAt + node.valueBytes); child < nodeEnd;) {
    size_t childLength = 0;
    if (!ReadNode(block, child, nodeEnd, self, depth + 1, &childLength)) return 0;
    child = Align4(child + childLength);
  }
  *length = nodeLength;
  return 1;
}

int VersionBlock::Read(const unsigned char* block, size_t length) {
  count_ = 0;
  keysUsed_ = 0;
  size_t rootLength = 0;
  if (!ReadNode(block, 0, length, -1, 0, &rootLength)) return 0;
  const VersionNode& root = nodes_[0];
  if (!KeyIs(0, "VS_VERSION_INFO") || root.valueBytes != kFixedBytes || PeU32(root.value) != kFixedSignature) {
    return 0;
  }
  memcpy(fixed_, root.value, kFixedBytes);
  nodes_[0].value = fixed_;
  return 1;
}

int VersionBlock::KeyIs(uint32_t node, const char* key) const {
  const VersionNode& n = nodes_[node];
  if (n.keyUnits != strlen(key)) return 0;
  for (uint32_t i = 0; i < n.keyUnits; ++i) {
    if (PeU16(n.key + 2 * i) != static_cast<unsigned char>(key[i])) return 0;
  }
  return 1;
}

int VersionBlock::IsStringTable(uint32_t node) const {
  const int32_t parent = nodes_[node].parent;
  return parent > 0 && nodes_[parent].parent == 0 && KeyIs(static_cast<uint32_t>(parent), "StringFileInfo");
}

void VersionBlock::SetFixedVersion(const uint16_t (&version)[4]) {
  // dwFileVersionMS, dwFileVersionLS, dwProductVersionMS, dwProductVersionLS: the high
  // word of each first.
  for (int field = 0; field < 2; ++field) {
    unsigned char* at = fixed_ + 8 + 8 * field;
    Put16(at, version[1]);
    Put16(at + 2, version[0]);
    Put16(at + 4, version[3]);
    Put16(at + 6, version[2]);
  }
}

uint32_t VersionBlock::SubtreeEnd(uint32_t node) const {
  uint32_t end = node + 1;
  while (end < count_) {
    int32_t ancestor = nodes_[end].parent;
    while (ancestor > static_cast<int32_t>(node)) ancestor = nodes_[ancestor].parent;
    if (ancestor != static_cast<int32_t>(node)) break;
    ++end;
  }
  return end;
}

int VersionBlock::Insert(uint32_t at, const VersionNode& node) {
  if (count_ >= kMaxNodes || !nodes_.Reserve(count_ + 1)) return 0;
  memmove(&nodes_[at + 1], &nodes_[at], (count_ - at) * sizeof(VersionNode));
  ++count_;
  for (uint32_t i = at + 1; i < count_; ++i) {
    if (nodes_[i].parent >= static_cast<int32_t>(at)) ++nodes_[i].parent;
  }
  nodes_[at] = node;
  return 1;
}

int VersionBlock::SetString(const char* key, const unsigned char* text, uint32_t units) {
  int tables = 0;
  for (uint32_t table = 0; table < count_; ++table) {
    if (!IsStringTable(table)) continue;
    ++tables;
    VersionNode value = {static_cast<int32_t>(table), nullptr, 0, kTextValue,
                         static_cast<uint16_t>(units + 1), text, 2 * (units + 1)};
    int found = 0;
    for (uint32_t i = table + 1; i < count_; ++i) {
      if (nodes_[i].parent != static_cast<int32_t>(table) || !KeyIs(i, key)) continue;
      value.key = nodes_[i].key;
      value.keyUnits = nodes_[i].keyUnits;
      nodes_[i] = value;
      found = 1;
    }
    if (found) continue;
    const size_t keyUnits = strlen(key);
    if (keysUsed_ >= sizeof(keys_) / sizeof(keys_[0]) || 2 * keyUnits > sizeof(keys_[0])) return 0;
    unsigned char* stored = keys_[keysUsed_++];
    for (size_t i = 0; i < keyUnits; ++i) Put16(stored + 2 * i, static_cast<unsigned char>(key[i]));
    value.key = stored;
    value.keyUnits = static_cast<uint32_t>(keyUnits);
    if (!Insert(SubtreeEnd(table), value)) return 0;
  }
  return tables > 0;
}

uint32_t VersionBlock::WriteNode(uint32_t node, ByteBuilder& out, int* fits) const {
  const VersionNode& n = nodes_[node];
  const size_t start = out.length();
  out.Append16(0);
  out.Append16(n.valueLength);
  out.Append16(n.type);
  out.Append(n.key, 2 * n.keyUnits);
  out.Append16(0);
  out.AlignTo(4);
  out.Append(n.value, n.valueBytes);
  uint32_t next = node + 1;
  while (next < count_ && nodes_[next].parent == static_cast<int32_t>(node)) {
    out.AlignTo(4);
    next = WriteNode(next, out, fits);
  }
  // The length ends at the last byte of the node's own value or of its last child.
  if (out.length() - start > 0xFFFF) *fits = 0;
  out.Put16(start, static_cast<uint16_t>(out.length() - start));
  return next;
}

int VersionBlock::Write(ByteBuilder& out) const {
  int fits = 1;
  if (count_ > 0) WriteNode(0, out, &fits);
  return fits;
}
