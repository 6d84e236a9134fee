#include "core/block_copy.h"

#include <stdlib.h>

CopyBuffer::CopyBuffer() : bytes_(static_cast<char*>(malloc(kSize))) {}

CopyBuffer::~CopyBuffer() { free(bytes_); }

CopyResult CopyBytes(BinaryFile& source, BinaryFile& destination, uint64_t limit,
                     const CopyBuffer& buffer, uint64_t* copied, CopyObserver* observer) {
  uint64_t done = 0;
  CopyResult result = kCopyDone;
  while (done < limit) {
    const uint64_t missing = limit - done;
    const size_t request = missing < CopyBuffer::kSize ? static_cast<size_t>(missing) : CopyBuffer::kSize;
    size_t got = 0;
    if (!source.Read(buffer.bytes(), request, &got)) {
      result = kCopyReadFailed;
      break;
    }
    if (got == 0) break;
    if (!destination.Write(buffer.bytes(), got)) {
      result = kCopyWriteFailed;
      break;
    }
    if (observer != nullptr) observer->Observe(buffer.bytes(), got);
    done += got;
  }
  *copied = done;
  return result;
}
