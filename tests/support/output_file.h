// An output file for the tests, their programs and the benchmarks: a new file, or a fresh
// one in place of a file of that name left by an earlier run.
#pragma once
#include "core/binary_file.h"

inline int CreateOutputFile(BinaryFile& file, const char* path) {
  if (file.CreateNew(path)) return 1;
  return PathExists(path) && !IsDirectory(path) && RemoveFile(path) && file.CreateNew(path);
}
