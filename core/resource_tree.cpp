#include "core/resource_tree.h"

#include <stdlib.h>
#include <string.h>

#include "core/pe_image.h"

namespace {

const uint32_t kSubdirectory = 0x80000000u;
const uint32_t kDirectoryBytes = 16;
const uint32_t kEntryBytes = 8;
const uint32_t kDataEntryBytes = 16;

int CompareNames(const ResourceName& a, const ResourceName& b) {
  // Named entries come before numbered ones in every directory.
  if ((a.text != nullptr) != (b.text != nullptr)) return a.text != nullptr ? -1 : 1;
  if (a.text == nullptr) return a.value < b.value ? -1 : (a.value > b.value ? 1 : 0);
  const uint32_t shorter = a.value < b.value ? a.value : b.value;
  for (uint32_t i = 0; i < shorter; ++i) {
    const uint16_t x = PeU16(a.text + 2 * i), y = PeU16(b.text + 2 * i);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.value < b.value ? -1 : (a.value > b.value ? 1 : 0);
}

int CompareItems(const void* first, const void* second) {
  const ResourceItem& a = *static_cast<const ResourceItem*>(first);
  const ResourceItem& b = *static_cast<const ResourceItem*>(second);
  int order = CompareNames(a.type, b.type);
  if (order == 0) order = CompareNames(a.name, b.name);
  if (order == 0 && a.language != b.language) order = a.language < b.language ? -1 : 1;
  // Only a program with the same resource twice gets here: its own order is kept.
  if (order == 0 && a.data != b.data) order = a.data < b.data ? -1 : 1;
  return order;
}

// Counts the runs of items that share a type (level 0) or a type and a name (level 1).
int SameRun(const ResourceItem& a, const ResourceItem& b, int level) {
  if (CompareNames(a.type, b.type) != 0) return 0;
  return level == 0 || CompareNames(a.name, b.name) == 0;
}

uint32_t RunLength(const ResourceItem* items, uint32_t from, uint32_t count, int level) {
  uint32_t end = from + 1;
  while (end < count && SameRun(items[from], items[end], level)) ++end;
  return end - from;
}

uint32_t CountRuns(const ResourceItem* items, uint32_t from, uint32_t to, int level) {
  uint32_t runs = 0;
  for (uint32_t i = from; i < to; i += RunLength(items, i, to, level)) ++runs;
  return runs;
}

// Characteristics, time stamp and version are left zero, so that every build repeats.
void AppendDirectoryHeader(ByteBuilder& out, uint32_t named, uint32_t numbered) {
  out.AppendZeros(12);
  out.Append16(static_cast<uint16_t>(named));
  out.Append16(static_cast<uint16_t>(numbered));
}

// How many of the runs in [from, to) at `level` have a name rather than a number.
uint32_t CountNamedRuns(const ResourceItem* items, uint32_t from, uint32_t to, int level) {
  uint32_t named = 0;
  for (uint32_t i = from; i < to; i += RunLength(items, i, to, level)) {
    named += (level == 0 ? items[i].type.text : items[i].name.text) != nullptr;
  }
  return named;
}

// Writes one directory entry; a name string goes to `strings`, placed at `stringsAt`.
void AppendEntry(ByteBuilder& out, const ResourceName& name, uint32_t target, ByteBuilder& strings,
                 uint32_t stringsAt) {
  if (name.text == nullptr) {
    out.Append32(name.value);
  } else {
    out.Append32(kSubdirectory | (stringsAt + static_cast<uint32_t>(strings.length())));
    strings.Append16(static_cast<uint16_t>(name.value));
    strings.Append(name.text, 2 * name.value);
  }
  out.Append32(target);
}

}  // namespace

int ResourceTree::ReadName(uint32_t field, ResourceName* name) const {
  if ((field & kSubdirectory) == 0) {
    name->text = nullptr;
    name->value = field;
    return 1;
  }
  const uint32_t at = field & ~kSubdirectory;
  if (at > length_ || length_ - at < 2) return 0;
  const uint32_t units = PeU16(section_ + at);
  if (length_ - at - 2 < 2 * units) return 0;
  name->text = section_ + at + 2;
  name->value = units;
  return 1;
}

int ResourceTree::ReadDirectory(uint32_t offset, int level, ResourceItem& path) {
  if (offset > length_ || length_ - offset < kDirectoryBytes) return 0;
  const uint32_t entries = static_cast<uint32_t>(PeU16(section_ + offset + 12)) + PeU16(section_ + offset + 14);
  if ((length_ - offset - kDirectoryBytes) / kEntryBytes < entries) return 0;
  for (uint32_t i = 0; i < entries; ++i) {
    // Every entry visited counts, so that directories shared by many entries cannot make
    // the walk long.
    if (++visited_ > kMaxItems) return 0;
    const unsigned char* entry = section_ + offset + kDirectoryBytes + i * kEntryBytes;
    const uint32_t target = PeU32(entry + 4);
    const int isDirectory = (target & kSubdirectory) != 0;
    if (isDirectory != (level < 2)) return 0;
    if (level == 0 && !ReadName(PeU32(entry), &path.type)) return 0;
    if (level == 1 && !ReadName(PeU32(entry), &path.name)) return 0;
    if (level == 2) {
      path.language = PeU32(entry);
      if (path.language & kSubdirectory) return 0;  // a language is a number
      if (target > length_ || length_ - target < kDataEntryBytes) return 0;
      const uint32_t rva = PeU32(section_ + target);
      path.size = PeU32(section_ + target + 4);
      path.codePage = PeU32(section_ + target + 8);
      if (rva < rva_ || rva - rva_ > length_ || length_ - (rva - rva_) < path.size) return 0;
      path.data = section_ + (rva - rva_);
      if (!Add(path)) return 0;
    } else if (!ReadDirectory(target & ~kSubdirectory, level + 1, path)) {
      return 0;
    }
  }
  return 1;
}

int ResourceTree::Read(const unsigned char* section, uint32_t length, uint32_t sectionRva) {
  section_ = section;
  length_ = length;
  rva_ = sectionRva;
  visited_ = 0;
  count_ = 0;
  ResourceItem path;
  memset(&path, 0, sizeof(path));
  return ReadDirectory(0, 0, path);
}

long ResourceTree::Find(uint32_t type, uint32_t name) const {
  for (uint32_t i = 0; i < count_; ++i) {
    const ResourceItem& it = items_[i];
    if (it.type.text == nullptr && it.type.value == type && it.name.text == nullptr && it.name.value == name) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

void ResourceTree::Remove(uint32_t index) {
  if (index >= count_) return;
  memmove(&items_[index], &items_[index + 1], (count_ - index - 1) * sizeof(ResourceItem));
  --count_;
}

int ResourceTree::Add(const ResourceItem& item) {
  if (count_ >= kMaxItems || !items_.Reserve(count_ + 1)) return 0;
  items_[count_++] = item;
  return 1;
}

void ResourceTree::Sort() {
  if (count_ > 1) qsort(items_.get(), count_, sizeof(ResourceItem), CompareItems);
}

// The bytes of every directory: the root, then each type's directory followed by the
// language directories of its names.
static uint32_t DirectoriesLength(const ResourceItem* items, uint32_t count, uint32_t types) {
  uint32_t length = kDirectoryBytes + types * kEntryBytes;
  for (uint32_t t = 0; t < count; t += RunLength(items, t, count, 0)) {
    const uint32_t typeEnd = t + RunLength(items, t, count, 0);
    length += kDirectoryBytes + CountRuns(items, t, typeEnd, 1) * kEntryBytes;
    length += kDirectoryBytes * CountRuns(items, t, typeEnd, 1) + (typeEnd - t) * kEntryBytes;
  }
  return length;
}

// The root's entries, each pointing at its type's directory.
static void AppendRootEntries(ByteBuilder& out, const ResourceItem* items, uint32_t count, uint32_t types,
                              ByteBuilder& strings, uint32_t stringsAt) {
  uint32_t next = kDirectoryBytes + types * kEntryBytes;  // the next directory's offset
  for (uint32_t t = 0; t < count; t += RunLength(items, t, count, 0)) {
    const uint32_t typeEnd = t + RunLength(items, t, count, 0);
    AppendEntry(out, items[t].type, kSubdirectory | next, strings, stringsAt);
    next += kDirectoryBytes + CountRuns(items, t, typeEnd, 1) * kEntryBytes;
    for (uint32_t n = t; n < typeEnd; n += RunLength(items, n, typeEnd, 1)) {
      next += kDirectoryBytes + RunLength(items, n, typeEnd, 1) * kEntryBytes;
    }
  }
}

// One type's directory of names [t, typeEnd), then each name's directory of languages.
static void AppendTypeDirectory(ByteBuilder& out, const ResourceItem* items, uint32_t t, uint32_t typeEnd,
                                ByteBuilder& strings, uint32_t stringsAt, uint32_t dataEntriesAt) {
  const uint32_t names = CountRuns(items, t, typeEnd, 1);
  const uint32_t namedNames = CountNamedRuns(items, t, typeEnd, 1);
  AppendDirectoryHeader(out, namedNames, names - namedNames);
  uint32_t languageDirectory = static_cast<uint32_t>(out.length()) + names * kEntryBytes;
  for (uint32_t n = t; n < typeEnd; n += RunLength(items, n, typeEnd, 1)) {
    AppendEntry(out, items[n].name, kSubdirectory | languageDirectory, strings, stringsAt);
    languageDirectory += kDirectoryBytes + RunLength(items, n, typeEnd, 1) * kEntryBytes;
  }
  for (uint32_t n = t; n < typeEnd; n += RunLength(items, n, typeEnd, 1)) {
    const uint32_t languages = RunLength(items, n, typeEnd, 1);
    AppendDirectoryHeader(out, 0, languages);
    for (uint32_t l = n; l < n + languages; ++l) {
      out.Append32(items[l].language);
      out.Append32(dataEntriesAt + l * kDataEntryBytes);
    }
  }
}

// The data entries, once the strings' length tells where the data begins; then the
// strings and the data, each item at 8 bytes.
static void AppendDataEntriesAndData(ByteBuilder& out, const ResourceItem* items, uint32_t count,
                                     const ByteBuilder& strings, uint32_t stringsAt, uint32_t sectionRva) {
  uint32_t at = static_cast<uint32_t>(AlignUp(stringsAt + strings.length(), 8));
  for (uint32_t i = 0; i < count; ++i) {
    out.Append32(sectionRva + at);
    out.Append32(items[i].size);
    out.Append32(items[i].codePage);
    out.Append32(0);
    at = static_cast<uint32_t>(AlignUp(at + items[i].size, 8));
  }
  out.Append(strings.data(), strings.length());
  if (strings.failed()) out.AppendZeros(static_cast<size_t>(-1));  // fails the whole section
  for (uint32_t i = 0; i < count; ++i) {
    out.AlignTo(8);
    out.Append(items[i].data, items[i].size);
  }
  out.AlignTo(8);
}

void ResourceTree::Write(uint32_t sectionRva, ByteBuilder& out) {
  Sort();
  const ResourceItem* items = items_.get();
  // Where each part goes: the directories, then the data entries, the name strings and the data.
  const uint32_t types = count_ > 0 ? CountRuns(items, 0, count_, 0) : 0;
  const uint32_t dataEntriesAt = DirectoriesLength(items, count_, types);
  const uint32_t stringsAt = dataEntriesAt + count_ * kDataEntryBytes;
  ByteBuilder strings;
  const uint32_t namedTypes = count_ > 0 ? CountNamedRuns(items, 0, count_, 0) : 0;
  AppendDirectoryHeader(out, namedTypes, types - namedTypes);
  AppendRootEntries(out, items, count_, types, strings, stringsAt);
  for (uint32_t t = 0; t < count_; t += RunLength(items, t, count_, 0)) {
    AppendTypeDirectory(out, items, t, t + RunLength(items, t, count_, 0), strings, stringsAt, dataEntriesAt);
  }
  AppendDataEntriesAndData(out, items, count_, strings, stringsAt, sectionRva);
}
