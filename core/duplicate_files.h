// The files of a pack list that repeat an earlier file's bytes, so that pack --compress
// stores each such file once. Only files of one size can be equal: those are hashed (their
// member checksums), and files whose hashes agree are compared byte
// for byte, so that only identical files are ever taken for copies.
#pragma once
#include <stdint.h>

#include "core/member_compressor.h"

struct DuplicateCandidate {
  const char* path;
  uint64_t size;  // 0: never a copy nor an original (empty files and folders cost nothing)
  int mayBeCopy;  // 0 when the file must keep its own entry (its name leaves no room for a copy's record)
};

// Fills copies[row] for `count` files: `original` is the first earlier file of the same
// bytes, or -1. kCompressOk; kCompressCannotRead or kCompressFileChanged with *failedRow;
// or kCompressNoMemory.
CompressStatus FindDuplicateFiles(const DuplicateCandidate* files, int count, RowCopy* copies, int* failedRow);
