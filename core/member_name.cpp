#include "core/member_name.h"

#include <string.h>

int IsSafeMemberName(const char (&name)[260]) {
  const void* terminator = memchr(name, 0, sizeof(name));
  if (terminator == nullptr || name[0] == 0) return 0;
  if (strpbrk(name, "\\/:") != nullptr) return 0;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  return 1;
}
