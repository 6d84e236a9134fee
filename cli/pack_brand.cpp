#include "cli/pack_brand.h"

#include <stdio.h>
#include <string.h>

#include "cli/brand_text.h"
#include "cli/console.h"
#include "core/binary_file.h"
#include "core/pe_image.h"

namespace {

// Far more than any program or icon file needs; a larger file is refused before it is read.
const uint64_t kMaxBrandInput = 64u << 20;

// The first `length` bytes of the file at `path` (its whole length when `length` is 0).
int ReadWhole(const char* path, uint64_t length, GrowableBlock<unsigned char>& bytes, size_t* got) {
  BinaryFile file;
  uint64_t fileLength = 0;
  if (!file.OpenForReading(path) || !file.GetLength(&fileLength)) return 0;
  if (length == 0) length = fileLength;
  if (length > kMaxBrandInput || length > fileLength || !bytes.Allocate(length > 0 ? length : 1)) return 0;
  *got = static_cast<size_t>(length);
  return file.ReadAt(0, bytes.get(), *got);
}

}  // namespace

int PackBrand::Requested(const BrandArguments& arguments) {
  return arguments.icon != nullptr || arguments.description != nullptr || arguments.productName != nullptr ||
         arguments.version != nullptr || arguments.company != nullptr || arguments.copyright != nullptr;
}

int PackBrand::ReadTexts(const BrandArguments& arguments, ProgramBrand* brand) {
  const struct {
    const char* option;
    const char* text;
    BrandText* stored;
  } texts[] = {{"--description", arguments.description, &brand->description},
               {"--product-name", arguments.productName, &brand->productName},
               {"--company", arguments.company, &brand->company},
               {"--copyright", arguments.copyright, &brand->copyright}};
  for (int i = 0; i < 4; ++i) {
    if (texts[i].text == nullptr) continue;
    uint32_t units = 0, characters = 0;
    if (!ConvertBrandText(texts[i].text, texts_[i], &units, &characters)) {
      char encoding[64];
      DescribeToolEncoding(encoding);
      PrintError("%s is not valid text in the tool's encoding (%s)", texts[i].option, encoding);
      return 0;
    }
    if (characters > kMaxBrandTextCharacters) {
      PrintError("%s is %u characters long: at most %u are stored", texts[i].option, characters,
                 kMaxBrandTextCharacters);
      return 0;
    }
    texts[i].stored->text = texts_[i].get();
    texts[i].stored->units = units;
  }
  if (arguments.version != nullptr) {
    if (!ParseBrandVersion(arguments.version, brand->version)) {
      PrintError("--version \"%s\" is not four numbers from 0 to 65535 (A.B.C.D)", arguments.version);
      return 0;
    }
    brand->hasVersion = 1;
  }
  return 1;
}

// The stub as the package would take it: without a signature of its own.
int PackBrand::ReadStub(const char* stubPath, const char* stubShown) {
  BinaryFile file;
  uint64_t length = 0;
  ProgramImagePlan plan;
  if (!file.OpenForReading(stubPath) || !file.GetLength(&length)) {
    PrintError("cannot read \"%s\"", stubShown);
    return 0;
  }
  PlanUnsignedProgram(file, length, &plan);
  file.Close();
  if (plan.length > kMaxBrandInput || !ReadWhole(stubPath, plan.length, stub_, &stubLength_)) {
    PrintError("cannot read \"%s\" (a program to brand is read whole, up to 64 MiB)", stubShown);
    return 0;
  }
  return 1;
}

int PackBrand::ReadIcon(const char* iconPath) {
  if (!ReadWhole(iconPath, 0, icon_, &iconLength_)) {
    PrintError("cannot read the icon file \"%s\" (up to 64 MiB)", iconPath);
    return 0;
  }
  return 1;
}

void PackBrand::PrintRefusal(BrandStatus status, const char* iconPath, const char* stubShown) const {
  const unsigned image = branding_.badIconImage();
  switch (status) {
    case kBrandBadIcon:
      if (branding_.iconStatus() == kIconFileBadHeader) {
        PrintError("\"%s\" is not an icon file (.ico): its header is not an icon file's", iconPath);
      } else if (branding_.iconStatus() == kIconFileNoImage) {
        PrintError("the icon file \"%s\" holds no image", iconPath);
      } else if (branding_.iconStatus() == kIconFilePastEnd) {
        PrintError("image %u of the icon file \"%s\" reaches past the file's end", image, iconPath);
      } else {
        PrintError("image %u of the icon file \"%s\" is not what its directory entry says (size or colours)",
                   image, iconPath);
      }
      return;
    case kBrandNotProgram: PrintError("\"%s\" is not a program whose headers can be read", stubShown); return;
    case kBrandNoResources: PrintError("\"%s\" has no resource section that can be read", stubShown); return;
    case kBrandLayout:
      PrintError("\"%s\" has sections after its resources: only base relocations may follow them", stubShown);
      return;
    case kBrandTrailingBytes:
      PrintError("\"%s\" goes on past its program (a package?): brand the program itself", stubShown);
      return;
    case kBrandNoIconGroup: PrintError("\"%s\" has no icon group 128 to replace", stubShown); return;
    case kBrandNoVersionBlock: PrintError("\"%s\" has no version block with texts to set", stubShown); return;
    case kBrandTooLarge: PrintError("the branded resources of \"%s\" would be too large", stubShown); return;
    default: PrintError("out of memory"); return;
  }
}

int PackBrand::Prepare(const BrandArguments& arguments, const char* stubPath, const char* stubShown) {
  ProgramBrand brand;
  memset(&brand, 0, sizeof(brand));
  if (!ReadTexts(arguments, &brand)) return 0;
  if (arguments.icon != nullptr) {
    if (!ReadIcon(arguments.icon)) return 0;
    brand.icon = icon_.get();
    brand.iconLength = iconLength_;
  }
  if (!ReadStub(stubPath, stubShown)) return 0;
  const BrandStatus status = branding_.Apply(stub_.get(), stubLength_, brand);
  if (status != kBrandDone) {
    PrintRefusal(status, arguments.icon, stubShown);
    return 0;
  }
  return 1;
}
