// list [--json] PACKAGE: the regions of a package and its directory, as text or JSON.
#include <stdio.h>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_output.h"
#include "core/package_reader.h"

namespace {

void PrintText(PackageReader& reader) {
  const PackageTrailerInfo& trailer = reader.trailer();
  char number[32];
  FormatDecimal(reader.moduleImageLength(), number);
  printf("module image length: %s\n", number);
  printf("certificate table: %s\n", trailer.signedPackage ? "yes" : "no");
  printf("trailing slack: %u\n", trailer.slack);
  printf("members: %d\n", reader.count());
  // Tab-separated, so that names with blanks stay one column.
  printf("index\tname\toffset\tsize\n");
  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& entry = reader.entry(i);
    printf("%d\t%s\t%lu\t%lu\n", i, entry.name, static_cast<unsigned long>(entry.offset),
           static_cast<unsigned long>(entry.size));
  }
}

void PrintJson(PackageReader& reader, const char* path) {
  const PackageTrailerInfo& trailer = reader.trailer();
  char number[32];
  FormatDecimal(reader.moduleImageLength(), number);
  fputs("{\"package\":", stdout);
  PrintJsonString(stdout, path);
  printf(",\"moduleImageLength\":%s,\"certificateTable\":%s,\"trailingSlack\":%u,\"members\":[", number,
         trailer.signedPackage ? "true" : "false", trailer.slack);
  for (int i = 0; i < reader.count(); ++i) {
    const PackageDirEntry& entry = reader.entry(i);
    printf("%s{\"index\":%d,\"name\":", i > 0 ? "," : "", i);
    PrintJsonString(stdout, entry.name);
    printf(",\"offset\":%lu,\"size\":%lu}", static_cast<unsigned long>(entry.offset),
           static_cast<unsigned long>(entry.size));
  }
  fputs("]}\n", stdout);
}

}  // namespace

int RunListTool(const ToolArguments& arguments) {
  PackageReader reader;
  char path[260];
  if (!OpenPackageOrReport(arguments.operand(0), reader, path)) return kExitFailure;
  if (arguments.json()) {
    PrintJson(reader, path);
  } else {
    PrintText(reader);
  }
  return kExitSuccess;
}
