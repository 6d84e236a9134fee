// What PackFiles needs to write a compressed package: the list's files divided into
// groups, and each group's stream, written to the package as it is made. The plan and
// the writing are the core's (core/group_compressor.h); the encoder is the caller's
// choice (core/group_codec.h).
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

// Where a group's stream goes as the encoder makes it: 0 when it could take no more (the
// package could not be written; the one who gave the sink knows why).
class ByteSink {
 public:
  virtual int Put(const char* bytes, size_t length) = 0;

 protected:
  ~ByteSink() {}
};

// Row by row of a group's span, what the compressor read of each file (nothing for its
// stored rows).
struct GroupMembers {
  uint64_t originalSize;
  const uint32_t* originalSizes;
  const uint32_t* checksums;  // MemberChecksum of each file's bytes
};

// A file whose bytes are those of an earlier file of the list: stored once, recorded as a
// copy of that row.
struct RowCopy {
  int original;       // the earlier row
  uint32_t size;      // the bytes' length
  uint32_t checksum;  // MemberChecksum of the bytes
};

enum CompressStatus {
  kCompressOk = 0,
  kCompressCannotRead,  // a file could not be opened or read: *failedRow says which
  kCompressNoMemory,
  kCompressTooLarge,    // a file of 4 GiB or more
  kCompressFileChanged,  // a file's length is no longer what it was when planned: *failedRow says which
  kCompressSinkFailed,   // the sink took no more
  kCompressStopped,      // the pack was told to stop
};

class MemberCompressor {
 public:
  // Divides the list into groups, in list order; called once, before any stream.
  virtual CompressStatus Plan(const PackFileList& list, int* failedRow) = 0;
  virtual int groupCount() const = 0;
  virtual MemberGroup group(int index) const = 0;
  // 1 when the row is not compressed: copied as it is, or a copy of an earlier row.
  virtual int IsStoredRow(int row) const = 0;
  // 1 when the row repeats an earlier row's bytes (*copy says which); it has no bytes of
  // its own in the package.
  virtual int FindCopy(int row, RowCopy* copy) const = 0;
  // Writes the stream of compressed group `index` (asked for in order, each once) to
  // `sink` as it is made; *members stays valid until the next call.
  virtual CompressStatus WriteStream(int index, ByteSink& sink, GroupMembers* members, int* failedRow) = 0;
  // Compresses the package's directory (`length` bytes of entries) into one stream, as a
  // group's is laid out; *stream stays valid until the compressor goes.
  virtual CompressStatus CompressDirectory(const char* entries, size_t length, const char** stream,
                                           size_t* streamLength) = 0;

 protected:
  ~MemberCompressor() {}
};
