// The ANSI code page that a package's names are written in, as far as the name rules
// need it: which bytes start a double-byte character (whose second byte may be any of
// '\', '|' or an ASCII letter, and is never one of them), and which letters are equal
// but for case. Portable: the Windows programs fill it from the system, the native tool
// from the code page given to it.
#pragma once
#include <stdint.h>

struct NameCodePage {
  uint32_t id;              // 0: not known; names are taken byte by byte, ASCII letters folded
  unsigned char lead[32];   // one bit for each byte that starts a double-byte character
};

// A code page known by number alone: the lead-byte ranges of 932, 936, 949 and 950 (the
// system's own), none for any other.
NameCodePage MakeNameCodePage(uint32_t id);
// No code page: every byte a character of its own.
NameCodePage ByteNameCodePage();

void SetLeadByte(NameCodePage* codePage, unsigned char byte);
int IsLeadByte(const NameCodePage& codePage, unsigned char byte);

// The length of the character at `text` (1 or 2; 1 for a lead byte at the end).
int CharacterLength(const NameCodePage& codePage, const char* text);

// The byte that a single-byte character folds to for comparing names: ASCII letters to
// upper case, and in code page 1252 its accented letters too (with their case pairs
// among the bytes 8A to 9F). The second byte of a double-byte character is never folded.
unsigned char FoldNameByte(const NameCodePage& codePage, unsigned char byte);

// 1 when every byte of the name is ASCII (below 0x80): it reads alike in every code page,
// so a package of such names records none.
int IsAsciiName(const char* name);
