#include "core/duplicate_files.h"

#include <stdlib.h>
#include <string.h>

#include "core/binary_file.h"
#include "core/growable_block.h"
#include "core/member_checksum.h"

namespace {

const size_t kBlock = 1u << 20;

// The member checksum alone: files whose checksums agree are compared byte for byte
// anyway, so a collision costs a comparison, never a wrong copy, and the copies found do
// not depend on the hash.
struct FileHash {
  uint32_t checksum;
};

struct SizedRow {
  uint64_t size;
  FileHash hash;  // once the file was read: only files that share their size are
  int row;
};

int Compare(uint64_t left, uint64_t right) { return left < right ? -1 : (left > right ? 1 : 0); }

int BySizeThenRow(const void* a, const void* b) {
  const SizedRow& left = *static_cast<const SizedRow*>(a);
  const SizedRow& right = *static_cast<const SizedRow*>(b);
  const int bySize = Compare(left.size, right.size);
  return bySize != 0 ? bySize : Compare(left.row, right.row);
}

int ByHashThenRow(const void* a, const void* b) {
  const SizedRow& left = *static_cast<const SizedRow*>(a);
  const SizedRow& right = *static_cast<const SizedRow*>(b);
  const int byChecksum = Compare(left.hash.checksum, right.hash.checksum);
  return byChecksum != 0 ? byChecksum : Compare(left.row, right.row);
}

int SameHash(const FileHash& a, const FileHash& b) { return a.checksum == b.checksum; }

// Reads the whole file through the hash: kCompressCannotRead, or kCompressFileChanged
// when it is no longer `size` long.
CompressStatus HashFile(const char* path, uint64_t size, char* block, FileHash* hash) {
  BinaryFile file;
  if (!file.OpenForReading(path)) return kCompressCannotRead;
  MemberChecksum checksum;
  uint64_t total = 0;
  for (;;) {
    size_t got = 0;
    if (!file.Read(block, kBlock, &got)) return kCompressCannotRead;
    if (got == 0) break;
    checksum.Add(block, got);
    total += got;
  }
  hash->checksum = checksum.Finish();
  return total == size ? kCompressOk : kCompressFileChanged;
}

// 1 when both files hold the same `size` bytes.
int SameBytes(const char* first, const char* second, uint64_t size, char* blocks) {
  BinaryFile a, b;
  if (!a.OpenForReading(first) || !b.OpenForReading(second)) return 0;
  for (uint64_t done = 0; done < size;) {
    const size_t want = size - done < kBlock ? static_cast<size_t>(size - done) : kBlock;
    if (!a.ReadAt(done, blocks, want) || !b.ReadAt(done, blocks + kBlock, want)) return 0;
    if (memcmp(blocks, blocks + kBlock, want) != 0) return 0;
    done += want;
  }
  return 1;
}

// The files of one size, [first, last) of `sorted`: they are hashed and put in order of
// their hashes, and each that may be a copy is tied to the first earlier original of the
// same bytes among those of its hash.
CompressStatus TieEqualFiles(const DuplicateCandidate* files, SizedRow* sorted, int first, int last, char* blocks,
                             RowCopy* copies, int* failedRow) {
  for (int k = first; k < last; ++k) {
    const DuplicateCandidate& file = files[sorted[k].row];
    const CompressStatus status = HashFile(file.path, file.size, blocks, &sorted[k].hash);
    if (status != kCompressOk) {
      *failedRow = sorted[k].row;
      return status;
    }
  }
  qsort(sorted + first, last - first, sizeof(SizedRow), ByHashThenRow);
  int sameHashFrom = first;
  for (int k = first + 1; k < last; ++k) {
    if (!SameHash(sorted[k - 1].hash, sorted[k].hash)) sameHashFrom = k;
    const int row = sorted[k].row;
    if (!files[row].mayBeCopy) continue;
    for (int e = sameHashFrom; e < k; ++e) {
      const int earlier = sorted[e].row;
      if (copies[earlier].original >= 0) continue;
      if (!SameBytes(files[earlier].path, files[row].path, files[row].size, blocks)) continue;
      const RowCopy copy = {earlier, static_cast<uint32_t>(files[row].size), sorted[k].hash.checksum};
      copies[row] = copy;
      break;
    }
  }
  return kCompressOk;
}

}  // namespace

CompressStatus FindDuplicateFiles(const DuplicateCandidate* files, int count, RowCopy* copies, int* failedRow) {
  GrowableBlock<SizedRow> sorted;
  GrowableBlock<char> blocks;
  if (!sorted.Allocate(count > 0 ? count : 1) || !blocks.Allocate(2 * kBlock)) return kCompressNoMemory;
  int candidates = 0;
  for (int row = 0; row < count; ++row) {
    const RowCopy none = {-1, 0, 0};
    copies[row] = none;
    // The 32-bit sizes of a copy's record: a file of 4 GiB is never packed anyway.
    if (files[row].size == 0 || files[row].size >= 0xFFFFFFFFull) continue;
    const SizedRow entry = {files[row].size, {0}, row};
    sorted[candidates++] = entry;
  }
  qsort(sorted.get(), candidates, sizeof(SizedRow), BySizeThenRow);
  for (int first = 0; first < candidates;) {
    int last = first + 1;
    while (last < candidates && sorted[last].size == sorted[first].size) ++last;
    if (last - first >= 2) {
      const CompressStatus status = TieEqualFiles(files, sorted.get(), first, last, blocks.get(), copies, failedRow);
      if (status != kCompressOk) return status;
    }
    first = last;
  }
  return kCompressOk;
}
