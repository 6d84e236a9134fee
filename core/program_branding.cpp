#include "core/program_branding.h"

#include <string.h>

#include "core/pe_image.h"

namespace {

const uint32_t kIconGroupName = 128;
const uint32_t kResourceDirectory = 2;
const uint32_t kSecurityDirectory = 4;
const uint32_t kRelocationDirectory = 5;
const uint32_t kMaxSections = 96;  // what the loader takes
const size_t kSectionHeaderBytes = 40;

// The headers' facts the rewrite needs, every one checked to lie inside the image.
struct PeLayout {
  size_t optional;            // the optional header's offset
  uint32_t directoriesAt;     // its data directories, from `optional`
  uint32_t directoryCount;
  size_t sectionTable;
  uint32_t sectionCount;
  uint32_t fileAlignment;
  uint32_t sectionAlignment;
  long resources;             // the section that holds the resource tree
  long relocations;           // the base relocations' section, -1 when there is none
};

struct Section {
  uint32_t virtualSize, rva, rawSize, rawAt;
};

int IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

Section ReadSection(const unsigned char* image, const PeLayout& pe, long index) {
  const unsigned char* header = image + pe.sectionTable + kSectionHeaderBytes * static_cast<size_t>(index);
  const Section section = {PeU32(header + 8), PeU32(header + 12), PeU32(header + 16), PeU32(header + 20)};
  return section;
}

uint32_t DirectoryRva(const unsigned char* image, const PeLayout& pe, uint32_t index) {
  return index < pe.directoryCount ? PeU32(image + pe.optional + pe.directoriesAt + 8 * index) : 0;
}

int ReadHeaders(const unsigned char* image, size_t length, PeLayout* pe) {
  if (length < 64 || image[0] != 'M' || image[1] != 'Z') return 0;
  const size_t peAt = PeU32(image + 0x3C);
  if (peAt > length || length - peAt < 24 + 2 || memcmp(image + peAt, "PE\0\0", 4) != 0) return 0;
  // A COFF symbol table would lie behind the sections, where the rewrite moves things.
  if (PeU32(image + peAt + 12) != 0) return 0;
  pe->sectionCount = PeU16(image + peAt + 6);
  const size_t optionalBytes = PeU16(image + peAt + 20);
  pe->optional = peAt + 24;
  if (length - pe->optional < optionalBytes) return 0;
  const uint16_t magic = PeU16(image + pe->optional);
  pe->directoriesAt = magic == kPe32Magic ? 96 : (magic == kPe32PlusMagic ? 112 : 0);
  if (pe->directoriesAt == 0 || optionalBytes < pe->directoriesAt) return 0;
  const uint32_t declared = PeU32(image + pe->optional + pe->directoriesAt - 4);
  pe->directoryCount = declared < 16 ? declared : 16;
  if (pe->directoryCount <= kResourceDirectory || optionalBytes < pe->directoriesAt + 8 * pe->directoryCount) return 0;
  pe->sectionAlignment = PeU32(image + pe->optional + 32);
  pe->fileAlignment = PeU32(image + pe->optional + 36);
  if (!IsPowerOfTwo(pe->fileAlignment) || !IsPowerOfTwo(pe->sectionAlignment) ||
      pe->sectionAlignment < pe->fileAlignment) {
    return 0;
  }
  pe->sectionTable = pe->optional + optionalBytes;
  return pe->sectionCount > 0 && pe->sectionCount <= kMaxSections &&
         (length - pe->sectionTable) / kSectionHeaderBytes >= pe->sectionCount;
}

// Finds the resource section and the relocations' and checks that the resources can
// grow: every other section lies before them, in the file and in memory, the base
// relocations alone may follow, and nothing follows the last section's bytes.
BrandStatus FindSections(const unsigned char* image, size_t length, PeLayout* pe) {
  const uint32_t resourceRva = DirectoryRva(image, *pe, kResourceDirectory);
  const uint32_t relocationRva = DirectoryRva(image, *pe, kRelocationDirectory);
  pe->resources = -1;
  pe->relocations = -1;
  uint64_t fileEnd = 0;
  for (long i = 0; i < static_cast<long>(pe->sectionCount); ++i) {
    const Section s = ReadSection(image, *pe, i);
    if (s.rawAt > length || length - s.rawAt < s.rawSize) return kBrandNotProgram;
    if (s.rawSize > 0 && static_cast<uint64_t>(s.rawAt) + s.rawSize > fileEnd) fileEnd = s.rawAt + s.rawSize;
    if (resourceRva != 0 && s.rva == resourceRva) pe->resources = i;
    const uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (relocationRva != 0 && s.rva <= relocationRva && relocationRva - s.rva < extent) pe->relocations = i;
  }
  if (pe->resources < 0) return kBrandNoResources;
  if (fileEnd != length) return kBrandTrailingBytes;
  const Section resources = ReadSection(image, *pe, pe->resources);
  for (long i = 0; i < static_cast<long>(pe->sectionCount); ++i) {
    if (i == pe->resources) continue;
    const Section s = ReadSection(image, *pe, i);
    const int before = s.rva < resources.rva && (s.rawSize == 0 || s.rawAt + s.rawSize <= resources.rawAt);
    const int behind = i == pe->relocations && i == pe->resources + 1 &&
                       i == static_cast<long>(pe->sectionCount) - 1 && s.rawAt >= resources.rawAt + resources.rawSize;
    if (!before && !behind) return kBrandLayout;
  }
  if (pe->relocations >= 0 && pe->relocations < pe->resources) pe->relocations = -1;
  return kBrandDone;
}

void Put32(ByteBuilder& out, size_t at, uint32_t value) { out.Put32(at, value); }

// The new image: the bytes before the resources, the new section padded to the file
// alignment, the relocations behind it; then the headers made to say so.
BrandStatus Assemble(const unsigned char* image, const PeLayout& pe, const ByteBuilder& section, ByteBuilder& out) {
  const Section resources = ReadSection(image, pe, pe.resources);
  const uint64_t rawSize = AlignUp(section.length(), pe.fileAlignment);
  if (rawSize > 0x7FFFFFFFu || resources.rva + rawSize + pe.sectionAlignment > 0x7FFFFFFFu) return kBrandTooLarge;
  out.Append(image, resources.rawAt);
  out.Append(section.data(), section.length());
  out.AppendZeros(static_cast<size_t>(rawSize - section.length()));
  const size_t header = pe.sectionTable + kSectionHeaderBytes * static_cast<size_t>(pe.resources);
  Put32(out, header + 8, static_cast<uint32_t>(section.length()));
  Put32(out, header + 16, static_cast<uint32_t>(rawSize));
  const size_t directories = pe.optional + pe.directoriesAt;
  Put32(out, directories + 8 * kResourceDirectory + 4, static_cast<uint32_t>(section.length()));
  uint32_t imageEnd = resources.rva + static_cast<uint32_t>(section.length());
  if (pe.relocations >= 0) {
    const Section relocations = ReadSection(image, pe, pe.relocations);
    const uint32_t rva = static_cast<uint32_t>(AlignUp(imageEnd, pe.sectionAlignment));
    const size_t relocationHeader = pe.sectionTable + kSectionHeaderBytes * static_cast<size_t>(pe.relocations);
    Put32(out, relocationHeader + 12, rva);
    Put32(out, relocationHeader + 20, static_cast<uint32_t>(out.length()));
    const uint32_t directory = DirectoryRva(image, pe, kRelocationDirectory);
    Put32(out, directories + 8 * kRelocationDirectory, directory - relocations.rva + rva);
    out.Append(image + relocations.rawAt, relocations.rawSize);
    imageEnd = rva + relocations.virtualSize;
  }
  // SizeOfInitializedData counts the resources' raw bytes; SizeOfImage ends with the last section.
  const uint32_t initialized = PeU32(image + pe.optional + 8);
  Put32(out, pe.optional + 8, initialized + static_cast<uint32_t>(rawSize) - resources.rawSize);
  Put32(out, pe.optional + 56, static_cast<uint32_t>(AlignUp(imageEnd, pe.sectionAlignment)));
  if (pe.directoryCount > kSecurityDirectory) {
    Put32(out, directories + 8 * kSecurityDirectory, 0);
    Put32(out, directories + 8 * kSecurityDirectory + 4, 0);
  }
  Put32(out, pe.optional + 64, 0);
  if (out.failed()) return kBrandOutOfMemory;
  PeChecksum checksum;
  checksum.Add(reinterpret_cast<const char*>(out.data()), out.length());
  Put32(out, pe.optional + 64, checksum.Finish());
  return kBrandDone;
}

// "A.B.C.D" as the version block stores text, with its zero unit; returns the units.
uint32_t FormatVersion(const uint16_t (&version)[4], unsigned char* text) {
  char digits[24];
  uint32_t units = 0;
  for (int part = 0; part < 4; ++part) {
    char reversed[6];
    int count = 0;
    uint32_t value = version[part];
    do {
      reversed[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    if (part > 0) digits[units++] = '.';
    while (count > 0) digits[units++] = reversed[--count];
  }
  for (uint32_t i = 0; i < units; ++i) {
    text[2 * i] = static_cast<unsigned char>(digits[i]);
    text[2 * i + 1] = 0;
  }
  text[2 * units] = text[2 * units + 1] = 0;
  return units;
}

}  // namespace

BrandStatus ProgramBranding::ReplaceIcon() {
  const long group = tree_.Find(kResourceIconGroup, kIconGroupName);
  if (group < 0) return kBrandNoIconGroup;
  const ResourceItem old = tree_.item(static_cast<uint32_t>(group));
  if (old.size < 6 || (old.size - 6) / 14 < PeU16(old.data + 4)) return kBrandNoIconGroup;
  // The program's own images go; the new ones take the lowest numbers left free.
  GrowableBlock<unsigned char> taken;
  if (!taken.Allocate(65536) || !iconIds_.Allocate(icon_.count())) return kBrandOutOfMemory;
  for (uint32_t i = 0; i < PeU16(old.data + 4); ++i) {
    const uint16_t id = PeU16(old.data + 6 + 14 * i + 12);
    for (long image = tree_.Find(kResourceIcon, id); image >= 0; image = tree_.Find(kResourceIcon, id)) {
      tree_.Remove(static_cast<uint32_t>(image));
    }
  }
  for (uint32_t i = 0; i < tree_.count(); ++i) {
    const ResourceItem& item = tree_.item(i);
    if (item.type.text == nullptr && item.type.value == kResourceIcon && item.name.text == nullptr &&
        item.name.value < 65536) {
      taken[item.name.value] = 1;
    }
  }
  uint32_t next = 1;
  for (uint32_t i = 0; i < icon_.count(); ++i) {
    while (next < 65536 && taken[next]) ++next;
    if (next >= 65536) return kBrandTooLarge;
    iconIds_[i] = static_cast<uint16_t>(next++);
    const IconImage& image = icon_.image(i);
    const ResourceItem item = {{nullptr, kResourceIcon}, {nullptr, iconIds_[i]}, old.language,
                               image.bytes, image.size, 0};
    if (!tree_.Add(item)) return kBrandTooLarge;
  }
  icon_.WriteGroup(iconIds_.get(), group_);
  if (group_.failed()) return kBrandOutOfMemory;
  ResourceItem& item = tree_.item(static_cast<uint32_t>(tree_.Find(kResourceIconGroup, kIconGroupName)));
  item.data = group_.data();
  item.size = static_cast<uint32_t>(group_.length());
  return kBrandDone;
}

BrandStatus ProgramBranding::RewriteVersion(const ProgramBrand& brand) {
  long found = -1;
  for (uint32_t i = 0; i < tree_.count() && found < 0; ++i) {
    const ResourceItem& item = tree_.item(i);
    if (item.type.text == nullptr && item.type.value == kResourceVersion) found = static_cast<long>(i);
  }
  if (found < 0) return kBrandNoVersionBlock;
  ResourceItem& item = tree_.item(static_cast<uint32_t>(found));
  if (!version_.Read(item.data, item.size)) return kBrandNoVersionBlock;
  const struct {
    const char* key;
    BrandText text;
  } strings[] = {{"FileDescription", brand.description}, {"ProductName", brand.productName},
                 {"CompanyName", brand.company}, {"LegalCopyright", brand.copyright}};
  for (const auto& s : strings) {
    if (s.text.text != nullptr && !version_.SetString(s.key, s.text.text, s.text.units)) return kBrandNoVersionBlock;
  }
  if (brand.hasVersion) {
    version_.SetFixedVersion(brand.version);
    const uint32_t units = FormatVersion(brand.version, versionText_);
    if (!version_.SetString("FileVersion", versionText_, units) ||
        !version_.SetString("ProductVersion", versionText_, units)) {
      return kBrandNoVersionBlock;
    }
  }
  if (!version_.Write(versionBytes_)) return kBrandTooLarge;
  if (versionBytes_.failed()) return kBrandOutOfMemory;
  item.data = versionBytes_.data();
  item.size = static_cast<uint32_t>(versionBytes_.length());
  return kBrandDone;
}

BrandStatus ProgramBranding::Apply(const unsigned char* image, size_t length, const ProgramBrand& brand) {
  // The icon file first: what the user gave is judged before the program.
  if (brand.icon != nullptr) {
    iconStatus_ = icon_.Read(brand.icon, brand.iconLength);
    if (iconStatus_ == kIconFileNoMemory) return kBrandOutOfMemory;
    if (iconStatus_ != kIconFileOk) return kBrandBadIcon;
  }
  PeLayout pe;
  if (!ReadHeaders(image, length, &pe)) return kBrandNotProgram;
  const BrandStatus found = FindSections(image, length, &pe);
  if (found != kBrandDone) return found;
  const Section resources = ReadSection(image, pe, pe.resources);
  const uint32_t available = resources.virtualSize != 0 && resources.virtualSize < resources.rawSize
                                 ? resources.virtualSize : resources.rawSize;
  if (!tree_.Read(image + resources.rawAt, available, resources.rva)) return kBrandNoResources;
  if (brand.icon != nullptr) {
    const BrandStatus icon = ReplaceIcon();
    if (icon != kBrandDone) return icon;
  }
  const int versionChanges = brand.description.text != nullptr || brand.productName.text != nullptr ||
                             brand.company.text != nullptr || brand.copyright.text != nullptr || brand.hasVersion;
  if (versionChanges) {
    const BrandStatus version = RewriteVersion(brand);
    if (version != kBrandDone) return version;
  }
  tree_.Write(resources.rva, section_);
  if (section_.failed()) return kBrandOutOfMemory;
  checksumOffset_ = pe.optional + 64;
  securityOffset_ = pe.directoryCount > kSecurityDirectory ? pe.optional + pe.directoriesAt + 8 * kSecurityDirectory : 0;
  return Assemble(image, pe, section_, out_);
}

PackageWriteStatus ProgramBranding::AppendTo(PackageWriter& writer) {
  return writer.AppendModuleBytes(reinterpret_cast<const char*>(out_.data()), out_.length(), checksumOffset_,
                                  securityOffset_);
}
