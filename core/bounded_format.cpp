#include "core/bounded_format.h"

#include <stdarg.h>
#include <stdio.h>

int FormatBounded(char* out, size_t capacity, const char* format, ...) {
  if (capacity == 0) return 0;
  va_list arguments;
  va_start(arguments, format);
#ifdef _WIN32
  // The system C library's own formatter: C99 snprintf would bring the compiler's
  // wrapper (about 1 KB) into every package's program. It leaves the buffer unterminated
  // when the text fills it, and says so with -1.
  const int length = _vsnprintf(out, capacity - 1, format, arguments);
  out[capacity - 1] = 0;
  const int fitted = length >= 0 && static_cast<size_t>(length) < capacity;
#else
  const int length = vsnprintf(out, capacity, format, arguments);
  const int fitted = length >= 0 && static_cast<size_t>(length) < capacity;
#endif
  va_end(arguments);
  return fitted;
}
