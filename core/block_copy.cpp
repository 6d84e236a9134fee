#include "core/block_copy.h"

CopyBuffer::CopyBuffer() { bytes_.Reserve(kSize, kSize); }

CopyResult MoveBlocks(BinaryFile& source, BinaryFile* destination, uint64_t limit, const CopyBuffer& buffer,
                      uint64_t* moved, CopyObserver* observer, BlockEditor* editor) {
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
    if (editor != nullptr) editor->Edit(buffer.bytes(), got, done);
    if (destination != nullptr && !destination->Write(buffer.bytes(), got)) {
      result = kCopyWriteFailed;
      break;
    }
    if (observer != nullptr) observer->Observe(buffer.bytes(), got);
    done += got;
  }
  *moved = done;
  return result;
}
