// The texts and the version number of pack's branding options, turned into what the
// version block stores: text read in the tool's encoding (the locale's on the host, the
// ANSI code page for lodkin-cli.exe) and stored as UTF-16.
#pragma once
#include <stdint.h>

#include "core/growable_block.h"

const uint32_t kMaxBrandTextCharacters = 255;

// `text` as UTF-16 little-endian units followed by a zero unit. 0 when it is not valid in
// the tool's encoding. *characters counts characters (a surrogate pair is one).
int ConvertBrandText(const char* text, GrowableBlock<unsigned char>& utf16, uint32_t* units, uint32_t* characters);

// The tool's encoding, for a message: "UTF-8", "code page 1252".
void DescribeToolEncoding(char (&name)[64]);

// "A.B.C.D": four decimal numbers from 0 to 65535, nothing else.
int ParseBrandVersion(const char* text, uint16_t (&version)[4]);
