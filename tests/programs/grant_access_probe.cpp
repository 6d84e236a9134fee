// Calls GrantFileAccess(argv[1], argv[2], 0xA0000000) so that a test can read its
// standard-output lines; the exit code is the result.
#include <stdio.h>

#include "security/grant_file_access.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int result = GrantFileAccess(argv[1], argv[2], GENERIC_READ | GENERIC_EXECUTE);
  fflush(stdout);
  return result;
}
