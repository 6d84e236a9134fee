#include "cli/json_output.h"

namespace {

// Length of the valid UTF-8 sequence at `p`, or 0.
int Utf8SequenceLength(const unsigned char* p) {
  int length = 0;
  unsigned minimum = 0;
  unsigned value = 0;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) {
    length = 2, minimum = 0x80, value = p[0] & 0x1F;
  } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
    length = 3, minimum = 0x800, value = p[0] & 0x0F;
  } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
    length = 4, minimum = 0x10000, value = p[0] & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void PrintJsonString(FILE* out, const char* text) {
  fputc('"', out);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    if (*p == '"' || *p == '\\') {
      fputc('\\', out);
      fputc(*p++, out);
    } else if (*p < 0x20) {
      fprintf(out, "\\u%04x", *p++);
    } else if (*p < 0x80) {
      fputc(*p++, out);
    } else if (const int length = Utf8SequenceLength(p)) {
      fwrite(p, 1, static_cast<size_t>(length), out);
      p += length;
    } else {
      fprintf(out, "\\u%04x", *p++);
    }
  }
  fputc('"', out);
}
