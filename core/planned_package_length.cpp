#include "core/planned_package_length.h"

#include <string.h>

#include "core/package_format.h"
#include "core/pe_image.h"

uint64_t PlannedPackageLength(const PackFileList& list, BinaryFile& module) {
  uint64_t moduleLength = 0;
  if (!module.GetLength(&moduleLength)) return 0;
  ProgramImagePlan plan;
  PlanUnsignedProgram(module, moduleLength, &plan);
  uint64_t total = plan.length;
  const int count = list.GetCount();
  char path[kCorePathSize];
  for (int row = 0; row < count; ++row) {
    if (list.IsFolderRow(row)) continue;
    memset(path, 0, sizeof(path));
    list.GetRowText(row, path);
    BinaryFile member;
    uint64_t length = 0;
    if (!member.OpenForReading(path) || IsDirectory(path) || !member.GetLength(&length)) return total;
    total += length;
  }
  return total + static_cast<uint64_t>(count) * sizeof(PackageDirEntry) + sizeof(PackageTrailer);
}
