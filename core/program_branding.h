// A program made into a product's own: its icon group 128 and its version block
// rewritten from an icon file and texts, everything else kept byte for byte. The resource
// section is written anew; the base relocations, the only section a linker puts after
// the resources, move along behind it, and the headers that describe the sections
// (sizes, SizeOfImage, the resource directory, the checksum) are made to match. Works on
// the program's bytes in memory; the window's program never links it.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/byte_builder.h"
#include "core/icon_file.h"
#include "core/pack_job.h"
#include "core/resource_tree.h"
#include "core/version_block.h"

// A text as the version block stores it: `units` UTF-16 little-endian units followed by
// a zero unit. `text` null: left as it is.
struct BrandText {
  const unsigned char* text;
  uint32_t units;
};

struct ProgramBrand {
  const unsigned char* icon;  // an icon file's bytes; null: the program's own icon
  size_t iconLength;
  BrandText description;      // FileDescription
  BrandText productName;      // ProductName
  BrandText company;          // CompanyName
  BrandText copyright;        // LegalCopyright
  int hasVersion;             // version: FileVersion, ProductVersion and the fixed part
  uint16_t version[4];
};

enum BrandStatus {
  kBrandDone = 0,
  kBrandNotProgram,       // no PE headers and section table that can be read
  kBrandNoResources,      // no resource section whose tree can be read
  kBrandLayout,           // sections other than the base relocations follow the resources
  kBrandTrailingBytes,    // bytes follow the last section (a package, a symbol table)
  kBrandNoIconGroup,      // no icon group 128 that can be read
  kBrandNoVersionBlock,   // no version block with string tables that can be read
  kBrandBadIcon,          // the icon file is refused: see iconStatus()
  kBrandTooLarge,         // the resources would pass what their headers can describe
  kBrandOutOfMemory,
};

class ProgramBranding : public ProgramImageSource {
 public:
  ProgramBranding() : iconStatus_(kIconFileOk), checksumOffset_(0), securityOffset_(0) {}
  ProgramBranding(const ProgramBranding&) = delete;
  ProgramBranding& operator=(const ProgramBranding&) = delete;

  // Makes the branded copy of the `length` bytes of an unsigned program image. The
  // brand's bytes are read until the copy is dropped.
  BrandStatus Apply(const unsigned char* image, size_t length, const ProgramBrand& brand);

  const unsigned char* bytes() const { return out_.data(); }
  size_t length() const { return out_.length(); }
  IconFileStatus iconStatus() const { return iconStatus_; }
  uint32_t badIconImage() const { return icon_.badImage(); }
  // Where the copy's PE checksum and security directory entry lie (0: none).
  uint64_t checksumOffset() const { return checksumOffset_; }
  uint64_t securityOffset() const { return securityOffset_; }

  // The branded copy as the package's program part.
  PackageWriteStatus AppendTo(PackageWriter& writer) override;

 private:
  BrandStatus ReplaceIcon();
  BrandStatus RewriteVersion(const ProgramBrand& brand);

  ResourceTree tree_;
  IconFile icon_;
  VersionBlock version_;
  ByteBuilder group_;
  ByteBuilder versionBytes_;
  ByteBuilder section_;
  ByteBuilder out_;
  GrowableBlock<uint16_t> iconIds_;
  unsigned char versionText_[2 * 24];
  IconFileStatus iconStatus_;
  uint64_t checksumOffset_;
  uint64_t securityOffset_;
};
