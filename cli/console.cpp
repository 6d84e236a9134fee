#include "cli/console.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

const char kToolName[] = "lodkin-cli";
// The version of the program that the tool packs.
const char kToolVersion[] = "3.5.0.4";

void PrintError(const char* format, ...) {
  fprintf(stderr, "%s: error: ", kToolName);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
  fflush(stderr);
}

int StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) ? 1 : 0;
#else
  return isatty(STDERR_FILENO) ? 1 : 0;
#endif
}

// MSVCRT's printf family is used on Windows; its support for 64-bit conversions differs
// between versions, so 64-bit numbers are formatted here.
void FormatDecimal(uint64_t value, char (&text)[32]) {
  char reversed[32];
  int length = 0;
  do {
    reversed[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = 0; i < length; ++i) text[i] = reversed[length - 1 - i];
  text[length] = 0;
}

void FormatGrouped(uint64_t value, char (&text)[32]) {
  char digits[32];
  FormatDecimal(value, digits);
  const int length = static_cast<int>(strlen(digits));
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (i > 0 && (length - i) % 3 == 0) text[out++] = ',';
    text[out++] = digits[i];
  }
  text[out] = 0;
}
