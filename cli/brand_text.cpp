#include "cli/brand_text.h"

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#endif

namespace {

uint32_t CountCharacters(const unsigned char* utf16, uint32_t units) {
  uint32_t characters = 0;
  for (uint32_t i = 0; i < units; ++i) {
    const unsigned unit = utf16[2 * i] | (utf16[2 * i + 1] << 8);
    if (unit < 0xDC00 || unit > 0xDFFF) ++characters;  // a pair's second half is no character of its own
  }
  return characters;
}

#ifdef _WIN32
int ToUtf16(const char* text, GrowableBlock<unsigned char>& utf16, uint32_t* units) {
  const int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (wide <= 0) return 0;
  GrowableBlock<wchar_t> converted;
  if (!converted.Allocate(static_cast<size_t>(wide)) || !utf16.Allocate(2 * static_cast<size_t>(wide))) return 0;
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, converted.get(), wide) != wide) return 0;
  for (int i = 0; i < wide; ++i) {
    utf16[2 * i] = static_cast<unsigned char>(converted[i]);
    utf16[2 * i + 1] = static_cast<unsigned char>(converted[i] >> 8);
  }
  *units = static_cast<uint32_t>(wide - 1);
  return 1;
}
#else
int ToUtf16(const char* text, GrowableBlock<unsigned char>& utf16, uint32_t* units) {
  const iconv_t converter = iconv_open("UTF-16LE", nl_langinfo(CODESET));
  if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
  const size_t length = strlen(text);
  // A byte of any encoding becomes at most one unit; a four-byte character two.
  const size_t room = 2 * length + 2;
  int converted = utf16.Allocate(room);
  char* input = const_cast<char*>(text);
  size_t inputLeft = length;
  char* output = reinterpret_cast<char*>(utf16.get());
  size_t outputLeft = room - 2;
  if (converted) {
    converted = iconv(converter, &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1) &&
                iconv(converter, nullptr, nullptr, &output, &outputLeft) != static_cast<size_t>(-1) && inputLeft == 0;
  }
  iconv_close(converter);
  if (!converted) return 0;
  *units = static_cast<uint32_t>((room - 2 - outputLeft) / 2);
  utf16[2 * *units] = utf16[2 * *units + 1] = 0;
  return 1;
}
#endif

}  // namespace

int ConvertBrandText(const char* text, GrowableBlock<unsigned char>& utf16, uint32_t* units, uint32_t* characters) {
  if (!ToUtf16(text, utf16, units)) return 0;
  *characters = CountCharacters(utf16.get(), *units);
  return 1;
}

void DescribeToolEncoding(char (&name)[64]) {
#ifdef _WIN32
  snprintf(name, sizeof(name), "code page %u", GetACP());
#else
  snprintf(name, sizeof(name), "%s", nl_langinfo(CODESET));
#endif
}

int ParseBrandVersion(const char* text, uint16_t (&version)[4]) {
  const char* at = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *at++ != '.') return 0;
    uint32_t value = 0;
    int digits = 0;
    for (; *at >= '0' && *at <= '9'; ++at) {
      if (++digits > 5) return 0;
      value = value * 10 + static_cast<uint32_t>(*at - '0');
    }
    if (digits == 0 || value > 65535) return 0;
    version[part] = static_cast<uint16_t>(value);
  }
  return *at == 0;
}
