// list [--json] [--codepage N] PACKAGE: the regions of a package and its directory, as
// text or JSON.
#include <stdio.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_output.h"
#include "cli/name_encoding.h"
#include "core/package_reader.h"

namespace {

// The member's recorded checksum as eight hex digits, or "-" where it carries none.
void FormatChecksum(const PackageReader& reader, int index, char (&text)[16]) {
  uint32_t checksum = 0;
  if (reader.ExpectedChecksum(index, &checksum)) {
    snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(checksum));
  } else {
    snprintf(text, sizeof(text), "-");
  }
}

// Numbers the compressed groups from 0 in directory order, as the members are visited in
// that order: one pass over the directory, however many members it has.
class GroupCounter {
 public:
  // The member's group number, or -1 for a stored member.
  int Next(const PackageReader& reader, int index) {
    if (!reader.isCompressed(index)) return -1;
    if (reader.groupEntry(index) != lastEntry_) {
      lastEntry_ = reader.groupEntry(index);
      ++number_;
    }
    return number_;
  }

 private:
  int lastEntry_ = -1;
  int number_ = -1;
};

// The names as this system spells them, member by member: converted from the code page
// given with --codepage, or the stored bytes as they are.
class ShownNames {
 public:
  explicit ShownNames(NameEncoding& encoding) : encoding_(encoding) {}
  // 0 (with the message printed) when a name cannot be spelled here.
  int Prepare(PackageReader& reader, const char* argument) {
    if (!encoding_.converting()) return 1;
    for (int i = 0; i < reader.count(); ++i) {
      if (!encoding_.DecodeName(reader.entry(i).name, shown_, sizeof(shown_))) {
        char escaped[4 * kMemberNameSize];
        EscapeName(reader.entry(i).name, escaped);
        PrintError("%s: member \"%s\" (entry %d) cannot be read in the code page given with --codepage", argument,
                   escaped, i);
        return 0;
      }
    }
    return 1;
  }
  const char* Name(PackageReader& reader, int index) {
    if (!encoding_.converting() || !encoding_.DecodeName(reader.entry(index).name, shown_, sizeof(shown_))) {
      return reader.entry(index).name;
    }
    // The list shows the package's paths, '\' between the parts, whatever the system.
    for (char* p = shown_; *p != 0; ++p) {
      if (*p == '/') *p = '\\';
    }
    return shown_;
  }

 private:
  NameEncoding& encoding_;
  char shown_[1040];
};

// "lzma", "stored", or for a copy (whose bytes are an earlier member's) "copy".
const char* CodecName(const PackageReader& reader, int index) {
  if (reader.copyOf(index) >= 0) return "copy";
  return reader.isCompressed(index) ? "lzma" : "stored";
}

// The codec column of the text list: a copy names the member it repeats.
const char* CodecText(const PackageReader& reader, int index, char (&text)[32]) {
  if (reader.copyOf(index) < 0) return CodecName(reader, index);
  snprintf(text, sizeof(text), "copy of %d", reader.copyOf(index));
  return text;
}

void PrintText(PackageReader& reader, ShownNames& names) {
  const PackageTrailerInfo& trailer = reader.trailer();
  char number[32];
  FormatDecimal(reader.moduleImageLength(), number);
  printf("module image length: %s\n", number);
  printf("certificate table: %s\n", trailer.signedPackage ? "yes" : "no");
  printf("trailing slack: %u\n", trailer.slack);
  printf("members: %d\n", reader.count());
  // Tab-separated, so that names with blanks stay one column.
  printf("index\tname\toffset\tsize\tchecksum\tcodec\toriginal size\n");
  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& entry = reader.entry(i);
    char checksum[16];
    FormatChecksum(reader, i, checksum);
    char codec[32];
    printf("%d\t%s\t%lu\t%lu\t%s\t%s\t%lu\n", i, names.Name(reader, i), static_cast<unsigned long>(entry.offset),
           static_cast<unsigned long>(entry.size), checksum, CodecText(reader, i, codec),
           static_cast<unsigned long>(reader.originalSize(i)));
  }
}

void PrintJson(PackageReader& reader, const char* path, ShownNames& names) {
  const PackageTrailerInfo& trailer = reader.trailer();
  char number[32];
  FormatDecimal(reader.moduleImageLength(), number);
  fputs("{\"package\":", stdout);
  PrintJsonString(stdout, path);
  printf(",\"moduleImageLength\":%s,\"certificateTable\":%s,\"trailingSlack\":%u,\"members\":[", number,
         trailer.signedPackage ? "true" : "false", trailer.slack);
  GroupCounter groups;
  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& entry = reader.entry(i);
    printf("%s{\"index\":%d,\"name\":", i > 0 ? "," : "", i);
    PrintJsonString(stdout, names.Name(reader, i));
    // The stored bytes themselves: names of different code pages can print alike.
    fputs(",\"nameBytes\":\"", stdout);
    for (const char* p = entry.name; *p != 0; ++p) printf("%02x", static_cast<unsigned char>(*p));
    fputc('"', stdout);
    char checksum[16];
    FormatChecksum(reader, i, checksum);
    printf(",\"offset\":%lu,\"size\":%lu,\"checksum\":", static_cast<unsigned long>(entry.offset),
           static_cast<unsigned long>(entry.size));
    if (checksum[0] == '-') {
      fputs("null", stdout);
    } else {
      printf("\"%s\"", checksum);
    }
    printf(",\"codec\":\"%s\",\"originalSize\":%lu,\"group\":", CodecName(reader, i),
           static_cast<unsigned long>(reader.originalSize(i)));
    const int group = groups.Next(reader, i);
    if (group < 0) {
      fputs("null", stdout);
    } else {
      printf("%d", group);
    }
    // Only a copy says whose bytes it has: the members of other packages list as before.
    if (reader.copyOf(i) >= 0) printf(",\"copyOf\":%d", reader.copyOf(i));
    fputc('}', stdout);
  }
  fputs("]}\n", stdout);
}

}  // namespace

int RunListTool(const ToolArguments& arguments) {
  NameEncoding encoding;
  if (!encoding.Open(arguments.codepage())) {
    PrintError("%s", encoding.error());
    return kExitUsage;
  }
  PackageReader reader;
  char path[kCorePathSize];
  if (!OpenPackageOrReport(arguments.operand(0), reader, path)) return kExitFailure;
  ShownNames names(encoding);
  if (!names.Prepare(reader, arguments.operand(0))) return kExitFailure;
  if (arguments.json()) {
    PrintJson(reader, path, names);
  } else {
    PrintText(reader, names);
  }
  return kExitSuccess;
}
