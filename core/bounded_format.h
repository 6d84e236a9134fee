// printf-style formatting into a fixed buffer that is always terminated, cut to fit.
#pragma once
#include <stddef.h>

// Returns 1 when the whole text fitted, 0 when it was cut (or capacity is 0).
int FormatBounded(char* out, size_t capacity, const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The length of `text`, counting at most `most` bytes. The C library's strnlen is not in
// the system's C library of older Windows; the compiler's stand-in comes with unwind
// tables that every package's program would carry.
inline size_t BoundedLength(const char* text, size_t most) {
  size_t length = 0;
  while (length < most && text[length] != 0) ++length;
  return length;
}
