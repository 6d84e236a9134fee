#include "cli/name_encoding.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/paths.h"
#include "core/member_name.h"

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>
#endif

namespace {

#ifndef _WIN32
// Without a code page the host's bytes are stored as they are: only ASCII means the same
// on both sides.
int IsPlainAscii(const char* text) {
  for (; *text != 0; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return 0;
  }
  return 1;
}
#endif

int CopyName(const char* in, char* out, size_t capacity) {
  const size_t length = strlen(in);
  if (length >= capacity) return 0;
  memcpy(out, in, length + 1);
  return 1;
}

#ifndef _WIN32
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
#endif

}  // namespace

NameEncoding::NameEncoding()
    : converting_(0), toPackage_(nullptr), toHost_(nullptr), codePage_(HostNameCodePage()) {
  error_[0] = 0;
}

NameEncoding::~NameEncoding() {
#ifndef _WIN32
  if (toPackage_ != nullptr) iconv_close(static_cast<iconv_t>(toPackage_));
  if (toHost_ != nullptr) iconv_close(static_cast<iconv_t>(toHost_));
#endif
}

int NameEncoding::Open(const char* codepage) {
  if (codepage == nullptr) return 1;
  char* end = nullptr;
  const long number = strtol(codepage, &end, 10);
  if (codepage[0] < '0' || codepage[0] > '9' || *end != 0 || number < 1 || number > 65535) {
    snprintf(error_, sizeof(error_), "--codepage takes a code page number (949, 932, 936, 1252, ...), not '%s'",
             codepage);
    return 0;
  }
#ifdef _WIN32
  snprintf(error_, sizeof(error_), "--codepage is not available in this build: names keep the system's code page");
  return 0;
#else
  char name[16];
  snprintf(name, sizeof(name), "CP%ld", number);
  const char* locale = nl_langinfo(CODESET);
  const iconv_t toPackage = iconv_open(name, locale);
  const iconv_t toHost = iconv_open(locale, name);
  if (toPackage != kNoConverter) toPackage_ = toPackage;
  if (toHost != kNoConverter) toHost_ = toHost;
  if (toPackage == kNoConverter || toHost == kNoConverter) {
    snprintf(error_, sizeof(error_), "code page %ld cannot be converted from and to this locale's %s", number,
             locale);
    return 0;
  }
  converting_ = 1;
  codePage_ = MakeNameCodePage(static_cast<uint32_t>(number));
  return 1;
#endif
}

int NameEncoding::Convert(void* converter, const char* in, char* out, size_t capacity) {
#ifdef _WIN32
  (void)converter;
  return CopyName(in, out, capacity);
#else
  const iconv_t cd = static_cast<iconv_t>(converter);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* input = const_cast<char*>(in);
  size_t inputLeft = strlen(in);
  char* output = out;
  size_t outputLeft = capacity > 0 ? capacity - 1 : 0;
  // A character the other side has no place for fails the conversion (EILSEQ): it is
  // never replaced by another.
  if (iconv(cd, &input, &inputLeft, &output, &outputLeft) == static_cast<size_t>(-1)) return 0;
  if (iconv(cd, nullptr, nullptr, &output, &outputLeft) == static_cast<size_t>(-1)) return 0;
  *output = 0;
  // A converted name holds no terminator of its own: it would cut the name.
  return memchr(out, 0, static_cast<size_t>(output - out)) == nullptr;
#endif
}

int NameEncoding::EncodePart(const char* hostPart, char* out, size_t capacity) {
  if (converting_) return Convert(toPackage_, hostPart, out, capacity);
#ifndef _WIN32
  if (!IsPlainAscii(hostPart)) return 0;
#endif
  return CopyName(hostPart, out, capacity);
}

int NameEncoding::DecodeName(const char* stored, char* out, size_t capacity) {
  int decoded = 0;
  if (converting_) {
    decoded = Convert(toHost_, stored, out, capacity);
  } else {
#ifndef _WIN32
    if (!IsPlainAscii(stored)) return 0;
#endif
    decoded = CopyName(stored, out, capacity);
  }
#ifndef _WIN32
  // Parts were checked as the package stores them; here '/' separates them.
  for (char* p = out; decoded && *p != 0; ++p) {
    if (*p == kMemberSeparator) *p = '/';
  }
#endif
  return decoded;
}

const char* DescribeUnencodedName(const NameEncoding& encoding) {
  if (encoding.converting()) return "cannot be written in the code page given with --codepage";
  return "is not plain ASCII: give the code page of the Windows machines that run the package with "
         "--codepage N (949, 932, 936, 1252, ...)";
}

const char* DescribeUndecodedName(const NameEncoding& encoding) {
  if (encoding.converting()) return "cannot be written in this locale's encoding from the code page given";
  return "is not plain ASCII: give the code page the package was made for with --codepage N "
         "(949, 932, 936, 1252, ...)";
}
