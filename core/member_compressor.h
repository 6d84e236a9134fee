// What PackFiles needs to write a compressed package: the list's files divided into
// groups, and each group's stream. The core only decodes; the compressor is the caller's
// (the native tool's, on liblzma), so that the program copied into packages carries no
// encoder.
#pragma once
#include <stddef.h>
#include <stdint.h>

class PackFileList;

// A compressed group spans rows [firstRow, firstRow + rowCount): its compressed rows share
// one stream, and the stored rows among them (IsStoredRow) are copied as they are, after it.
struct MemberGroup {
  int firstRow;
  int rowCount;
  int stored;  // 1: one row, copied as it is, with no group before it
};

// A group's stream and, row by row of its span, what the compressor read of each file
// (nothing for its stored rows).
struct GroupStream {
  const char* bytes;
  size_t length;
  uint64_t originalSize;
  const uint32_t* originalSizes;
  const uint32_t* checksums;  // MemberChecksum of each file's bytes
};

enum CompressStatus {
  kCompressOk = 0,
  kCompressCannotRead,  // a file could not be opened or read: *failedRow says which
  kCompressNoMemory,
  kCompressTooLarge,    // a file of 4 GiB or more
};

class MemberCompressor {
 public:
  // Divides the list into groups, in list order; called once, before any stream.
  virtual CompressStatus Plan(const PackFileList& list, int* failedRow) = 0;
  virtual int groupCount() const = 0;
  virtual MemberGroup group(int index) const = 0;
  // 1 when the row is copied as it is rather than compressed.
  virtual int IsStoredRow(int row) const = 0;
  // Waits for the stream of compressed group `index` (asked for in order, each once); it
  // stays valid until the next call.
  virtual CompressStatus TakeStream(int index, GroupStream* stream, int* failedRow) = 0;

 protected:
  ~MemberCompressor() {}
};
