#include "package/stream_file.h"

#include <io.h>
#include <windows.h>

// Large enough that a gigabyte moves in a few thousand system calls, small enough to
// keep the working set flat whatever the payload.
static const size_t kStreamBufferSize = 256 * 1024;

FILE* OpenStream(const char* path, const char* mode) {
  FILE* file = fopen(path, mode);
  if (file != nullptr) setvbuf(file, nullptr, _IOFBF, kStreamBufferSize);
  return file;
}

int SeekFromStart(FILE* file, uint64_t position) {
  fpos_t target = static_cast<fpos_t>(position);
  return fsetpos(file, &target) == 0 ? 1 : 0;
}

int GetStreamLength(FILE* file, uint64_t* length) {
  // fseek/ftell stop at 2 GiB; ask the system for the size of the handle instead.
  fflush(file);
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD low = GetFileSize(handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  *length = (static_cast<uint64_t>(high) << 32) | low;
  return 1;
}

CopyResult CopyStreamBlocks(FILE* source, FILE* destination, uint64_t limit, uint64_t* copied) {
  char block[4096];
  uint64_t done = 0;
  CopyResult result = kCopyDone;
  while (done < limit) {
    uint64_t missing = limit - done;
    size_t request = missing < sizeof(block) ? static_cast<size_t>(missing) : sizeof(block);
    size_t got = fread(block, 1, request, source);
    if (got == 0) {
      if (ferror(source)) result = kCopyReadFailed;
      break;
    }
    size_t put = fwrite(block, 1, got, destination);
    done += put;
    if (put != got) {
      result = kCopyWriteFailed;
      break;
    }
  }
  *copied = done;
  return result;
}
