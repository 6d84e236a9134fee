// Decodes one group file with the core's decoder as the Windows programs are built, for
// the host tests that hold it against liblzma under Wine. Usage:
//   group_decode GROUP ORIGINAL_SIZE OUT
// Writes the original bytes to OUT and prints "status N" (the GroupDecodeStatus) and the
// decoder's speed in process time; exits with the status.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "core/binary_file.h"
#include "core/lzma_group_decoder.h"
#include "support/output_file.h"

static double ProcessSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return (user.dwLowDateTime + 4294967296.0 * user.dwHighDateTime) / 1e7;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: group_decode GROUP ORIGINAL_SIZE OUT\n");
    return 9;
  }
  BinaryFile group, out;
  uint64_t length = 0;
  if (!group.OpenForReading(argv[1]) || !group.GetLength(&length) || !CreateOutputFile(out, argv[3])) return 8;
  const uint64_t originalSize = _strtoui64(argv[2], nullptr, 10);
  static char buffer[1 << 16];
  const double start = ProcessSeconds();
  GroupDecoder decoder;
  GroupDecodeStatus status = decoder.Begin(group, 0, length, originalSize);
  size_t produced = 1;
  uint64_t decoded = 0;
  while (status == kGroupDecodeOk && produced != 0) {
    status = decoder.Read(buffer, sizeof buffer, &produced);
    if (status == kGroupDecodeOk && !out.Write(buffer, produced)) return 8;
    decoded += produced;
  }
  const double seconds = ProcessSeconds() - start;
  printf("status %d\n", static_cast<int>(status));
  if (seconds > 0) printf("speed %.1f MB/s\n", decoded / seconds / 1e6);
  return out.Close() ? static_cast<int>(status) : 8;
}
