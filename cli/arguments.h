// The command line of the tool: one command, its options and its operands.
#pragma once
#include "core/growable_block.h"

enum ToolCommand {
  kCommandHelp,
  kCommandVersion,
  kCommandPack,
  kCommandList,
  kCommandVerify,
  kCommandExtract,
};

// What pack compresses with: nothing (0), liblzma's best, or the core's own encoder.
enum CompressChoice { kCompressNone = 0, kCompressBest = 1, kCompressFast = 2 };

// pack's options that make the package its product's own; each null when not given.
struct BrandArguments {
  const char* icon;
  const char* description;
  const char* productName;
  const char* version;
  const char* company;
  const char* copyright;
};

class ToolArguments {
 public:
  ToolArguments();
  ~ToolArguments();
  ToolArguments(const ToolArguments&) = delete;
  ToolArguments& operator=(const ToolArguments&) = delete;

  // 1 when the command line is usable; 0 with the reason in error().
  int Parse(int argc, char** argv);

  ToolCommand command() const { return command_; }
  const char* output() const { return output_; }        // pack -o, or null
  const char* stub() const { return stub_; }            // pack --stub, or null
  const char* directory() const { return directory_; }  // pack and extract -C, or null
  int json() const { return json_; }                    // list --json
  int compress() const { return compress_; }            // pack --compress (kCompressBest) or --compress=fast
  const char* codepage() const { return codepage_; }    // pack, list, extract --codepage, or null
  const BrandArguments& brand() const { return brand_; }  // pack --icon, --description, ...
  int operandCount() const { return operandCount_; }
  const char* operand(int index) const { return operands_[index]; }
  const char* error() const { return error_; }

 private:
  int Fail(const char* format, const char* detail = "");
  // Takes the value of an option given as "-o VALUE", "--output VALUE" or "--output=VALUE".
  int TakeValue(int argc, char** argv, int* index, const char* inlineValue, const char** value);
  int TakeOption(int argc, char** argv, int* index);

  ToolCommand command_;
  const char* output_;
  const char* stub_;
  const char* directory_;
  int json_;
  int compress_;
  const char* codepage_;
  BrandArguments brand_;
  GrowableBlock<const char*> operands_;
  int operandCount_;
  char error_[300];
};

// The text of --help.
extern const char kUsageText[];
