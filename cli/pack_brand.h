// pack --icon/--description/--product-name/--version/--company/--copyright: the program
// part of the package made from the stub with the product's icon and version texts.
// Everything is read and checked before the package is begun, so that a refusal writes
// nothing.
#pragma once
#include "cli/arguments.h"
#include "core/growable_block.h"
#include "core/program_branding.h"

class PackBrand {
 public:
  PackBrand() : stubLength_(0), iconLength_(0) {}
  PackBrand(const PackBrand&) = delete;
  PackBrand& operator=(const PackBrand&) = delete;

  // 1 when any of the options is given.
  static int Requested(const BrandArguments& arguments);

  // Reads the icon file, the texts, the version and the stub (`stubShown` names it in
  // messages) and makes the branded program. 1 when done; 0 after the reason is printed.
  int Prepare(const BrandArguments& arguments, const char* stubPath, const char* stubShown);

  ProgramImageSource* program() { return &branding_; }

 private:
  int ReadTexts(const BrandArguments& arguments, ProgramBrand* brand);
  int ReadStub(const char* stubPath, const char* stubShown);
  int ReadIcon(const char* iconPath);
  void PrintRefusal(BrandStatus status, const char* iconPath, const char* stubShown) const;

  GrowableBlock<unsigned char> stub_;
  size_t stubLength_;
  GrowableBlock<unsigned char> icon_;
  size_t iconLength_;
  GrowableBlock<unsigned char> texts_[4];
  ProgramBranding branding_;
};
