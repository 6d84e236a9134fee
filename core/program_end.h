// Where a program file's own bytes end, so that a file which goes on past them can be
// told from a plain program: an interrupted download of a package keeps the program at
// its front whole and loses its trailer, and must not pass for the plain tool.
#pragma once
#include <stdint.h>

#include "core/binary_file.h"

// Reads the PE headers of a file of `length` bytes (PE32 or PE32+, through ReadPeHeaders).
// Returns 1 when they and the section table lie inside the file; *end is then where the
// image's bytes end: the furthest of the headers, every section's raw data and a COFF
// symbol table with its strings, or the file's end when a sound certificate table closes
// it.
int FindProgramImageEnd(BinaryFile& file, uint64_t length, uint64_t* end);

// 1 when the file is a program with bytes after its image.
int GoesOnPastProgram(BinaryFile& file);
