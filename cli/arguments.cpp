#include "cli/arguments.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char kUsageText[] =
    "Usage: lodkin-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Writes and reads Lodkin packages without the packaging window.\n"
    "\n"
    "Commands:\n"
    "  pack [-o OUTPUT] [--stub PROGRAM] [--compress[=fast]] [--codepage N] FILE...\n"
    "      Packs the files, the first one first, exactly one of them (at the top)\n"
    "      setup.exe, kvsetup.exe or kvset.exe. A FILE that is a folder adds its\n"
    "      whole tree, named from the folder's own name. Without -o the package is\n"
    "      KVPACK_<folder>.exe in the folder of the first file. PROGRAM defaults to\n"
    "      the Lodkin.exe beside this tool. --compress compresses the files with\n"
    "      LZMA, in solid groups; --compress=fast with the faster encoder that the\n"
    "      window's \"Compress\" box uses (the same bytes). Prints the package path.\n"
    "  pack -C DIR [-o OUTPUT] [--stub PROGRAM] [--compress[=fast]] [--codepage N] [FILE...]\n"
    "      Packs the contents of DIR: FILEs are named relative to DIR, and without\n"
    "      FILE every entry at DIR's top is packed, in byte order of the names. The\n"
    "      package is KVPACK_<DIR's name>.exe beside DIR, never inside it.\n"
    "      Either form takes the product's name, version and icon for the package:\n"
    "      --icon FILE.ico, --description TEXT, --product-name TEXT,\n"
    "      --version A.B.C.D, --company TEXT, --copyright TEXT (TEXT: at most 255\n"
    "      characters).\n"
    "  list [--json] [--codepage N] PACKAGE\n"
    "      Prints the module image length, whether a certificate table follows,\n"
    "      the trailing slack, and index, name, offset, size, checksum, codec\n"
    "      (stored or lzma) and original size of each member; --json also gives\n"
    "      each name's stored bytes in hex (nameBytes).\n"
    "  verify PACKAGE\n"
    "      Checks the package as the program does before it extracts anything.\n"
    "  extract [--codepage N] PACKAGE [-C DIR]\n"
    "      Writes the members, folders included, into DIR (default: the package\n"
    "      path without its extension). DIR is created and must not already hold\n"
    "      files.\n"
    "\n"
    "Options:\n"
    "  --codepage N   the ANSI code page of the Windows machines that run the\n"
    "                 package (949, 932, 936, 1252, ...): names are converted\n"
    "                 between it and this locale's encoding. Without it the\n"
    "                 native tool packs and extracts plain ASCII names only.\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 wrong command line.\n";

namespace {

struct CommandName {
  const char* name;
  ToolCommand command;
};

const CommandName kCommands[] = {
    {"pack", kCommandPack}, {"list", kCommandList}, {"verify", kCommandVerify}, {"extract", kCommandExtract}};

// "--name" or "--name=value": 1 on a match, with *inlineValue set after the '='.
int MatchLong(const char* argument, const char* name, const char** inlineValue) {
  const size_t length = strlen(name);
  if (strncmp(argument, name, length) != 0) return 0;
  if (argument[length] == 0) {
    *inlineValue = nullptr;
    return 1;
  }
  if (argument[length] == '=') {
    *inlineValue = argument + length + 1;
    return 1;
  }
  return 0;
}

}  // namespace

ToolArguments::ToolArguments()
    : command_(kCommandHelp), output_(nullptr), stub_(nullptr), directory_(nullptr), json_(0), compress_(0),
      codepage_(nullptr), brand_(), operandCount_(0) {
  error_[0] = 0;
}

ToolArguments::~ToolArguments() {}

int ToolArguments::Fail(const char* format, const char* detail) {
  snprintf(error_, sizeof(error_), format, detail);
  return 0;
}

int ToolArguments::TakeValue(int argc, char** argv, int* index, const char* inlineValue,
                             const char** value) {
  const char* option = argv[*index];
  if (*value != nullptr) return Fail("option '%s' given twice", option);
  if (inlineValue != nullptr) {
    *value = inlineValue;
  } else {
    if (*index + 1 >= argc) return Fail("option '%s' needs a value", option);
    *value = argv[++*index];
  }
  if ((*value)[0] == 0) return Fail("option '%s' needs a value", option);
  return 1;
}

// The option at argv[*index] (and its value, when it takes one) for the command given.
int ToolArguments::TakeOption(int argc, char** argv, int* index) {
  const char* argument = argv[*index];
  const char* inlineValue = nullptr;
  if (command_ == kCommandPack && (strcmp(argument, "-o") == 0 || MatchLong(argument, "--output", &inlineValue))) {
    return TakeValue(argc, argv, index, inlineValue, &output_);
  }
  if (command_ == kCommandPack && MatchLong(argument, "--stub", &inlineValue)) {
    return TakeValue(argc, argv, index, inlineValue, &stub_);
  }
  const struct {
    const char* name;
    const char** value;
  } brandOptions[] = {{"--icon", &brand_.icon},       {"--description", &brand_.description},
                      {"--product-name", &brand_.productName}, {"--version", &brand_.version},
                      {"--company", &brand_.company}, {"--copyright", &brand_.copyright}};
  for (const auto& option : brandOptions) {
    if (command_ == kCommandPack && MatchLong(argument, option.name, &inlineValue)) {
      return TakeValue(argc, argv, index, inlineValue, option.value);
    }
  }
  if (command_ == kCommandPack && strcmp(argument, "--compress") == 0) {
    compress_ = kCompressBest;
    return 1;
  }
  if (command_ == kCommandPack && strcmp(argument, "--compress=fast") == 0) {
    compress_ = kCompressFast;
    return 1;
  }
  const int takesDirectory = command_ == kCommandExtract || command_ == kCommandPack;
  if (takesDirectory && (strcmp(argument, "-C") == 0 || MatchLong(argument, "--directory", &inlineValue))) {
    return TakeValue(argc, argv, index, inlineValue, &directory_);
  }
  if (command_ != kCommandVerify && MatchLong(argument, "--codepage", &inlineValue)) {
    return TakeValue(argc, argv, index, inlineValue, &codepage_);
  }
  if (command_ == kCommandList && strcmp(argument, "--json") == 0) {
    json_ = 1;
    return 1;
  }
  snprintf(error_, sizeof(error_), "unknown option '%s' for %s", argument, argv[1]);
  return 0;
}

int ToolArguments::Parse(int argc, char** argv) {
  // --help and --version stand for themselves wherever they appear before "--".
  for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      command_ = kCommandHelp;
      return 1;
    }
  }
  if (argc < 2) return Fail("no command given");
  if (strcmp(argv[1], "--version") == 0) {
    command_ = kCommandVersion;
    return argc == 2 ? 1 : Fail("'--version' takes no arguments");
  }
  int known = 0;
  for (const CommandName& entry : kCommands) {
    if (strcmp(argv[1], entry.name) == 0) {
      command_ = entry.command;
      known = 1;
    }
  }
  if (!known) {
    if (argv[1][0] == '-') return Fail("unknown option '%s'", argv[1]);
    return Fail("unknown command '%s'", argv[1]);
  }

  if (!operands_.Allocate(static_cast<size_t>(argc))) return Fail("out of memory");
  int optionsEnded = 0;
  for (int i = 2; i < argc; ++i) {
    const char* argument = argv[i];
    if (optionsEnded || argument[0] != '-' || argument[1] == 0) {
      operands_[operandCount_++] = argument;
    } else if (strcmp(argument, "--") == 0) {
      optionsEnded = 1;
    } else if (!TakeOption(argc, argv, &i)) {
      return 0;
    }
  }

  if (command_ == kCommandPack) {
    return operandCount_ >= 1 || directory_ != nullptr ? 1 : Fail("pack needs at least one FILE");
  }
  if (operandCount_ == 0) return Fail("%s needs a PACKAGE", argv[1]);
  if (operandCount_ > 1) return Fail("%s takes one PACKAGE", argv[1]);
  return 1;
}
