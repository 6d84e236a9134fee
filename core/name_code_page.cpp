#include "core/name_code_page.h"

#include <string.h>

namespace {

struct LeadRange {
  uint32_t codePage;
  unsigned char first;
  unsigned char last;
};

// The ranges the system reports for its double-byte code pages.
const LeadRange kLeadRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE}, {950, 0x81, 0xFE},
};

const uint32_t kWesternCodePage = 1252;

unsigned char FoldWestern(unsigned char byte) {
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<unsigned char>(byte - 0x20);
  switch (byte) {
    case 0x9A: return 0x8A;  // s with caron
    case 0x9C: return 0x8C;  // ligature oe
    case 0x9E: return 0x8E;  // z with caron
    case 0xFF: return 0x9F;  // y with diaeresis
  }
  return byte;
}

}  // namespace

NameCodePage ByteNameCodePage() {
  NameCodePage codePage;
  memset(&codePage, 0, sizeof(codePage));
  return codePage;
}

NameCodePage MakeNameCodePage(uint32_t id) {
  NameCodePage codePage = ByteNameCodePage();
  codePage.id = id;
  for (const LeadRange& range : kLeadRanges) {
    if (range.codePage != id) continue;
    for (unsigned byte = range.first; byte <= range.last; ++byte) {
      SetLeadByte(&codePage, static_cast<unsigned char>(byte));
    }
  }
  return codePage;
}

void SetLeadByte(NameCodePage* codePage, unsigned char byte) {
  codePage->lead[byte >> 3] = static_cast<unsigned char>(codePage->lead[byte >> 3] | (1u << (byte & 7)));
}

int IsLeadByte(const NameCodePage& codePage, unsigned char byte) {
  return (codePage.lead[byte >> 3] >> (byte & 7)) & 1;
}

int CharacterLength(const NameCodePage& codePage, const char* text) {
  return IsLeadByte(codePage, static_cast<unsigned char>(text[0])) && text[1] != 0 ? 2 : 1;
}

unsigned char FoldNameByte(const NameCodePage& codePage, unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return static_cast<unsigned char>(byte - 'a' + 'A');
  return codePage.id == kWesternCodePage ? FoldWestern(byte) : byte;
}

int IsAsciiName(const char* name) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    if (*p >= 0x80) return 0;
  }
  return 1;
}
